// Helpers of the kit's unit tests: assemble a source text and run it on a
// simulated processor.
#ifndef ASSEMBLER_TESTPROGRAMS_H
#define ASSEMBLER_TESTPROGRAMS_H

#include "assembler/Assembler.h"
#include "simulator/Processor.h"

#include <gtest/gtest.h>

#include <memory>
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

inline std::unique_ptr<Simulator::Processor> loadSource(
    std::string const& source, Simulator::ProcessorConfig const& config = Simulator::ProcessorConfig()) {
    std::string error;
    std::unique_ptr<Simulator::Processor> processor = Simulator::Processor::create(config, error);
    EXPECT_TRUE(processor) << error;
    Assembler::AssemblerOptions options;
    options.byteOrder = config.byteOrder;
    options.monoRegisters = config.monoRegisterCount();
    options.polyRegisters = config.polyRegisterCount();
    options.dataAddress = config.monoMemoryStart;
    EXPECT_TRUE(processor->load(assembleSource(source, options), error)) << error;
    return processor;
}

// Runs with a cycle limit, so that a broken program cannot hang a test.
inline std::unique_ptr<Simulator::Processor> runSource(
    std::string const& source, Simulator::ProcessorConfig const& config = Simulator::ProcessorConfig(),
    uint64_t maxCycles = 1000000) {
    std::unique_ptr<Simulator::Processor> processor = loadSource(source, config);
    Simulator::RunLimits limits;
    limits.maxCycles = maxCycles;
    processor->run(limits);
    return processor;
}

}  // namespace KitTest

#endif
