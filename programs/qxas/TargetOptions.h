// The assembler's view of the target: instruction set, instruction size,
// byte order, register counts and the start of mono memory of the default
// node, taken from its validated architecture configuration.
#ifndef ASSEMBLER_TOOL_TARGETOPTIONS_H
#define ASSEMBLER_TOOL_TARGETOPTIONS_H

#include <string>

#include "assembler/Assembler.h"
#include "isa/TevIsa.h"

namespace Configuration {
class CommandOptions;
}

namespace SDKSupport {
class ArchConfig;
}

namespace Qxas {

// Fills the target fields of assemblerOptions. False, with the reason in
// error, when the node is not one qxas can assemble for: an instruction
// set other than tev, or an instruction size other than tev's.
bool targetAssemblerOptions(SDKSupport::ArchConfig const& node, Configuration::CommandOptions& options,
                            Assembler::AssemblerOptions& assemblerOptions, std::string& error);

// The node's mono and poly register counts, whatever its instruction set:
// a dump writes the words that name other registers as raw words.
Simulator::RegisterCounts targetRegisterCounts(SDKSupport::ArchConfig const& node);

// One line naming the target, for --verbose.
std::string describeTarget(Assembler::AssemblerOptions const& assemblerOptions);

}  // namespace Qxas

#endif  // ASSEMBLER_TOOL_TARGETOPTIONS_H
