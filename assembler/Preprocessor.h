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
    Preprocessor(AssemblerOptions const& options, Diagnostics& diagnostics);

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
    void processLine(std::string const& text, SourceLocation const& location, unsigned includeDepth,
                     unsigned macroDepth);
    void recordMacroLine(std::string const& text, SourceLocation const& location);
    void startMacro(Statement const& statement);
    void include(Statement const& statement, unsigned includeDepth);
    void expand(Macro const& macro, Statement const& statement, unsigned includeDepth, unsigned macroDepth);
    std::string substitute(Macro const& macro, std::string const& line, std::vector<std::string> const& arguments,
                           unsigned expansion) const;

    AssemblerOptions const& m_options;
    Diagnostics& m_diagnostics;
    std::vector<Statement> m_statements;
    std::map<std::string, Macro> m_macros;
    Macro m_recording;
    bool m_isRecording = false;
    unsigned m_expansions = 0;
};

} // namespace Assembler

#endif
