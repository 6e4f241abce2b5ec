// Turns a qxx image back into assembler source. The text assembles to the
// same image when the image came from the assembler: sections, symbols
// and entry point are all written out, and words that are no valid
// instruction appear as .inst.
#ifndef ASSEMBLER_DISASSEMBLER_H
#define ASSEMBLER_DISASSEMBLER_H

#include "qxx/QxxImage.h"

#include <string>

namespace Assembler {

std::string disassemble(Qxx::QxxImage const& image);

} // namespace Assembler

#endif
