#include "simulator/DecodedProgram.h"

namespace Simulator {

namespace {

bool hasTarget(Opcode op) {
    FormatInfo const& format = formatInfo(findInstruction(uint8_t(op))->format);
    for (unsigned index = 0; index < format.count; ++index)
        if (format.operands[index] == Operand::Target) return true;
    return false;
}

DecodedInstruction sentinel(uint32_t address) {
    return DecodedInstruction{Opcode::InternalPcOutside, 0, 0, 0, address};
}

}  // namespace

bool DecodedProgram::indexOf(uint32_t address, uint32_t& index) const {
    uint32_t offset = address - base;
    if (address < base || offset % 8 != 0 || offset / 8 >= words.size()) return false;
    index = offset / 8;
    return true;
}

uint32_t DecodedProgram::addressOf(uint32_t index) const {
    if (index < words.size()) return base + index * 8;
    return code[index].imm;
}

DecodedProgram decodeProgram(std::vector<uint8_t> const& bytes, uint32_t base, Qxx::ByteOrder order,
                             RegisterCounts counts) {
    DecodedProgram program;
    program.base = base;
    size_t count = bytes.size() / 8;
    program.words.reserve(count);
    program.code.reserve(count + 1);
    for (size_t index = 0; index < count; ++index) {
        uint64_t word = Qxx::load64(&bytes[index * 8], order);
        Fields f = decodeWord(word);
        program.words.push_back(word);
        if (!checkFields(f, counts)) f = Fields{uint8_t(Opcode::InternalIllegal), 0, 0, 0, 0};
        program.code.push_back(DecodedInstruction{Opcode(f.opcode), f.rd, f.ra, f.rb, f.imm});
    }
    program.code.push_back(sentinel(uint32_t(base + count * 8)));
    for (size_t index = 0; index < count; ++index) {
        DecodedInstruction const instruction = program.code[index];
        if (instruction.op == Opcode::InternalIllegal || !hasTarget(instruction.op)) continue;
        uint32_t target = 0;
        if (!program.indexOf(instruction.imm, target)) {
            program.code.push_back(sentinel(instruction.imm));
            target = uint32_t(program.code.size() - 1);
        }
        program.code[index].imm = target;
    }
    return program;
}

}  // namespace Simulator
