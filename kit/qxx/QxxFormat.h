// Layout of a qxx file, shared by the reader and the writer. Every field
// of the header and the tables is little-endian whatever the target's
// byte order; section contents are in the target's byte order.
#ifndef QXX_QXXFORMAT_H
#define QXX_QXXFORMAT_H

#include <cstdint>

namespace Qxx::Format {

constexpr uint8_t kMagic[4] = {0x7f, 'Q', 'X', 'X'};
constexpr uint16_t kVersion = 1;

constexpr uint32_t kHeaderSize = 48;
constexpr uint32_t kMagicOffset = 0;
constexpr uint32_t kVersionOffset = 4;
constexpr uint32_t kByteOrderOffset = 6;
constexpr uint32_t kInstructionSizeOffset = 7;
constexpr uint32_t kInstructionSetOffset = 8;
constexpr uint32_t kInstructionSetLength = 8;
constexpr uint32_t kEntryOffset = 16;
constexpr uint32_t kSectionCountOffset = 20;
constexpr uint32_t kSymbolCountOffset = 24;
constexpr uint32_t kStringTableSizeOffset = 28;
constexpr uint32_t kReservedOffset = 32;  // up to the end of the header, zero

// Section table entry: kind, load address, size, file offset, flags.
constexpr uint32_t kSectionEntrySize = 20;
constexpr uint32_t kMaxSections = 3;
enum SectionKind : uint32_t { kCodeSection = 1, kDataSection = 2, kBssSection = 3 };

// Symbol table entry: name offset in the string table, value, kind, three
// reserved bytes.
constexpr uint32_t kSymbolEntrySize = 12;

// Section contents start on this boundary.
constexpr uint32_t kContentAlignment = 8;

} // namespace Qxx::Format

#endif
