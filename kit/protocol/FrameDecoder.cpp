#include "protocol/FrameDecoder.h"

namespace Protocol {

std::vector<uint8_t> encodeFrame(FrameType type, std::vector<uint8_t> const& payload)
{
    uint32_t const length = static_cast<uint32_t>(payload.size() + 1);
    std::vector<uint8_t> bytes;
    bytes.reserve(kFrameHeaderSize + length);
    for (unsigned i = 0; i < kFrameHeaderSize; ++i)
        bytes.push_back(static_cast<uint8_t>(length >> (8 * i)));
    bytes.push_back(static_cast<uint8_t>(type));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

void FrameDecoder::feed(uint8_t const* data, size_t size)
{
    if (!m_error.empty() || size == 0) return;
    m_buffer.insert(m_buffer.end(), data, data + size);
}

FrameDecoder::Result FrameDecoder::fail(std::string text)
{
    m_error = std::move(text);
    m_buffer.clear();
    m_start = 0;
    return Result::Error;
}

FrameDecoder::Result FrameDecoder::next(Frame& frame)
{
    if (!m_error.empty()) return Result::Error;
    if (buffered() < kFrameHeaderSize) return Result::NeedMore;
    uint8_t const* at = m_buffer.data() + m_start;
    uint32_t length = 0;
    for (unsigned i = 0; i < kFrameHeaderSize; ++i)
        length |= uint32_t(at[i]) << (8 * i);
    if (length == 0) return fail("bad frame: length 0 leaves no room for the frame type");
    if (length > m_maxFrameSize)
        return fail("bad frame: length " + std::to_string(length) + " exceeds the limit of " +
                    std::to_string(m_maxFrameSize) + " bytes");
    if (buffered() > kFrameHeaderSize && !isKnownFrameType(at[kFrameHeaderSize]))
        return fail("bad frame: unknown frame type " + std::to_string(at[kFrameHeaderSize]));
    if (buffered() - kFrameHeaderSize < length) return Result::NeedMore;

    frame.type = static_cast<FrameType>(at[kFrameHeaderSize]);
    frame.payload.assign(at + kFrameHeaderSize + 1, at + kFrameHeaderSize + length);
    m_start += kFrameHeaderSize + length;
    compact();
    return Result::Frame;
}

// Drops consumed bytes once they make up most of the buffer, so that a
// long stream of frames does not grow it.
void FrameDecoder::compact()
{
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    } else if (m_start > 65536 && m_start * 2 > m_buffer.size()) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start));
        m_start = 0;
    }
}

} // namespace Protocol
