#include "isa/ProcessorConfig.h"

namespace Simulator {

namespace {

struct Range {
    char const* name;
    uint64_t value;
    uint64_t minimum;
    uint64_t maximum;
    uint64_t multipleOf;
};

bool checkRange(Range const& range, std::string& error) {
    if (range.value < range.minimum || range.value > range.maximum) {
        error = std::string(range.name) + " must be between " + std::to_string(range.minimum) + " and " +
                std::to_string(range.maximum) + ", not " + std::to_string(range.value);
        return false;
    }
    if (range.value % range.multipleOf != 0) {
        error = std::string(range.name) + " must be a multiple of " + std::to_string(range.multipleOf) +
                ", not " + std::to_string(range.value);
        return false;
    }
    return true;
}

}  // namespace

bool ProcessorConfig::validate(std::string& error) const {
    if (instructionSet != "tev") {
        error = "unsupported instruction set '" + instructionSet + "' (the simulator runs tev)";
        return false;
    }
    if (instructionSize != 8) {
        error = "unsupported instruction size " + std::to_string(instructionSize) +
                " (tev instructions are 8 bytes)";
        return false;
    }
    if (byteOrder != Qxx::ByteOrder::Little && byteOrder != Qxx::ByteOrder::Big) {
        error = "invalid byte order";
        return false;
    }
    Range const ranges[] = {
        {"total-number-pes", totalNumberPes, 1, 4096, 1},
        {"mono-memory-size", monoMemorySize, 64, 256u << 20, 4},
        {"mono-memory-start", monoMemoryStart, 0, 0xfffffffcu, 4},
        {"mono-registers-size", monoRegistersSize, 16, 1020, 4},
        {"mono-stack-size", monoStackSize, 8, monoMemorySize, 4},
        {"poly-memory-size", polyMemorySize, 4, 1u << 20, 4},
        {"poly-registers-size", polyRegistersSize, 4, 1024, 4},
        {"enable-stack-size", enableStackSize, 0, 1024, 1},
        {"number-semaphores", numberSemaphores, 0, 4096, 1},
        {"number-threads", numberThreads, 1, 256, 1},
        {"end of mono memory", uint64_t(monoMemoryStart) + monoMemorySize, 0, 0xfffffffcu, 4},
        {"total poly memory", uint64_t(totalNumberPes) * polyMemorySize, 0, 256u << 20, 1},
    };
    for (Range const& range : ranges)
        if (!checkRange(range, error)) return false;
    return true;
}

}  // namespace Simulator
