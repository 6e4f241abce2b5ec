// The assembler's view of the target: instruction set, instruction size,
// byte order, register counts and the start of mono memory of the default
// node, taken from its validated architecture configuration.
#ifndef ASSEMBLER_TOOL_TARGETOPTIONS_H
#define ASSEMBLER_TOOL_TARGETOPTIONS_H

#include <string>

#include "assembler/Assembler.h"
#include "isa/ProcessorConfig.h"
#include "isa/TevIsa.h"

namespace Qxas {

// The dimensions of the default node, read from its architecture section.
// False with the reason for a value that is not a number or an unknown
// endianness.
bool readTarget(Simulator::ProcessorConfig& target, std::string& error);

// Fills the target fields of assemblerOptions. False, with the reason in
// error, when the node is not one qxas can assemble for: an instruction
// set other than tev, or an instruction size other than tev's.
bool targetAssemblerOptions(Simulator::ProcessorConfig const& target,
                            Assembler::AssemblerOptions& assemblerOptions, std::string& error);

// The node's mono and poly register counts, whatever its instruction set:
// a dump writes the words that name other registers as raw words.
Simulator::RegisterCounts targetRegisterCounts(Simulator::ProcessorConfig const& target);

// One line naming the target, for --verbose.
std::string describeTarget(Assembler::AssemblerOptions const& assemblerOptions);

}  // namespace Qxas

#endif  // ASSEMBLER_TOOL_TARGETOPTIONS_H
