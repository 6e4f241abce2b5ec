// Helpers of the assembler's and the server's tests: assemble a source
// text into a qxx image.
#ifndef ASSEMBLER_TESTPROGRAMS_H
#define ASSEMBLER_TESTPROGRAMS_H

#include "assembler/Assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace KitTest {

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
