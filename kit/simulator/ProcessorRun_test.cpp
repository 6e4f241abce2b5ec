// Running on a thread of its own: stop requests, semaphores shared with
// the host, and the guarantee that nothing hangs.
#include "simulator/Processor.h"

#include "tests/support/TevTestPrograms.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace Simulator;
using KitTest::loadSource;

TEST(ProcessorRun, HaltRequestStopsAnEndlessLoopAndRunResumesIt) {
    auto processor = loadSource("loop: addi r1, r1, 1\n jmp loop\n");
    std::thread runner([&] { processor->run(); });
    while (processor->state() != ProcessorState::Running) {
        std::this_thread::yield();
    }
    processor->requestStop(StopRequest::Halt);
    runner.join();
    EXPECT_EQ(processor->state(), ProcessorState::Stopped);
    uint64_t cycles = processor->cycles();

    std::thread resumed([&] { processor->run(); });
    processor->requestStop(StopRequest::Abort);
    resumed.join();
    EXPECT_EQ(processor->state(), ProcessorState::Faulted);
    EXPECT_GE(processor->cycles(), cycles);
    EXPECT_EQ(processor->faultText().rfind("aborted by the host at PC 0x0000000", 0), 0u)
        << processor->faultText();
}

TEST(ProcessorRun, StopRequestedBeforeRunTakesEffectThenAndLoadDropsIt) {
    auto processor = loadSource("li r1, 1\n halt r1\n");
    processor->requestStop(StopRequest::Halt);
    EXPECT_EQ(processor->run(), ProcessorState::Stopped);
    EXPECT_EQ(processor->cycles(), 0u);
    EXPECT_EQ(processor->run(), ProcessorState::Halted);
    EXPECT_EQ(processor->returnValue(), 1);
    EXPECT_EQ(processor->run(), ProcessorState::Halted);  // an ended program stays ended
}

TEST(ProcessorRun, ProgramWaitsForTheHostAndTheHostForTheProgram) {
    auto processor = loadSource("wait 0\n li r1, 7\n signal 1\n wait 0\n halt r1\n");
    std::thread runner([&] { processor->run(); });
    std::string error;
    ASSERT_TRUE(processor->semaphoreSignal(0, error));
    EXPECT_EQ(processor->semaphoreWait(1), HostWait::Acquired);
    ASSERT_TRUE(processor->semaphoreSignal(0, error));
    runner.join();
    EXPECT_EQ(processor->state(), ProcessorState::Halted);
    EXPECT_EQ(processor->returnValue(), 7);
    EXPECT_EQ(processor->semaphoreWait(1), HostWait::Ended);
    EXPECT_EQ(processor->semaphoreWait(16), HostWait::NoSuchSemaphore);
    EXPECT_FALSE(processor->semaphoreSignal(16, error));
    EXPECT_EQ(error, "no semaphore 16 (the processor has 16)");
}

TEST(ProcessorRun, AProgramBlockedOnASemaphoreCanBeStoppedAndResumed) {
    auto processor = loadSource("wait 3\n li r1, 5\n halt r1\n");
    std::thread runner([&] { processor->run(); });
    processor->requestStop(StopRequest::Halt);
    runner.join();
    ASSERT_EQ(processor->state(), ProcessorState::Stopped);
    EXPECT_EQ(processor->pcAddress(), 0u);
    std::string error;
    ASSERT_TRUE(processor->semaphoreSignal(3, error));
    EXPECT_EQ(processor->run(), ProcessorState::Halted);
    EXPECT_EQ(processor->returnValue(), 5);
    EXPECT_EQ(processor->cycles(), 3u);  // the blocked attempts did not count
}

TEST(ProcessorRun, HostWaitEndsWhenTheProgramEndsWithoutSignalling) {
    auto processor = loadSource("li r1, 100000\nloop: addi r1, r1, -1\n bnez r1, loop\n halt r1\n");
    std::thread runner([&] { processor->run(); });
    EXPECT_EQ(processor->semaphoreWait(2), HostWait::Ended);
    runner.join();
    EXPECT_EQ(processor->state(), ProcessorState::Halted);
}

TEST(ProcessorRun, LoadAndResetAreRefusedWhileRunning) {
    auto processor = loadSource("wait 0\n halt r0\n");
    std::thread runner([&] { processor->run(); });
    while (processor->state() != ProcessorState::Running) {
        std::this_thread::yield();
    }
    std::string error;
    EXPECT_FALSE(processor->reset(error));
    EXPECT_EQ(error, "cannot reset the processor while a program runs");
    EXPECT_FALSE(processor->load(KitTest::buildProgram("halt r0\n"), error));
    EXPECT_EQ(error, "cannot load a program while one runs");
    processor->semaphoreSignal(0, error);
    runner.join();
    EXPECT_TRUE(processor->reset(error));
    EXPECT_EQ(processor->state(), ProcessorState::Empty);
}

}  // namespace
