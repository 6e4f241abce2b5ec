// Collects the assembler's error messages, "file:line: message", in the
// order they were found, up to a limit.
#ifndef ASSEMBLER_DIAGNOSTICS_H
#define ASSEMBLER_DIAGNOSTICS_H

#include "assembler/Statement.h"

#include <string>
#include <vector>

namespace Assembler {

class Diagnostics {
public:
    static constexpr size_t k_max_errors = 100;

    void error(SourceLocation const& location, std::string const& message);
    // An error of the whole program, prefixed with the file name only.
    void error(std::string const& file, std::string const& message);

    bool empty() const { return m_messages.empty(); }
    std::vector<std::string> const& messages() const { return m_messages; }

private:
    void add(std::string const& text);

    std::vector<std::string> m_messages;
};

}  // namespace Assembler

#endif
