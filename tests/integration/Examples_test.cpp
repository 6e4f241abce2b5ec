// The sample programs in examples/ assemble and return what their
// comments promise.
#include "assembler/Assembler.h"
#include "simulator/Processor.h"
#include "tests/support/TestPrograms.h"

#include <gtest/gtest.h>

namespace {

int32_t runExample(std::string const& name,
                   Simulator::ProcessorConfig const& config = Simulator::ProcessorConfig()) {
    Qxx::QxxImage image;
    std::vector<std::string> errors;
    bool assembled = Assembler::assembleFiles({QX_SOURCE_DIR "/examples/" + name},
                                              Assembler::AssemblerOptions(), image, errors);
    EXPECT_TRUE(assembled) << KitTest::joinLines(errors);
    std::string error;
    auto processor = Simulator::Processor::create(config, error);
    EXPECT_TRUE(processor->load(image, error)) << error;
    Simulator::RunLimits limits;
    limits.maxCycles = 1000000;
    EXPECT_EQ(processor->run(limits), Simulator::ProcessorState::Halted)
        << name << ": " << processor->faultText();
    return processor->returnValue();
}

TEST(Examples, EachExampleReturnsItsValue) {
    struct Case {
        char const* file;
        int32_t value;
    } const cases[] = {
        {"constant.qxs", 42},   {"loop.qxs", 5050},       {"negative.qxs", -7},
        {"semaphores.qxs", 31}, {"reduction.qxs", 85344},
    };
    for (Case const& c : cases) EXPECT_EQ(runExample(c.file), c.value) << c.file;
}

TEST(Examples, TheReductionFollowsTheNumberOfPes) {
    Simulator::ProcessorConfig config;
    config.totalNumberPes = 16;
    EXPECT_EQ(runExample("reduction.qxs", config), 1240);
}

}  // namespace
