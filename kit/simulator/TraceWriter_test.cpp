#include "simulator/TraceWriter.h"

#include "tests/support/TevTestPrograms.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

using namespace Simulator;

std::string readFile(std::string const& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(Trace, RecordsEveryInstructionWithWhatItWrote) {
    ProcessorConfig config;
    config.totalNumberPes = 4;
    auto processor = KitTest::loadSource(
        ".data\nv: .word 0\n.code\n"
        "main: li r1, 5\n call f\n li r2, v\n sth r1, 2(r2)\n pidx p1\n"
        " pif p1\n pendif\n halt r1\n"
        "f: addi r1, r1, 1\n ret\n",
        config);
    std::string path = ::testing::TempDir() + "trace_test.txt";
    std::string error;
    ASSERT_TRUE(processor->startTrace(path, error)) << error;
    EXPECT_EQ(processor->run(), ProcessorState::Halted);
    processor.reset();  // destruction completes and closes the trace
    EXPECT_EQ(readFile(path),
              "# tev trace: cycle, PC, instruction, what it wrote\n"
              "         0  00000000  li r1, 5                    r1=0x00000005\n"
              "         1  00000008  call f                      sp=0x0000fffc\n"
              "         2  00000040  addi r1, r1, 1              r1=0x00000006\n"
              "         3  00000048  ret                         sp=0x00010000\n"
              "         4  00000010  li r2, 0                    r2=0x00000000\n"
              "         5  00000018  sth r1, 2(r2)               [0x00000002]=0x0006\n"
              "         6  00000020  pidx p1                     p1={0,1,2,3}\n"
              "         7  00000028  pif p1                      enabled=3/4\n"
              "         8  00000030  pendif                      enabled=4/4\n"
              "         9  00000038  halt r1                     return value 6\n");
    std::remove(path.c_str());
}

TEST(Trace, StopsWhenAskedAndReportsAFault) {
    auto processor = KitTest::loadSource("nop\n div r1, r1, r1\n");
    std::string path = ::testing::TempDir() + "trace_fault.txt";
    std::string error;
    ASSERT_TRUE(processor->startTrace(path, error)) << error;
    EXPECT_EQ(processor->run(), ProcessorState::Faulted);
    processor->stopTrace();
    EXPECT_FALSE(processor->tracing());
    EXPECT_EQ(readFile(path),
              "# tev trace: cycle, PC, instruction, what it wrote\n"
              "         0  00000000  nop\n"
              "         1  00000008  div r1, r1, r1              fault: division by zero at PC 0x00000008\n");
    std::remove(path.c_str());
    EXPECT_FALSE(processor->startTrace("/nonexistent-dir/trace.txt", error));
    EXPECT_EQ(error, "cannot open trace file '/nonexistent-dir/trace.txt': No such file or directory");
}

}  // namespace
