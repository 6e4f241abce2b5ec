// Turns the assembled sections and symbols into a qxx image, after the
// checks that need the whole program: every constant has a value, there is
// code, the entry point is one of its instructions, exported symbols fit.
#ifndef ASSEMBLER_IMAGEBUILDER_H
#define ASSEMBLER_IMAGEBUILDER_H

#include "assembler/AssemblyContext.h"
#include "assembler/Statement.h"
#include "qxx/QxxImage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Assembler {

class ImageBuilder {
public:
    // constants are the .equ statements; entry is the .entry statement or
    // null, in which case the entry point is "main" or else the code's start.
    ImageBuilder(AssemblyContext& context, std::vector<Statement const*> const& constants,
                 Statement const* entry)
        : m_context(context), m_constants(constants), m_entry(entry) {}

    // Moves the section bytes into the image.
    void build(std::string const& mainFile, Qxx::QxxImage& image);

private:
    uint32_t entryPoint();

    AssemblyContext& m_context;
    std::vector<Statement const*> const& m_constants;
    Statement const* m_entry;
};

}  // namespace Assembler

#endif
