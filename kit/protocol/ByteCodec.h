// Little-endian field encoding of the wire protocol. ByteReader checks
// every read against the bytes it has, so a truncated or hostile message
// yields an error text, never a read out of bounds or a large allocation.
#ifndef PROTOCOL_BYTECODEC_H
#define PROTOCOL_BYTECODEC_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Protocol {

class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out) : m_out(out) {}

    void u8(uint8_t value) { m_out.push_back(value); }
    void u16(uint16_t value) { unsignedField(value, 2); }
    void u32(uint32_t value) { unsignedField(value, 4); }
    void u64(uint64_t value) { unsignedField(value, 8); }
    void i32(int32_t value) { u32(static_cast<uint32_t>(value)); }
    // A u32 length, then the bytes.
    void string(std::string const& text);
    void bytes(uint8_t const* data, size_t size);
    void bytes(std::vector<uint8_t> const& data) { bytes(data.data(), data.size()); }

private:
    void unsignedField(uint64_t value, unsigned width);

    std::vector<uint8_t>& m_out;
};

// Reads fields in order; the first failure is kept and every later read
// fails too, so a decoder can check once at the end.
class ByteReader {
public:
    ByteReader(uint8_t const* data, size_t size) : m_data(data), m_size(size) {}

    bool u8(uint8_t& value);
    bool u16(uint16_t& value);
    bool u32(uint32_t& value);
    bool u64(uint64_t& value);
    bool i32(int32_t& value);
    // At most k_max_string_length bytes, no NUL inside.
    bool string(std::string& text, char const* field);
    // At most limit bytes.
    bool bytes(std::vector<uint8_t>& data, uint32_t limit, char const* field);
    // Fails unless every byte was read.
    bool finish();

    bool ok() const { return m_error.empty(); }
    std::string const& error() const { return m_error; }

private:
    bool take(size_t count, uint8_t const*& at);
    bool unsignedField(uint64_t& value, unsigned width);
    bool fail(std::string text);

    uint8_t const* m_data;
    size_t m_size;
    size_t m_offset = 0;
    std::string m_error;
};

}  // namespace Protocol

#endif
