// The assembler's symbols: labels, placed in a section during the first
// pass and given addresses when the sections are laid out, and constants
// (.equ), whose expressions are evaluated when first needed.
#ifndef ASSEMBLER_SYMBOLTABLE_H
#define ASSEMBLER_SYMBOLTABLE_H

#include "assembler/Expression.h"
#include "assembler/Statement.h"
#include "qxx/QxxImage.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Assembler {

enum class SectionId { Code = 0, Data = 1, Bss = 2 };

class SymbolTable {
public:
    // False with an error text when the name is taken or not allowed.
    bool defineLabel(std::string const& name, SectionId section, uint64_t offset,
                     SourceLocation const& location, std::string& error);
    bool defineConstant(std::string const& name, std::string const& expression,
                        SourceLocation const& location, std::string& error);

    // Gives the labels their addresses; until then a label's value is an
    // error ("not known yet").
    void placeSections(uint32_t const bases[3]);

    // A lookup for expressions.
    SymbolLookup lookup();

    // Whether the symbol is a label of the code section, and its address.
    bool codeLabel(std::string const& name, uint32_t& address) const;

    // Every symbol for the image, sorted by name; names starting with ".L"
    // are local and left out. Constants that do not fit in 32 bits are
    // reported through errors; those that cannot be evaluated are left out,
    // as their own lines report them.
    std::vector<Qxx::Symbol> exportedSymbols(std::vector<std::pair<SourceLocation, std::string>>& errors);

    static bool isRegisterName(std::string const& name);

private:
    struct Entry {
        bool isLabel = false;
        SectionId section = SectionId::Code;
        uint64_t offset = 0;
        std::string expression;
        enum class State { Pending, Evaluating, Done } state = State::Pending;
        int64_t value = 0;
        SourceLocation location;
    };

    bool checkName(std::string const& name, std::string& error) const;
    bool value(std::string const& name, int64_t& value, std::string& error);

    std::map<std::string, Entry> m_entries;
    unsigned m_depth = 0;  // of constants being evaluated inside each other
    bool m_placed = false;
    uint32_t m_bases[3] = {0, 0, 0};
};

}  // namespace Assembler

#endif
