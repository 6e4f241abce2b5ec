// What the passes over a program share: the options, the errors found, the
// symbols and the sections.
#ifndef ASSEMBLER_ASSEMBLYCONTEXT_H
#define ASSEMBLER_ASSEMBLYCONTEXT_H

#include "assembler/Assembler.h"
#include "assembler/Diagnostics.h"
#include "assembler/Expression.h"
#include "assembler/Sections.h"
#include "assembler/Statement.h"
#include "assembler/SymbolTable.h"

#include <cstdint>
#include <string>

namespace Assembler {

struct AssemblyContext {
    AssemblyContext(AssemblerOptions const& options_, Diagnostics& diagnostics_)
        : options(options_),
          diagnostics(diagnostics_),
          lookup(symbols.lookup()),
          sections(options_, diagnostics_) {}
    AssemblyContext(AssemblyContext const&) = delete;  // the lookup refers to the symbols
    AssemblyContext& operator=(AssemblyContext const&) = delete;

    void error(Statement const& statement, std::string const& message) {
        diagnostics.error(statement.location, message);
    }

    // The value of an operand's expression with the symbols known so far;
    // false, with the reason reported at the statement, when it has none.
    bool value(Statement const& statement, std::string const& text, int64_t& result) {
        std::string message;
        if (evaluateExpression(text, lookup, result, message)) return true;
        error(statement, message);
        return false;
    }

    AssemblerOptions const& options;
    Diagnostics& diagnostics;
    SymbolTable symbols;
    SymbolLookup lookup;
    Sections sections;
};

// The size of one value of .byte, .half or .word.
inline uint64_t dataWidth(std::string const& op) {
    return op == ".byte" ? 1 : op == ".half" ? 2 : 4;
}

}  // namespace Assembler

#endif
