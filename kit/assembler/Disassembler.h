// Turns a qxx image back into assembler source. The text assembles, for a
// target of the image's byte order and those register counts, to the same
// program: sections, symbols and entry point are all written out, and
// words that are no valid instruction for those registers appear as
// .inst.
#ifndef ASSEMBLER_DISASSEMBLER_H
#define ASSEMBLER_DISASSEMBLER_H

#include "isa/TevIsa.h"
#include "qxx/QxxImage.h"

#include <string>

namespace Assembler {

// The registers of the assembler's default target.
constexpr Simulator::RegisterCounts k_default_register_counts{32, 32};

std::string disassemble(Qxx::QxxImage const& image,
                        Simulator::RegisterCounts const& registers = k_default_register_counts);

}  // namespace Assembler

#endif
