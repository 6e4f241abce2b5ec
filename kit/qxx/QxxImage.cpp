#include "qxx/QxxImage.h"
#include "qxx/ErrorText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

namespace Qxx {

namespace {

bool validateHeader(QxxImage const& image, std::string& error) {
    if (image.instructionSet != k_instruction_set)
        return fail(error, "foreign instruction set '" + image.instructionSet + "' (expected 'tev')");
    if (image.instructionSize != k_instruction_size)
        return fail(error, "unsupported instruction size " + std::to_string(image.instructionSize) +
                               " (tev instructions are 8 bytes)");
    if (image.byteOrder != ByteOrder::Little && image.byteOrder != ByteOrder::Big)
        return fail(error, "invalid byte order " + std::to_string(unsigned(image.byteOrder)));
    return true;
}

bool validateRange(char const* name, uint32_t address, uint64_t size, std::string& error) {
    if (size > k_max_section_size)
        return fail(error, std::string(name) + " section is too large: " + std::to_string(size) +
                               " bytes (limit " + std::to_string(k_max_section_size) + ")");
    if (uint64_t(address) + size > (uint64_t(1) << 32))
        return fail(error, std::string(name) + " section wraps around the 32-bit address space");
    return true;
}

bool validateSections(QxxImage const& image, std::string& error) {
    Section const& code = image.code;
    if (code.bytes.empty()) return fail(error, "no code section");
    if (!validateRange("code", code.address, code.bytes.size(), error) ||
        !validateRange("data", image.data.address, image.data.bytes.size(), error) ||
        !validateRange("bss", image.bssAddress, image.bssSize, error))
        return false;
    if (code.bytes.size() % k_instruction_size != 0)
        return fail(error, "code section size " + std::to_string(code.bytes.size()) +
                               " is not a multiple of the instruction size 8");
    if (code.address % k_instruction_size != 0)
        return fail(
            error, "code section address " + hex(code.address) + " is not aligned to the instruction size 8");
    uint64_t dataEnd = uint64_t(image.data.address) + image.data.bytes.size();
    uint64_t bssEnd = uint64_t(image.bssAddress) + image.bssSize;
    bool bothPresent = !image.data.bytes.empty() && image.bssSize != 0;
    if (bothPresent && image.data.address < bssEnd && image.bssAddress < dataEnd)
        return fail(error, "data and bss sections overlap");
    uint64_t offset = uint64_t(image.entry) - code.address;
    if (image.entry < code.address || offset >= code.bytes.size())
        return fail(error, "entry point " + hex(image.entry) + " is outside the code section");
    if (offset % k_instruction_size != 0)
        return fail(error, "entry point " + hex(image.entry) + " is not aligned to the instruction size 8");
    return true;
}

bool isNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '.';
}

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '$';
}

bool isRegisterName(std::string const& name) {
    if (name == "sp") return true;
    if (name.size() < 2 || (name[0] != 'r' && name[0] != 'p')) return false;
    return std::all_of(name.begin() + 1, name.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// Where a label of each kind may lie: an instruction of the code or the
// end of the code; inside the data or bss section or at its end. The
// writer leaves out an empty data or bss section, and with it the
// section's address, so the labels of such a section need only agree on
// one address between them.
class LabelPlaces {
public:
    explicit LabelPlaces(QxxImage const& image) : m_image(image) {}

    bool check(Symbol const& symbol, std::string& error) {
        uint64_t const value = symbol.value;
        switch (symbol.kind) {
            case SymbolKind::Code: {
                uint64_t const start = m_image.code.address;
                if (value >= start && value <= start + m_image.code.bytes.size() &&
                    (value - start) % k_instruction_size == 0)
                    return true;
                return fail(error, "code label '" + symbol.name + "' at " + hex(value) +
                                       " is neither an instruction of the code section nor its end");
            }
            case SymbolKind::Data:
                return checkInside(symbol, m_image.data.address, m_image.data.bytes.size(), m_empty_data,
                                   error);
            case SymbolKind::Bss:
                return checkInside(symbol, m_image.bssAddress, m_image.bssSize, m_empty_bss, error);
            case SymbolKind::Constant: return true;
        }
        return true;
    }

private:
    bool checkInside(Symbol const& symbol, uint64_t start, uint64_t size, Symbol const*& firstOfEmpty,
                     std::string& error) {
        char const* section = symbol.kind == SymbolKind::Data ? "data" : "bss";
        if (size == 0) {
            if (firstOfEmpty == nullptr) firstOfEmpty = &symbol;
            if (firstOfEmpty->value == symbol.value) return true;
            return fail(error, std::string(section) + " labels '" + firstOfEmpty->name + "' and '" +
                                   symbol.name + "' of the empty " + section +
                                   " section have different addresses");
        }
        if (symbol.value >= start && symbol.value <= start + size) return true;
        return fail(error, std::string(section) + " label '" + symbol.name + "' at " + hex(symbol.value) +
                               " lies outside the " + section + " section");
    }

    QxxImage const& m_image;
    Symbol const* m_empty_data = nullptr;
    Symbol const* m_empty_bss = nullptr;
};

bool validateSymbols(QxxImage const& image, std::string& error) {
    LabelPlaces places(image);
    if (image.symbols.size() > k_max_symbols)
        return fail(error, "too many symbols: " + std::to_string(image.symbols.size()) + " (limit " +
                               std::to_string(k_max_symbols) + ")");
    std::set<std::string> seen;
    for (Symbol const& symbol : image.symbols) {
        if (symbol.name.empty()) return fail(error, "symbol with an empty name");
        if (symbol.name.size() > k_max_symbol_name_length)
            return fail(error,
                        "symbol name longer than 255 characters: '" + symbol.name.substr(0, 32) + "...'");
        if (symbol.name.find('\0') != std::string::npos)
            return fail(error, "symbol name with a NUL character");
        if (symbol.kind < SymbolKind::Code || symbol.kind > SymbolKind::Constant)
            return fail(error, "symbol '" + symbol.name + "' has unknown kind " +
                                   std::to_string(unsigned(symbol.kind)));
        if (!isSymbolName(symbol.name))
            return fail(error, "symbol name '" + symbol.name + "' is not a name the assembler can define");
        if (!seen.insert(symbol.name).second) return fail(error, "duplicate symbol '" + symbol.name + "'");
        if (!places.check(symbol, error)) return false;
    }
    return true;
}

}  // namespace

bool isSymbolName(std::string const& name) {
    return !name.empty() && isNameStart(name[0]) && std::all_of(name.begin(), name.end(), isNameChar) &&
           !isRegisterName(name) && name.compare(0, 2, ".L") != 0;
}

char const* symbolKindName(SymbolKind kind) {
    switch (kind) {
        case SymbolKind::Code: return "code";
        case SymbolKind::Data: return "data";
        case SymbolKind::Bss: return "bss";
        case SymbolKind::Constant: return "constant";
    }
    return "unknown";
}

Symbol const* QxxImage::findSymbol(std::string const& name) const {
    for (Symbol const& symbol : symbols)
        if (symbol.name == name) return &symbol;
    return nullptr;
}

bool QxxImage::operator==(QxxImage const& other) const {
    return instructionSet == other.instructionSet && byteOrder == other.byteOrder &&
           instructionSize == other.instructionSize && entry == other.entry && code == other.code &&
           data == other.data && bssAddress == other.bssAddress && bssSize == other.bssSize &&
           symbols == other.symbols;
}

bool validateImage(QxxImage const& image, std::string& error) {
    return validateHeader(image, error) && validateSections(image, error) && validateSymbols(image, error);
}

}  // namespace Qxx
