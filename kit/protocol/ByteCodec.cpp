#include "protocol/ByteCodec.h"

#include "protocol/Protocol.h"

#include <cstring>

namespace Protocol {

void ByteWriter::unsignedField(uint64_t value, unsigned width) {
    for (unsigned i = 0; i < width; ++i) m_out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void ByteWriter::string(std::string const& text) {
    bytes(reinterpret_cast<uint8_t const*>(text.data()), text.size());
}

void ByteWriter::bytes(uint8_t const* data, size_t size) {
    u32(static_cast<uint32_t>(size));
    m_out.insert(m_out.end(), data, data + size);
}

bool ByteReader::fail(std::string text) {
    if (m_error.empty()) m_error = std::move(text);
    return false;
}

bool ByteReader::take(size_t count, uint8_t const*& at) {
    if (!ok()) return false;
    if (count > m_size - m_offset)
        return fail("truncated message: " + std::to_string(count) + " bytes needed at offset " +
                    std::to_string(m_offset) + ", " + std::to_string(m_size - m_offset) + " left");
    at = m_data + m_offset;
    m_offset += count;
    return true;
}

bool ByteReader::unsignedField(uint64_t& value, unsigned width) {
    uint8_t const* at = nullptr;
    if (!take(width, at)) return false;
    value = 0;
    for (unsigned i = 0; i < width; ++i) value |= uint64_t(at[i]) << (8 * i);
    return true;
}

bool ByteReader::u8(uint8_t& value) {
    uint64_t wide = 0;
    if (!unsignedField(wide, 1)) return false;
    value = static_cast<uint8_t>(wide);
    return true;
}

bool ByteReader::u16(uint16_t& value) {
    uint64_t wide = 0;
    if (!unsignedField(wide, 2)) return false;
    value = static_cast<uint16_t>(wide);
    return true;
}

bool ByteReader::u32(uint32_t& value) {
    uint64_t wide = 0;
    if (!unsignedField(wide, 4)) return false;
    value = static_cast<uint32_t>(wide);
    return true;
}

bool ByteReader::u64(uint64_t& value) {
    return unsignedField(value, 8);
}

bool ByteReader::i32(int32_t& value) {
    uint32_t raw = 0;
    if (!u32(raw)) return false;
    value = static_cast<int32_t>(raw);
    return true;
}

bool ByteReader::string(std::string& text, char const* field) {
    std::vector<uint8_t> raw;
    if (!bytes(raw, k_max_string_length, field)) return false;
    if (!raw.empty() && std::memchr(raw.data(), 0, raw.size()) != nullptr)
        return fail(std::string("bad string: ") + field + " contains a NUL byte");
    text.assign(raw.begin(), raw.end());
    return true;
}

bool ByteReader::bytes(std::vector<uint8_t>& data, uint32_t limit, char const* field) {
    uint32_t length = 0;
    if (!u32(length)) return false;
    // Checked before anything is allocated.
    if (length > limit)
        return fail(std::string("bad length: ") + field + " of " + std::to_string(length) +
                    " bytes exceeds the limit of " + std::to_string(limit));
    uint8_t const* at = nullptr;
    if (!take(length, at)) return false;
    data.assign(at, at + length);
    return true;
}

bool ByteReader::finish() {
    if (!ok()) return false;
    if (m_offset != m_size)
        return fail(std::to_string(m_size - m_offset) + " unexpected bytes after the message");
    return true;
}

}  // namespace Protocol
