// Descriptions of tev instructions for users (the assembler tool's --info),
// taken from the same table as the assembler and the simulator.
#ifndef ASSEMBLER_INSTRUCTIONHELP_H
#define ASSEMBLER_INSTRUCTIONHELP_H

#include <string>

namespace Assembler {

// Syntax, effect and encoding of one instruction; false for an unknown
// mnemonic.
bool describeInstruction(std::string const& mnemonic, std::string& text);

// One line per instruction: its syntax and effect.
std::string instructionSummary();

}  // namespace Assembler

#endif
