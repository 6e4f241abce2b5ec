// The worker-thread wrapper: start returns at once, wait sees the end,
// and nothing is left running when the runner goes away.
#include "simulator/ProcessorRunner.h"

#include "tests/support/TevTestPrograms.h"

#include <gtest/gtest.h>

namespace {

using namespace Simulator;
using KitTest::loadSource;

TEST(ProcessorRunner, RunsToTheEndAndRefusesASecondStartOfAnEndedProgram) {
    ProcessorRunner runner(loadSource("li r1, 9\n halt r1\n"));
    ProcessorState ended = ProcessorState::Empty;
    runner.setEndHandler([&](ProcessorState state) { ended = state; });
    std::string error;
    ASSERT_TRUE(runner.start(RunLimits(), error)) << error;
    EXPECT_EQ(runner.wait(), ProcessorState::Halted);
    EXPECT_EQ(ended, ProcessorState::Halted);
    EXPECT_EQ(runner.processor().returnValue(), 9);
    EXPECT_FALSE(runner.start(RunLimits(), error));
    EXPECT_EQ(error, "the program has already ended");
}

TEST(ProcessorRunner, HaltThenResumeThenDestroyWhileRunning) {
    ProcessorRunner runner(loadSource("loop: addi r1, r1, 1\n jmp loop\n"));
    std::string error;
    ASSERT_TRUE(runner.start(RunLimits(), error));
    EXPECT_FALSE(runner.start(RunLimits(), error));
    EXPECT_EQ(error, "a program is already running");
    runner.halt();
    EXPECT_EQ(runner.wait(), ProcessorState::Stopped);
    ASSERT_TRUE(runner.start(RunLimits(), error)) << error;
    ProcessorState state;
    EXPECT_FALSE(runner.waitFor(std::chrono::milliseconds(20), state));
    // Destroying the runner now must abort the endless loop, not hang.
}

}  // namespace
