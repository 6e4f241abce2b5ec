// Turns source files into the statements the assembler passes see:
// parses every line, follows .include and expands macros.
//
//   .include "file"          files are looked up beside the including file,
//                            then in the include directories
//   .macro name [p1, p2...]  body lines up to .endm; in the body \p1 is
//   ...                      replaced by the argument and \@ by a number
//   .endm                    unique to each expansion
#ifndef ASSEMBLER_PREPROCESSOR_H
#define ASSEMBLER_PREPROCESSOR_H

#include "assembler/Assembler.h"
#include "assembler/Diagnostics.h"
#include "assembler/Statement.h"

#include <map>
#include <string>
#include <vector>

namespace Assembler {

class Preprocessor {
public:
    // Lines handled in all, counting every included file and macro body
    // each time it is used: far more than any real program. The depth
    // limits alone allow work that doubles with each level (a macro that
    // calls another twice, 64 deep; a file that includes another twice, 16
    // deep), which would never finish.
    static constexpr size_t k_max_lines = size_t(1) << 22;
    // Characters of one line after its macro arguments are put in: an
    // argument used twice in a call of the next macro doubles with each
    // level.
    static constexpr size_t k_max_line_length = size_t(1) << 16;

    Preprocessor(AssemblerOptions const& options, Diagnostics& diagnostics, size_t maxLines = k_max_lines);

    void addSource(SourceFile const& source);

    std::vector<Statement>& statements() { return m_statements; }

private:
    struct Macro {
        std::string name;
        std::vector<std::string> parameters;
        std::vector<std::string> body;
        SourceLocation location;
    };

    void processText(std::string const& file, std::string const& text, unsigned includeDepth);
    // Counts one more line handled; false, after one error, once the
    // program has grown past the limit.
    bool takeLine(SourceLocation const& location);
    void processLine(std::string const& text, SourceLocation const& location, unsigned includeDepth,
                     unsigned macroDepth);
    void recordMacroLine(std::string const& text, SourceLocation const& location);
    void startMacro(Statement const& statement);
    void include(Statement const& statement, unsigned includeDepth);
    void expand(Macro const& macro, Statement const& statement, unsigned includeDepth, unsigned macroDepth);
    std::string substitute(Macro const& macro, std::string const& line,
                           std::vector<std::string> const& arguments, unsigned expansion) const;

    AssemblerOptions const& m_options;
    Diagnostics& m_diagnostics;
    std::vector<Statement> m_statements;
    std::map<std::string, Macro> m_macros;
    Macro m_recording;
    bool m_is_recording = false;
    unsigned m_expansions = 0;
    size_t m_max_lines;
    size_t m_lines = 0;  // lines read from files and macro bodies
    bool m_too_large = false;
};

}  // namespace Assembler

#endif
