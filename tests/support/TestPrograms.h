// Helpers of the assembler's and the server's tests: assemble a source
// text into a qxx image.
#ifndef ASSEMBLER_TESTPROGRAMS_H
#define ASSEMBLER_TESTPROGRAMS_H

#include "assembler/Assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace KitTest {

// Programs the server's tests run: one that never ends, and one that
// waits for the host's signal on semaphore 1, then returns 7.
char const* const k_endless = "loop: addi r1, r1, 1\n jmp loop\n";
char const* const k_waitsForHost = "wait 1\n li r1, 7\n halt r1\n";

inline std::string joinLines(std::vector<std::string> const& lines) {
    std::string text;
    for (std::string const& line : lines) text += line + "\n";
    return text;
}

inline Qxx::QxxImage assembleSource(
    std::string const& source, Assembler::AssemblerOptions const& options = Assembler::AssemblerOptions()) {
    Qxx::QxxImage image;
    std::vector<std::string> errors;
    EXPECT_TRUE(Assembler::assemble({{"test.qxs", source}}, options, image, errors)) << joinLines(errors);
    return image;
}

}  // namespace KitTest

#endif
