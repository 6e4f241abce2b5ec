// The code of a loaded program, decoded once at load time into a compact
// array that the interpreter walks by index.
//
// Past the last instruction stand sentinels: one for running off the end,
// and one for each branch whose target is not an instruction of the code,
// so that the interpreter never checks the PC on the fast path.
#ifndef SIMULATOR_DECODEDPROGRAM_H
#define SIMULATOR_DECODEDPROGRAM_H

#include "isa/TevIsa.h"
#include "qxx/ByteOrder.h"

#include <cstdint>
#include <vector>

namespace Simulator {

struct DecodedInstruction {
    Opcode op;
    uint8_t rd;
    uint8_t ra;
    uint8_t rb;
    // The immediate; for branches and direct calls the index of the target;
    // for InternalPcOutside the address that is not code.
    uint32_t imm;
};

struct DecodedProgram {
    uint32_t base = 0;                     // code address of index 0
    std::vector<uint64_t> words;           // the instruction words as loaded
    std::vector<DecodedInstruction> code;  // words.size() entries plus sentinels

    uint32_t instructionCount() const { return uint32_t(words.size()); }

    // Index of a code address, or false if it is not an instruction of the code.
    bool indexOf(uint32_t address, uint32_t& index) const;

    // Code address of an index; a sentinel gives the address it stands for.
    uint32_t addressOf(uint32_t index) const;
};

// Decodes bytes (a multiple of 8) read in the given byte order. Words that
// are not valid for the register counts become InternalIllegal.
DecodedProgram decodeProgram(std::vector<uint8_t> const& bytes, uint32_t base, Qxx::ByteOrder order,
                             RegisterCounts counts);

}  // namespace Simulator

#endif
