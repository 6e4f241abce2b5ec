#include "protocol/FrameDecoder.h"

namespace Protocol {

std::vector<uint8_t> encodeFrame(FrameType type, std::vector<uint8_t> const& payload) {
    uint32_t const length = static_cast<uint32_t>(payload.size() + 1);
    std::vector<uint8_t> bytes;
    bytes.reserve(k_frame_header_size + length);
    for (unsigned i = 0; i < k_frame_header_size; ++i)
        bytes.push_back(static_cast<uint8_t>(length >> (8 * i)));
    bytes.push_back(static_cast<uint8_t>(type));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

void FrameDecoder::feed(uint8_t const* data, size_t size) {
    if (!m_error.empty() || size == 0) return;
    m_buffer.insert(m_buffer.end(), data, data + size);
}

FrameDecoder::Result FrameDecoder::fail(std::string text) {
    m_error = std::move(text);
    m_buffer.clear();
    m_start = 0;
    return Result::Error;
}

FrameDecoder::Result FrameDecoder::next(Frame& frame) {
    if (!m_error.empty()) return Result::Error;
    if (buffered() < k_frame_header_size) return Result::NeedMore;
    uint8_t const* at = m_buffer.data() + m_start;
    uint32_t length = 0;
    for (unsigned i = 0; i < k_frame_header_size; ++i) length |= uint32_t(at[i]) << (8 * i);
    if (length == 0) return fail("bad frame: length 0 leaves no room for the frame type");
    if (length > m_max_frame_size)
        return fail("bad frame: length " + std::to_string(length) + " exceeds the limit of " +
                    std::to_string(m_max_frame_size) + " bytes");
    if (buffered() > k_frame_header_size && !isKnownFrameType(at[k_frame_header_size]))
        return fail("bad frame: unknown frame type " + std::to_string(at[k_frame_header_size]));
    if (buffered() - k_frame_header_size < length) return Result::NeedMore;

    frame.type = static_cast<FrameType>(at[k_frame_header_size]);
    frame.payload.assign(at + k_frame_header_size + 1, at + k_frame_header_size + length);
    m_start += k_frame_header_size + length;
    compact();
    return Result::Frame;
}

// Drops consumed bytes once they make up most of the buffer, so that a
// long stream of frames does not grow it.
void FrameDecoder::compact() {
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    } else if (m_start > 65536 && m_start * 2 > m_buffer.size()) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start));
        m_start = 0;
    }
}

}  // namespace Protocol
