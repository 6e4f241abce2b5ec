// A qxx executable in memory: what the assembler produces, the reader
// returns and the simulator loads. docs/qxx-format.md describes the file.
#ifndef QXX_QXXIMAGE_H
#define QXX_QXXIMAGE_H

#include "qxx/ByteOrder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Qxx {

// The one instruction set this format carries, and its instruction size.
constexpr char const* k_instruction_set = "tev";
constexpr uint32_t k_instruction_size = 8;

// Limits that keep a corrupt or hostile file from driving allocation.
constexpr uint64_t k_max_file_size = 64u << 20;
constexpr uint32_t k_max_section_size = 16u << 20;
constexpr uint32_t k_max_symbols = 65536;
constexpr uint32_t k_max_symbol_name_length = 255;

enum class SymbolKind : uint8_t { Code = 1, Data = 2, Bss = 3, Constant = 4 };

char const* symbolKindName(SymbolKind kind);

struct Symbol {
    std::string name;
    uint32_t value = 0;
    SymbolKind kind = SymbolKind::Constant;

    bool operator==(Symbol const& other) const {
        return name == other.name && value == other.value && kind == other.kind;
    }
};

struct Section {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;

    bool operator==(Section const& other) const { return address == other.address && bytes == other.bytes; }
};

struct QxxImage {
    std::string instructionSet = k_instruction_set;
    ByteOrder byteOrder = ByteOrder::Little;
    uint32_t instructionSize = k_instruction_size;
    uint32_t entry = 0;
    Section code;             // instructions, in the code address space
    Section data;             // initialised mono memory
    uint32_t bssAddress = 0;  // zero-filled mono memory
    uint32_t bssSize = 0;
    std::vector<Symbol> symbols;

    // The symbol of that name, or null.
    Symbol const* findSymbol(std::string const& name) const;

    bool operator==(QxxImage const& other) const;
};

// Whether the name is one the assembler defines and exports: a tev
// identifier (a letter, '_' or '.', then letters, digits, '_', '.' or
// '$'), no register name (r<n>, p<n>, sp) and no local name (".L...").
bool isSymbolName(std::string const& name);

// Checks the rules every image obeys (instruction set, section sizes and
// alignment, entry point inside the code, symbol names and count, labels
// inside their sections); on failure fills error and returns false.
bool validateImage(QxxImage const& image, std::string& error);

}  // namespace Qxx

#endif
