#include "assembler/InstructionHelp.h"

#include "isa/TevIsa.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(InstructionHelp, DescribesSyntaxEffectAndEncoding) {
    std::string text;
    ASSERT_TRUE(Assembler::describeInstruction("ldw", text));
    EXPECT_EQ(text,
              "ldw rd, imm(ra)\n"
              "  effect:   rd = the word at ra + imm\n"
              "  encoding: opcode 0x3c [63:56], rd [55:48], ra [47:40], 0 [39:32], imm [31:0]\n");
    ASSERT_TRUE(Assembler::describeInstruction("pelse", text));
    EXPECT_EQ(text.substr(0, 6), "pelse\n");
    EXPECT_FALSE(Assembler::describeInstruction("mov.w", text));
}

TEST(InstructionHelp, SummaryHasOneLinePerInstruction) {
    std::string summary = Assembler::instructionSummary();
    EXPECT_EQ(size_t(std::count(summary.begin(), summary.end(), '\n')), Simulator::instructionCount());
    EXPECT_NE(summary.find("rsum rd, pa             rd = sum of pa over the enabled PEs (0 if none)\n"),
              std::string::npos);
}

}  // namespace
