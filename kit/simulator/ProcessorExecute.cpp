// The interpreter loop of the processor and the faults it raises.
#include "qxx/ErrorText.h"
#include "simulator/Processor.h"

#include "simulator/Alu.h"

#include <cstdio>

namespace Simulator {

namespace {

using Qxx::hex;

using Qxx::load16;
using Qxx::load32;
using Qxx::store16;
using Qxx::store32;

}  // namespace

Processor::Exit Processor::fault(std::string const& text) {
    m_fault_text = text;
    return Exit::Faulted;
}

Processor::Exit Processor::faultAt(uint32_t index, std::string const& what) {
    return fault(what + " at PC " + hex(m_program.addressOf(index)));
}

Processor::Exit Processor::illegalInstruction(uint32_t index) {
    char text[40];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(m_program.words[index]));
    return faultAt(index, std::string("illegal instruction ") + text);
}

Processor::Exit Processor::monoAccessFault(uint32_t index, uint32_t address, uint32_t width) {
    uint32_t offset = address - m_mono_start;
    bool inside = address >= m_mono_start && offset <= m_mono_size - width;
    std::string what = inside ? "misaligned mono memory access" : "mono memory access out of range";
    return faultAt(index, what + ": address " + hex(address) + ", " + std::to_string(width) + " bytes,");
}

Processor::Exit Processor::polyAccessFault(uint32_t index, PolyAccessFault const& failure, uint32_t width) {
    std::string what =
        failure.misaligned ? "misaligned poly memory access" : "poly memory access out of range";
    return faultAt(index, what + ": address " + hex(failure.address) + ", " + std::to_string(width) +
                              " bytes, on PE " + std::to_string(failure.pe));
}

Processor::Exit Processor::stackFault(uint32_t index, uint32_t sp, bool pushing) {
    if (sp % 4 != 0) return faultAt(index, "misaligned stack pointer " + hex(sp));
    if (pushing && sp <= m_stack_base && sp >= m_mono_start)
        return faultAt(index, "stack overflow (sp " + hex(sp) + ")");
    if (!pushing && sp >= m_stack_top) return faultAt(index, "stack underflow (sp " + hex(sp) + ")");
    return faultAt(index, "stack pointer " + hex(sp) + " is outside the stack");
}

Processor::Exit Processor::pcOutside(uint32_t index, uint32_t address) {
    if (index >= m_program.instructionCount()) return fault("PC " + hex(address) + " is outside the code");
    return faultAt(index, "jump to " + hex(address) + ", which is outside the code,");
}

// One switch over the decoded code. The PC is an index into it; the
// sentinels behind the code catch every way of leaving it, so the loop
// only counts down its budget. Faults rewind the PC to the faulting
// instruction and leave through the cold helpers above.
Processor::Exit Processor::executeSlice(uint64_t budget) {
    DecodedInstruction const* const code = m_program.code.data();
    uint32_t* const r = m_regs.data();
    uint8_t* const mem = m_mono.data();
    uint32_t const memStart = m_mono_start;
    uint32_t const memSize = m_mono_size;
    uint32_t const stackBase = m_stack_base;
    uint32_t const stackSize = m_stack_top - m_stack_base;
    uint32_t const codeBase = m_program.base;
    Qxx::ByteOrder const order = m_config.byteOrder;
    uint32_t pc = m_pc;
    uint64_t left = budget;
    Exit exit = Exit::Budget;

// Offset in mono memory of an aligned access of width bytes at address, or
// a fault of the instruction just fetched.
#define MONO_OFFSET(offset, address, width)                             \
    uint32_t const offset = (address)-memStart;                         \
    if (offset > memSize - (width) || ((address) & ((width)-1)) != 0) { \
        exit = monoAccessFault(--pc, (address), (width));               \
        goto done;                                                      \
    }
#define FAULT(call)    \
    {                  \
        --pc;          \
        exit = (call); \
        goto done;     \
    }

    while (left != 0) {
        DecodedInstruction const d = code[pc];
        ++pc;
        --left;
        switch (d.op) {
            case Opcode::NOP: break;
            case Opcode::HALT:
                m_return_value = int32_t(r[d.ra]);
                --pc;
                exit = Exit::Halted;
                goto done;
            case Opcode::LI: r[d.rd] = d.imm; break;
            case Opcode::MOV: r[d.rd] = r[d.ra]; break;
            case Opcode::CYCLES: r[d.rd] = uint32_t(m_cycles + (budget - left - 1)); break;
            case Opcode::WAIT:
                if (d.imm >= m_semaphores.count()) FAULT(faultAt(pc, "no semaphore " + std::to_string(d.imm)))
                if (!m_semaphores.tryTake(d.imm)) {
                    --pc;
                    ++left;
                    m_blocked_semaphore = d.imm;
                    exit = Exit::Blocked;
                    goto done;
                }
                break;
            case Opcode::SIGNAL:
                if (d.imm >= m_semaphores.count()) FAULT(faultAt(pc, "no semaphore " + std::to_string(d.imm)))
                m_semaphores.give(d.imm);
                break;
            case Opcode::NOT: r[d.rd] = ~r[d.ra]; break;
            case Opcode::NEG: r[d.rd] = 0u - r[d.ra]; break;

            // The arithmetic is written out case by case rather than through
            // Alu::withOperation as the poly array does: a second switch on
            // the opcode here costs the interpreter about a third of its speed.
            case Opcode::ADD: r[d.rd] = Alu::add(r[d.ra], r[d.rb]); break;
            case Opcode::SUB: r[d.rd] = Alu::sub(r[d.ra], r[d.rb]); break;
            case Opcode::MUL: r[d.rd] = Alu::mul(r[d.ra], r[d.rb]); break;
            case Opcode::DIV:
                if (r[d.rb] == 0) FAULT(faultAt(pc, "division by zero"))
                r[d.rd] = Alu::div(r[d.ra], r[d.rb]);
                break;
            case Opcode::REM:
                if (r[d.rb] == 0) FAULT(faultAt(pc, "division by zero"))
                r[d.rd] = Alu::rem(r[d.ra], r[d.rb]);
                break;
            case Opcode::AND: r[d.rd] = Alu::bitAnd(r[d.ra], r[d.rb]); break;
            case Opcode::OR: r[d.rd] = Alu::bitOr(r[d.ra], r[d.rb]); break;
            case Opcode::XOR: r[d.rd] = Alu::bitXor(r[d.ra], r[d.rb]); break;
            case Opcode::SHL: r[d.rd] = Alu::shl(r[d.ra], r[d.rb]); break;
            case Opcode::SHR: r[d.rd] = Alu::shr(r[d.ra], r[d.rb]); break;
            case Opcode::SRA: r[d.rd] = Alu::sra(r[d.ra], r[d.rb]); break;
            case Opcode::SEQ: r[d.rd] = Alu::seq(r[d.ra], r[d.rb]); break;
            case Opcode::SNE: r[d.rd] = Alu::sne(r[d.ra], r[d.rb]); break;
            case Opcode::SLT: r[d.rd] = Alu::slt(r[d.ra], r[d.rb]); break;
            case Opcode::SLE: r[d.rd] = Alu::sle(r[d.ra], r[d.rb]); break;
            case Opcode::SLTU: r[d.rd] = Alu::sltu(r[d.ra], r[d.rb]); break;
            case Opcode::SLEU: r[d.rd] = Alu::sleu(r[d.ra], r[d.rb]); break;

            case Opcode::ADDI: r[d.rd] = Alu::add(r[d.ra], d.imm); break;
            case Opcode::MULI: r[d.rd] = Alu::mul(r[d.ra], d.imm); break;
            case Opcode::ANDI: r[d.rd] = Alu::bitAnd(r[d.ra], d.imm); break;
            case Opcode::ORI: r[d.rd] = Alu::bitOr(r[d.ra], d.imm); break;
            case Opcode::XORI: r[d.rd] = Alu::bitXor(r[d.ra], d.imm); break;
            case Opcode::SHLI: r[d.rd] = Alu::shl(r[d.ra], d.imm); break;
            case Opcode::SHRI: r[d.rd] = Alu::shr(r[d.ra], d.imm); break;
            case Opcode::SRAI: r[d.rd] = Alu::sra(r[d.ra], d.imm); break;

            case Opcode::LDB: {
                MONO_OFFSET(offset, r[d.ra] + d.imm, 1)
                r[d.rd] = uint32_t(int32_t(int8_t(mem[offset])));
                break;
            }
            case Opcode::LDBU: {
                MONO_OFFSET(offset, r[d.ra] + d.imm, 1)
                r[d.rd] = mem[offset];
                break;
            }
            case Opcode::LDH: {
                MONO_OFFSET(offset, r[d.ra] + d.imm, 2)
                r[d.rd] = uint32_t(int32_t(int16_t(load16(mem + offset, order))));
                break;
            }
            case Opcode::LDHU: {
                MONO_OFFSET(offset, r[d.ra] + d.imm, 2)
                r[d.rd] = load16(mem + offset, order);
                break;
            }
            case Opcode::LDW: {
                MONO_OFFSET(offset, r[d.ra] + d.imm, 4)
                r[d.rd] = load32(mem + offset, order);
                break;
            }
            case Opcode::STB: {
                MONO_OFFSET(offset, r[d.ra] + d.imm, 1)
                mem[offset] = uint8_t(r[d.rd]);
                break;
            }
            case Opcode::STH: {
                MONO_OFFSET(offset, r[d.ra] + d.imm, 2)
                store16(mem + offset, uint16_t(r[d.rd]), order);
                break;
            }
            case Opcode::STW: {
                MONO_OFFSET(offset, r[d.ra] + d.imm, 4)
                store32(mem + offset, r[d.rd], order);
                break;
            }

            case Opcode::JMP: pc = d.imm; break;
            case Opcode::JR: {
                uint32_t index = 0;
                if (!m_program.indexOf(r[d.ra], index)) FAULT(pcOutside(pc, r[d.ra]))
                pc = index;
                break;
            }
            case Opcode::CALL:
            case Opcode::CALLR: {
                uint32_t target = 0;
                if (d.op == Opcode::CALL)
                    target = d.imm;
                else if (!m_program.indexOf(r[d.ra], target))
                    FAULT(pcOutside(pc, r[d.ra]))
                uint32_t sp = r[k_stack_pointer];
                if (sp - 4 - stackBase > stackSize - 4 || sp % 4 != 0) FAULT(stackFault(pc, sp, true))
                store32(mem + (sp - 4 - memStart), codeBase + pc * 8, order);
                r[k_stack_pointer] = sp - 4;
                pc = target;
                break;
            }
            case Opcode::RET: {
                uint32_t sp = r[k_stack_pointer];
                if (sp - stackBase > stackSize - 4 || sp % 4 != 0) FAULT(stackFault(pc, sp, false))
                uint32_t target = load32(mem + (sp - memStart), order);
                uint32_t index = 0;
                if (!m_program.indexOf(target, index)) FAULT(pcOutside(pc, target))
                r[k_stack_pointer] = sp + 4;
                pc = index;
                break;
            }
            case Opcode::BEQ:
                if (r[d.ra] == r[d.rb]) pc = d.imm;
                break;
            case Opcode::BNE:
                if (r[d.ra] != r[d.rb]) pc = d.imm;
                break;
            case Opcode::BLT:
                if (int32_t(r[d.ra]) < int32_t(r[d.rb])) pc = d.imm;
                break;
            case Opcode::BGE:
                if (int32_t(r[d.ra]) >= int32_t(r[d.rb])) pc = d.imm;
                break;
            case Opcode::BLTU:
                if (r[d.ra] < r[d.rb]) pc = d.imm;
                break;
            case Opcode::BGEU:
                if (r[d.ra] >= r[d.rb]) pc = d.imm;
                break;
            case Opcode::BEQZ:
                if (r[d.ra] == 0) pc = d.imm;
                break;
            case Opcode::BNEZ:
                if (r[d.ra] != 0) pc = d.imm;
                break;
            case Opcode::PUSH: {
                uint32_t value = r[d.ra];
                uint32_t sp = r[k_stack_pointer];
                if (sp - 4 - stackBase > stackSize - 4 || sp % 4 != 0) FAULT(stackFault(pc, sp, true))
                store32(mem + (sp - 4 - memStart), value, order);
                r[k_stack_pointer] = sp - 4;
                break;
            }
            case Opcode::POP: {
                uint32_t sp = r[k_stack_pointer];
                if (sp - stackBase > stackSize - 4 || sp % 4 != 0) FAULT(stackFault(pc, sp, false))
                r[k_stack_pointer] = sp + 4;
                r[d.rd] = load32(mem + (sp - memStart), order);
                break;
            }

            case Opcode::PADD:
            case Opcode::PSUB:
            case Opcode::PMUL:
            case Opcode::PAND:
            case Opcode::POR:
            case Opcode::PXOR:
            case Opcode::PSHL:
            case Opcode::PSHR:
            case Opcode::PSRA:
            case Opcode::PSEQ:
            case Opcode::PSNE:
            case Opcode::PSLT:
            case Opcode::PSLE:
            case Opcode::PSLTU: m_poly.binary(d.op, d.rd, d.ra, d.rb); break;
            case Opcode::PADDI:
            case Opcode::PMULI:
            case Opcode::PANDI:
            case Opcode::PORI:
            case Opcode::PXORI:
            case Opcode::PSHLI:
            case Opcode::PSHRI:
            case Opcode::PSRAI: m_poly.binaryImmediate(d.op, d.rd, d.ra, d.imm); break;
            case Opcode::PLI: m_poly.setAll(d.rd, d.imm); break;
            case Opcode::PMOV: m_poly.move(d.rd, d.ra); break;
            case Opcode::PBCAST: m_poly.setAll(d.rd, r[d.ra]); break;
            case Opcode::PIDX: m_poly.peIndex(d.rd); break;
            case Opcode::PLDB:
            case Opcode::PLDBU:
            case Opcode::PLDW: {
                PolyAccessFault failure = m_poly.load(d.op, d.rd, d.ra, d.imm);
                if (failure.failed) FAULT(polyAccessFault(pc, failure, d.op == Opcode::PLDW ? 4 : 1))
                break;
            }
            case Opcode::PSTB:
            case Opcode::PSTW: {
                PolyAccessFault failure = m_poly.store(d.op, d.rd, d.ra, d.imm);
                if (failure.failed) FAULT(polyAccessFault(pc, failure, d.op == Opcode::PSTW ? 4 : 1))
                break;
            }
            case Opcode::PIF:
                if (!m_poly.pushEnable(d.ra)) FAULT(faultAt(pc, "enable stack overflow"))
                break;
            case Opcode::PELSE:
                if (!m_poly.elseEnable()) FAULT(faultAt(pc, "pelse without pif"))
                break;
            case Opcode::PENDIF:
                if (!m_poly.popEnable()) FAULT(faultAt(pc, "enable stack underflow"))
                break;
            case Opcode::RSUM:
            case Opcode::RMIN:
            case Opcode::RMAX:
            case Opcode::RAND:
            case Opcode::ROR: r[d.rd] = m_poly.reduce(d.op, d.ra); break;

            case Opcode::InternalIllegal: FAULT(illegalInstruction(pc))
            case Opcode::InternalPcOutside: FAULT(pcOutside(pc, d.imm))
        }
    }
#undef MONO_OFFSET
#undef FAULT
done:
    m_pc = pc;
    m_cycles += budget - left;
    return exit;
}

}  // namespace Simulator
