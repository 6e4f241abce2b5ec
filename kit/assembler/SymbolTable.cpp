#include "assembler/SymbolTable.h"

#include "assembler/LineParser.h"

#include <cctype>

namespace Assembler {

namespace {

// Keeps a long chain of constants from exhausting the stack.
constexpr unsigned k_max_depth = 256;

}  // namespace

bool SymbolTable::isRegisterName(std::string const& name) {
    if (name == "sp") return true;
    if (name.size() < 2 || (name[0] != 'r' && name[0] != 'p')) return false;
    for (size_t i = 1; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

bool SymbolTable::checkName(std::string const& name, std::string& error) const {
    if (!isIdentifier(name)) {
        error = "'" + name + "' is not a valid symbol name";
        return false;
    }
    if (isRegisterName(name)) {
        error = "'" + name + "' is a register name and cannot be a symbol";
        return false;
    }
    if (name.size() > Qxx::k_max_symbol_name_length) {
        error = "symbol name longer than 255 characters";
        return false;
    }
    auto found = m_entries.find(name);
    if (found != m_entries.end()) {
        SourceLocation const& first = found->second.location;
        error =
            "symbol '" + name + "' is already defined at " + first.file + ":" + std::to_string(first.line);
        return false;
    }
    return true;
}

bool SymbolTable::defineLabel(std::string const& name, SectionId section, uint64_t offset,
                              SourceLocation const& location, std::string& error) {
    if (!checkName(name, error)) return false;
    Entry& entry = m_entries[name];
    entry.isLabel = true;
    entry.section = section;
    entry.offset = offset;
    entry.location = location;
    return true;
}

bool SymbolTable::defineConstant(std::string const& name, std::string const& expression,
                                 SourceLocation const& location, std::string& error) {
    if (!checkName(name, error)) return false;
    Entry& entry = m_entries[name];
    entry.expression = expression;
    entry.location = location;
    return true;
}

void SymbolTable::placeSections(uint32_t const bases[3]) {
    for (int index = 0; index < 3; ++index) m_bases[index] = bases[index];
    m_placed = true;
}

SymbolLookup SymbolTable::lookup() {
    return [this](std::string const& name, int64_t& result, std::string& error) {
        return value(name, result, error);
    };
}

// A constant is evaluated on first use and remembered; a failure is not
// remembered, so that a constant that needs a label can still succeed
// once the labels are placed.
bool SymbolTable::value(std::string const& name, int64_t& result, std::string& error) {
    auto found = m_entries.find(name);
    if (found == m_entries.end()) {
        error = "undefined symbol '" + name + "'";
        return false;
    }
    Entry& entry = found->second;
    if (entry.isLabel) {
        if (!m_placed) {
            error = "the address of label '" + name + "' is not known yet here";
            return false;
        }
        result = int64_t(m_bases[int(entry.section)]) + int64_t(entry.offset);
        return true;
    }
    if (entry.state == Entry::State::Done) {
        result = entry.value;
        return true;
    }
    if (entry.state == Entry::State::Evaluating) {
        error = "constant '" + name + "' is defined in terms of itself";
        return false;
    }
    if (m_depth >= k_max_depth) {
        error = "constants defined in terms of each other too deeply";
        return false;
    }
    entry.state = Entry::State::Evaluating;
    ++m_depth;
    bool ok = evaluateExpression(entry.expression, lookup(), entry.value, error);
    --m_depth;
    entry.state = ok ? Entry::State::Done : Entry::State::Pending;
    result = entry.value;
    return ok;
}

bool SymbolTable::codeLabel(std::string const& name, uint32_t& address) const {
    auto found = m_entries.find(name);
    if (found == m_entries.end() || !found->second.isLabel || found->second.section != SectionId::Code)
        return false;
    address = uint32_t(m_bases[0] + found->second.offset);
    return true;
}

std::vector<Qxx::Symbol> SymbolTable::exportedSymbols(
    std::vector<std::pair<SourceLocation, std::string>>& errors) {
    static Qxx::SymbolKind const kinds[3] = {Qxx::SymbolKind::Code, Qxx::SymbolKind::Data,
                                             Qxx::SymbolKind::Bss};
    std::vector<Qxx::Symbol> symbols;
    for (auto& [name, entry] : m_entries) {
        if (name.compare(0, 2, ".L") == 0) continue;
        int64_t result = 0;
        std::string error;
        if (!value(name, result, error)) continue;  // reported where the constant is defined
        if (result < -(int64_t(1) << 31) || result > int64_t(0xffffffff)) {
            errors.emplace_back(entry.location, "the value of '" + name + "' does not fit in 32 bits");
            continue;
        }
        Qxx::SymbolKind kind = entry.isLabel ? kinds[int(entry.section)] : Qxx::SymbolKind::Constant;
        symbols.push_back(Qxx::Symbol{name, uint32_t(result), kind});
    }
    return symbols;
}

}  // namespace Assembler
