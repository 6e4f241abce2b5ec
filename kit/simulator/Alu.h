// Arithmetic of the tev instruction set, shared by the mono unit and the
// poly array so that both compute the same results. All of it works
// modulo 2^32 on unsigned values, which keeps overflow defined.
#ifndef SIMULATOR_ALU_H
#define SIMULATOR_ALU_H

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

}  // namespace Simulator::Alu

#endif
