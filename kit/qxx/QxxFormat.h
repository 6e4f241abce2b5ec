// Layout of a qxx file, shared by the reader and the writer. Every field
// of the header and the tables is little-endian whatever the target's
// byte order; section contents are in the target's byte order.
#ifndef QXX_QXXFORMAT_H
#define QXX_QXXFORMAT_H

#include <cstdint>

namespace Qxx::Format {

constexpr uint8_t k_magic[4] = {0x7f, 'Q', 'X', 'X'};
constexpr uint16_t k_version = 1;

constexpr uint32_t k_header_size = 48;
constexpr uint32_t k_magic_offset = 0;
constexpr uint32_t k_version_offset = 4;
constexpr uint32_t k_byte_order_offset = 6;
constexpr uint32_t k_instruction_size_offset = 7;
constexpr uint32_t k_instruction_set_offset = 8;
constexpr uint32_t k_instruction_set_length = 8;
constexpr uint32_t k_entry_offset = 16;
constexpr uint32_t k_section_count_offset = 20;
constexpr uint32_t k_symbol_count_offset = 24;
constexpr uint32_t k_string_table_size_offset = 28;
constexpr uint32_t k_reserved_offset = 32;  // up to the end of the header, zero

// Section table entry: kind, load address, size, file offset, flags.
constexpr uint32_t k_section_entry_size = 20;
constexpr uint32_t k_max_sections = 3;
enum SectionKind : uint32_t { k_code_section = 1, k_data_section = 2, k_bss_section = 3 };

// Symbol table entry: name offset in the string table, value, kind, three
// reserved bytes.
constexpr uint32_t k_symbol_entry_size = 12;

// Section contents start on this boundary.
constexpr uint32_t k_content_alignment = 8;

}  // namespace Qxx::Format

#endif
