// Turns the operands of one instruction into its fields.
#ifndef ASSEMBLER_INSTRUCTIONENCODER_H
#define ASSEMBLER_INSTRUCTIONENCODER_H

#include "assembler/Expression.h"
#include "isa/TevIsa.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Assembler {

struct EncodingContext {
    Simulator::RegisterCounts registers;
    uint32_t codeBase;  // branch targets must be instructions of
    uint64_t codeSize;  // [codeBase, codeBase + codeSize)
    SymbolLookup lookup;
};

bool encodeInstruction(Simulator::InstructionInfo const& info, std::vector<std::string> const& operands,
                       EncodingContext const& context, Simulator::Fields& fields, std::string& error);

}  // namespace Assembler

#endif
