// The three things qxas does: assemble sources into a qxx file, write a
// qxx file back as source text, and describe an instruction. Each prints
// its own messages (errors on standard error, results on standard output)
// and returns the exit status.
#ifndef ASSEMBLER_TOOL_QXASACTIONS_H
#define ASSEMBLER_TOOL_QXASACTIONS_H

#include <string>

#include "assembler/Assembler.h"
#include "isa/TevIsa.h"
#include "qxas/QxasCommandLine.h"

namespace Qxas {

// Assembles the macro files, then the sources, as one program into
// settings.output, or into the first source's name with ".qxx" when no
// output was given.
int assembleProgram(QxasSettings const& settings, Assembler::AssemblerOptions const& assemblerOptions);

// Writes the textual form of the qxx file settings.dump to settings.output,
// or to standard output when no output was given; instructions that name
// registers the target lacks are written as raw words.
int dumpProgram(QxasSettings const& settings, Simulator::RegisterCounts const& registers);

// Describes one instruction; "all" lists every instruction.
int describeInstruction(std::string const& mnemonic);

}  // namespace Qxas

#endif  // ASSEMBLER_TOOL_QXASACTIONS_H
