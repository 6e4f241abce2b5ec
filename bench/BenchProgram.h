// The short program the server benchmarks run (a loop of ten additions,
// return value 55), assembled for the default target and written as a
// qxx image, as a client sends it.
#ifndef BENCH_BENCHPROGRAM_H
#define BENCH_BENCHPROGRAM_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "assembler/Assembler.h"
#include "qxx/QxxWriter.h"

namespace Bench {

char const* const k_program =
    "li r1, 0\n li r2, 10\nloop: add r1, r1, r2\n addi r2, r2, -1\n bnez r2, loop\n halt r1\n";
int32_t const k_expected = 55;

inline std::vector<uint8_t> programBytes() {
    Qxx::QxxImage image;
    std::vector<std::string> errors;
    std::string error;
    std::vector<uint8_t> bytes;
    if (!Assembler::assemble({{"bench.qxs", k_program}}, Assembler::AssemblerOptions(), image, errors) ||
        !Qxx::writeQxx(image, bytes, error))
        throw std::runtime_error("cannot assemble the benchmark program");
    return bytes;
}

}  // namespace Bench

#endif  // BENCH_BENCHPROGRAM_H
