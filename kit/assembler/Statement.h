// One parsed line of assembler source and where it came from.
#ifndef ASSEMBLER_STATEMENT_H
#define ASSEMBLER_STATEMENT_H

#include <string>
#include <vector>

namespace Assembler {

struct SourceLocation {
    std::string file;
    unsigned line = 0;
    std::string context;  // e.g. "in macro square", empty outside macros

    // "file:line: message", with the context after the message.
    std::string format(std::string const& message) const;
};

struct Statement {
    SourceLocation location;
    std::vector<std::string> labels;
    std::string op;                     // mnemonic, directive or macro name; empty for a label-only line
    std::string rest;                   // the text after op, trimmed
    std::vector<std::string> operands;  // rest split at top-level commas, each trimmed
};

}  // namespace Assembler

#endif
