// Sources spread over macro files, includes and prepended files assemble
// into one program that runs to the value it computes.
#include "assembler/Assembler.h"
#include "simulator/Processor.h"
#include "tests/support/TestPrograms.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace Assembler;

TEST(AssemblerSources, MacroFilesIncludesAndPrependedSourcesMakeOneProgram) {
    std::map<std::string, std::string> files = {
        {"lib/defs.inc", ".equ TEN, 10\n"},
        {"prog.qxs",
         ".include \"defs.inc\"\nmain: li r1, 0\n twice_add r1, TEN\n twice_add r1, 1\n halt r1\n"},
        {"macros.qxm",
         ".macro twice_add reg, amount\n addi \\reg, \\reg, \\amount\n bnez r0, .Lnext\\@\n"
         " addi \\reg, \\reg, \\amount\n.Lnext\\@:\n.endm\n"},
    };
    AssemblerOptions options;
    options.includeDirectories = {"lib"};
    options.readFile = [&files](std::string const& path, std::string& text) {
        auto found = files.find(path);
        if (found == files.end()) return false;
        text = found->second;
        return true;
    };
    Qxx::QxxImage image;
    std::vector<std::string> errors;
    ASSERT_TRUE(assembleFiles({"macros.qxm", "prog.qxs"}, options, image, errors))
        << KitTest::joinLines(errors);
    std::string error;
    auto processor = Simulator::Processor::create(Simulator::ProcessorConfig(), error);
    ASSERT_TRUE(processor->load(image, error)) << error;
    EXPECT_EQ(processor->run(), Simulator::ProcessorState::Halted);
    EXPECT_EQ(processor->returnValue(), 22);
    EXPECT_FALSE(assembleFiles({"absent.qxs"}, options, image, errors));
    EXPECT_EQ(errors, std::vector<std::string>{"absent.qxs: cannot read the file"});
}

}  // namespace
