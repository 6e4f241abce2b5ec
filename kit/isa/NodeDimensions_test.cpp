#include "isa/NodeDimensions.h"

#include "configuration/Properties.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Simulator::ProcessorConfig;

// Reads one section text over the defaults, then validates.
bool read(std::string const& text, ProcessorConfig& config, std::string& error) {
    Configuration::Properties section;
    if (!section.addPropertiesFromString(text, false)) return false;
    return Simulator::readNodeDimensions(section, config, error) && config.validate(error);
}

TEST(NodeDimensions, EachKeySetsItsDimension) {
    struct Case {
        char const* text;
        uint32_t ProcessorConfig::*field;
        uint32_t value;
    } const cases[] = {
        {"total-number-pes = 16", &ProcessorConfig::totalNumberPes, 16},
        {"mono-memory-size = 0x8000", &ProcessorConfig::monoMemorySize, 0x8000},
        {"mono-memory-start = 256", &ProcessorConfig::monoMemoryStart, 256},
        {"mono-registers-size = 64", &ProcessorConfig::monoRegistersSize, 64},
        {"mono-stack-size = 1024", &ProcessorConfig::monoStackSize, 1024},
        {"poly-memory-size = 2048", &ProcessorConfig::polyMemorySize, 2048},
        {"poly-registers-size = 256", &ProcessorConfig::polyRegistersSize, 256},
        {"enable-stack-size = 8", &ProcessorConfig::enableStackSize, 8},
        {"number-semaphores = 3", &ProcessorConfig::numberSemaphores, 3},
        {"number-threads = 2", &ProcessorConfig::numberThreads, 2},
        {"instruction-size = 8", &ProcessorConfig::instructionSize, 8},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        ProcessorConfig config;
        ProcessorConfig const defaults;
        std::string error;
        ASSERT_TRUE(read(c.text, config, error)) << error;
        EXPECT_EQ(config.*c.field, c.value);
        // No other dimension moves.
        config.*c.field = defaults.*c.field;
        EXPECT_EQ(config.totalNumberPes, defaults.totalNumberPes);
        EXPECT_EQ(config.monoMemorySize, defaults.monoMemorySize);
        EXPECT_EQ(config.polyMemorySize, defaults.polyMemorySize);
        EXPECT_EQ(config.numberThreads, defaults.numberThreads);
    }
}

TEST(NodeDimensions, NamesAndErrors) {
    struct Case {
        char const* name;
        char const* text;
        bool ok;
        Qxx::ByteOrder order;
        std::string error;
    } const cases[] = {
        {"no keys keep the defaults", "", true, Qxx::ByteOrder::Little, ""},
        {"big endian", "endianness = big", true, Qxx::ByteOrder::Big, ""},
        {"little endian", "endianness = little", true, Qxx::ByteOrder::Little, ""},
        {"bad endianness", "endianness = Little", false, Qxx::ByteOrder::Little,
         "endianness: 'Little' is neither little nor big"},
        {"not a number", "total-number-pes = many", false, Qxx::ByteOrder::Little,
         "total-number-pes: 'many' is not a number"},
        {"wider than 32 bits", "mono-memory-size = 0x100000000", false, Qxx::ByteOrder::Little,
         "mono-memory-size: '0x100000000' is not a number"},
        {"out of range", "total-number-pes = 0", false, Qxx::ByteOrder::Little,
         "total-number-pes must be between 1 and 4096, not 0"},
        {"stack larger than memory", "mono-memory-size = 1024\nmono-stack-size = 2048", false,
         Qxx::ByteOrder::Little, "mono-stack-size must be between 8 and 1024, not 2048"},
        {"other instruction set", "instruction-set = iset0", false, Qxx::ByteOrder::Little,
         "unsupported instruction set 'iset0' (the simulator runs tev)"},
        {"other instruction size", "instruction-size = 4", false, Qxx::ByteOrder::Little,
         "unsupported instruction size 4 (tev instructions are 8 bytes)"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessorConfig config;
        std::string error;
        EXPECT_EQ(read(c.text, config, error), c.ok);
        EXPECT_EQ(error, c.error);
        if (c.ok) {
            EXPECT_EQ(config.byteOrder, c.order);
        }
    }
}

}  // namespace
