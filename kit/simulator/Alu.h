// Arithmetic of the tev instruction set, shared by the mono unit and the
// poly array so that both compute the same results. All of it works
// modulo 2^32 on unsigned values, which keeps overflow defined.
#ifndef SIMULATOR_ALU_H
#define SIMULATOR_ALU_H

#include "isa/TevIsa.h"

#include <cstdint>

namespace Simulator::Alu {

inline uint32_t add(uint32_t a, uint32_t b) {
    return a + b;
}
inline uint32_t sub(uint32_t a, uint32_t b) {
    return a - b;
}
inline uint32_t mul(uint32_t a, uint32_t b) {
    return a * b;
}
inline uint32_t bitAnd(uint32_t a, uint32_t b) {
    return a & b;
}
inline uint32_t bitOr(uint32_t a, uint32_t b) {
    return a | b;
}
inline uint32_t bitXor(uint32_t a, uint32_t b) {
    return a ^ b;
}
inline uint32_t shl(uint32_t a, uint32_t b) {
    return a << (b & 31);
}
inline uint32_t shr(uint32_t a, uint32_t b) {
    return a >> (b & 31);
}
inline uint32_t sra(uint32_t a, uint32_t b) {
    // Right shift of a negative number fills with the sign bit in g++.
    return uint32_t(int32_t(a) >> (b & 31));
}
inline uint32_t seq(uint32_t a, uint32_t b) {
    return a == b;
}
inline uint32_t sne(uint32_t a, uint32_t b) {
    return a != b;
}
inline uint32_t slt(uint32_t a, uint32_t b) {
    return int32_t(a) < int32_t(b);
}
inline uint32_t sle(uint32_t a, uint32_t b) {
    return int32_t(a) <= int32_t(b);
}
inline uint32_t sltu(uint32_t a, uint32_t b) {
    return a < b;
}
inline uint32_t sleu(uint32_t a, uint32_t b) {
    return a <= b;
}

// Signed division; the divisor is not zero. The one overflowing case,
// INT32_MIN / -1, wraps to INT32_MIN with remainder 0.
inline uint32_t div(uint32_t a, uint32_t b) {
    if (a == 0x80000000u && b == 0xffffffffu) return a;
    return uint32_t(int32_t(a) / int32_t(b));
}
inline uint32_t rem(uint32_t a, uint32_t b) {
    if (a == 0x80000000u && b == 0xffffffffu) return 0;
    return uint32_t(int32_t(a) % int32_t(b));
}

// An operation above as a type of its own, so that a template taking it
// calls the function directly rather than through a pointer.
template <uint32_t (*F)(uint32_t, uint32_t)>
struct Operation {
    uint32_t operator()(uint32_t a, uint32_t b) const { return F(a, b); }
};

// Calls apply with the operation of a two-operand arithmetic opcode, mono
// or poly, register or immediate form (ADD, ADDI, PADD and PADDI all add);
// false for other opcodes. DIV and REM are not here: they fault on a zero
// divisor. The one table keeps the mono unit and the poly array computing
// the same operation for the same mnemonic.
template <typename Apply>
bool withOperation(Opcode op, Apply&& apply) {
    // One row per operation: its mono, immediate and poly opcodes.
    // clang-format off
    switch (op) {
        case Opcode::ADD: case Opcode::ADDI: case Opcode::PADD: case Opcode::PADDI: apply(Operation<add>{}); return true;
        case Opcode::SUB: case Opcode::PSUB: apply(Operation<sub>{}); return true;
        case Opcode::MUL: case Opcode::MULI: case Opcode::PMUL: case Opcode::PMULI: apply(Operation<mul>{}); return true;
        case Opcode::AND: case Opcode::ANDI: case Opcode::PAND: case Opcode::PANDI: apply(Operation<bitAnd>{}); return true;
        case Opcode::OR: case Opcode::ORI: case Opcode::POR: case Opcode::PORI: apply(Operation<bitOr>{}); return true;
        case Opcode::XOR: case Opcode::XORI: case Opcode::PXOR: case Opcode::PXORI: apply(Operation<bitXor>{}); return true;
        case Opcode::SHL: case Opcode::SHLI: case Opcode::PSHL: case Opcode::PSHLI: apply(Operation<shl>{}); return true;
        case Opcode::SHR: case Opcode::SHRI: case Opcode::PSHR: case Opcode::PSHRI: apply(Operation<shr>{}); return true;
        case Opcode::SRA: case Opcode::SRAI: case Opcode::PSRA: case Opcode::PSRAI: apply(Operation<sra>{}); return true;
        case Opcode::SEQ: case Opcode::PSEQ: apply(Operation<seq>{}); return true;
        case Opcode::SNE: case Opcode::PSNE: apply(Operation<sne>{}); return true;
        case Opcode::SLT: case Opcode::PSLT: apply(Operation<slt>{}); return true;
        case Opcode::SLE: case Opcode::PSLE: apply(Operation<sle>{}); return true;
        case Opcode::SLTU: case Opcode::PSLTU: apply(Operation<sltu>{}); return true;
        case Opcode::SLEU: apply(Operation<sleu>{}); return true;
        default: return false;
    }
    // clang-format on
}

}  // namespace Simulator::Alu

#endif
