#include "isa/NodeDimensions.h"

#include "configuration/Properties.h"

#include <cstdint>

namespace Simulator {

namespace {

struct NumberKey {
    char const* key;
    uint32_t ProcessorConfig::*field;
};

NumberKey const k_number_keys[] = {
    {"total-number-pes", &ProcessorConfig::totalNumberPes},
    {"mono-memory-size", &ProcessorConfig::monoMemorySize},
    {"mono-memory-start", &ProcessorConfig::monoMemoryStart},
    {"mono-registers-size", &ProcessorConfig::monoRegistersSize},
    {"mono-stack-size", &ProcessorConfig::monoStackSize},
    {"poly-memory-size", &ProcessorConfig::polyMemorySize},
    {"poly-registers-size", &ProcessorConfig::polyRegistersSize},
    {"enable-stack-size", &ProcessorConfig::enableStackSize},
    {"number-semaphores", &ProcessorConfig::numberSemaphores},
    {"number-threads", &ProcessorConfig::numberThreads},
    {"instruction-size", &ProcessorConfig::instructionSize},
};

bool readNumbers(Configuration::Properties& section, ProcessorConfig& config, std::string& error) {
    for (NumberKey const& number : k_number_keys) {
        std::string text;
        if (!section.get(text, number.key)) continue;
        unsigned long long value = 0;
        if (!Configuration::Properties::makeUint64(text, value) || value > UINT32_MAX) {
            error = std::string(number.key) + ": '" + text + "' is not a number";
            return false;
        }
        config.*number.field = uint32_t(value);
    }
    return true;
}

bool readNames(Configuration::Properties& section, ProcessorConfig& config, std::string& error) {
    std::string text;
    if (section.get(text, "endianness")) {
        if (text == "little") {
            config.byteOrder = Qxx::ByteOrder::Little;
        } else if (text == "big") {
            config.byteOrder = Qxx::ByteOrder::Big;
        } else {
            error = "endianness: '" + text + "' is neither little nor big";
            return false;
        }
    }
    if (section.get(text, "instruction-set")) config.instructionSet = text;
    return true;
}

}  // namespace

bool readNodeDimensions(Configuration::Properties& section, ProcessorConfig& config, std::string& error) {
    return readNumbers(section, config, error) && readNames(section, config, error);
}

}  // namespace Simulator
