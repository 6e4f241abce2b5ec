// Tests of the architecture configuration. Construction from a property
// set runs in the test process as long as the memory-proximity list is
// empty (only its pairs need the system model); the registry and the
// proximity translation need the process singletons and run in death-test
// children.
#include "sdksupport/ArchConfig.h"

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <sstream>

#include "configuration/Properties.h"
#include "generic/Exception.h"
#include "systemdefinition/SystemDefinitionExceptions.h"
#include "tests/support/SystemTestSupport.h"

using SDKSupport::ArchConfig;
using SystemTest::ChildChecks;
using SystemTest::exampleConfig;
using SystemTest::makeOptionSet;
using SystemTest::TempConfig;
using SystemTest::withLine;

namespace {

// A node's arch set with a different value for every number, so that a
// value read into the wrong field shows.
std::string const s_distinct =
    "node-type = vorn\n"
    "endianness = big\n"
    "total-number-pes = 101\n"
    "number-pio = 102\n"
    "number-sio = 103\n"
    "mono-stack-size = 104\n"
    "mono-heap-size = 105\n"
    "poly-stack-size = 106\n"
    "mono-memory-size = 107\n"
    "mono-memory-start = 108\n"
    "mono-registers-size = 109\n"
    "poly-memory-size = 110\n"
    "poly-registers-size = 111\n"
    "enable-stack-size = 112\n"
    "number-semaphores = 113\n"
    "number-threads = 114\n"
    "mono-alignment = 115\n"
    "poly-alignment = 116\n"
    "mono-stack-alignment = 117\n"
    "poly-stack-alignment = 118\n"
    "instruction-set =  osra \n"
    "instruction-size = 119\n"
    "register-natural-align = 120\n"
    "memory-natural-align = 121\n"
    "gsu-address = 0x7A\n"
    "PIO-flush-left[] = 123,124,999\n"
    "PIO-flush-right[;] = 4294967421;126\n"
    "name = target one\n"
    "memory-proximity[]=,\n";

// The architecture keys of core0 in the example configuration, with an
// empty memory-proximity list. Its value is a lone delimiter: a blank
// before it would be an element, and not an integer.
std::string exampleArch() {
    std::string text;
    std::string const prefix = "system.chip0.core0.";
    std::istringstream in(exampleConfig());
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) text += line.substr(prefix.size()) + "\n";
    }
    return withLine(text, "memory-proximity", "memory-proximity[]=,");
}

Configuration::Properties storeOf(std::string const& text) {
    Configuration::Properties store;
    store.addPropertiesFromString(text, false);
    return store;
}

// The text of the exception that construction throws, or "no exception".
std::string constructionFailure(Configuration::Properties const& store) {
    try {
        ArchConfig config(store);
    } catch (Generic::Exception* e) {
        std::unique_ptr<Generic::Exception> owned(e);
        return owned->toString();
    }
    return "no exception";
}

std::string const s_cannot = "Exception: Could not initialise the ArchConfig object: ";

}  // namespace

TEST(ArchConfig, ReadsEveryFieldFromItsOwnKey) {
    ArchConfig config(storeOf(s_distinct));
    struct Case {
        char const* getter;
        unsigned int value;
        unsigned int expected;
    } const cases[] = {
        {"NumberPolyProcessors", config.getNumberPolyProcessors(), 101},
        {"NumberConfiguredPolyProcessors", config.getNumberConfiguredPolyProcessors(), 101},
        {"NumberPio", config.getNumberPio(), 102},
        {"NumberSio", config.getNumberSio(), 103},
        {"MonoStackSize", config.getMonoStackSize(), 104},
        {"MonoHeapSize", config.getMonoHeapSize(), 105},
        {"PolyStackSize", config.getPolyStackSize(), 106},
        {"MonoRegisterSize", config.getMonoRegisterSize(), 109},
        {"PolyMemorySize", config.getPolyMemorySize(), 110},
        {"PolyRegisterSize", config.getPolyRegisterSize(), 111},
        {"EnableStackSize", config.getEnableStackSize(), 112},
        {"NumberSemaphores", config.getNumberSemaphores(), 113},
        {"NumberThreads", config.getNumberThreads(), 114},
        {"MonoAlignment", config.getMonoAlignment(), 115},
        {"PolyAlignment", config.getPolyAlignment(), 116},
        {"MonoStackAlignment", config.getMonoStackAlignment(), 117},
        {"PolyStackAlignment", config.getPolyStackAlignment(), 118},
        {"InstructionSize", config.getInstructionSize(), 119},
        {"RegNaturalAlign", config.getRegNaturalAlign(), 120},
        {"MemNaturalAlign", config.getMemNaturalAlign(), 121},
        {"GSUAddress", config.getGSUAddress(), 122},
    };
    for (Case const& c : cases) EXPECT_EQ(c.expected, c.value) << c.getter;

    unsigned int first = 0, second = 0;
    config.getPioFlushLeft(first, second);
    EXPECT_EQ(123u, first);
    EXPECT_EQ(124u, second);
    config.getPioFlushRight(first, second);
    EXPECT_EQ(125u, first) << "low 32 bits of 4294967421";
    EXPECT_EQ(126u, second);
    EXPECT_EQ(Generic::ENDIANNESS_BIG, config.getEndianness());
    EXPECT_EQ("osra", config.getTargetIset());
    EXPECT_EQ("target one", config.getTargetName());
    std::vector<int> proximity = {7};
    config.getMemoryProximity(proximity);
    EXPECT_TRUE(proximity.empty());
}

TEST(ArchConfig, ConfiguredPolyProcessorsComeFromTheirOwnKeyWhenPresent) {
    ArchConfig config(storeOf(exampleArch() + "number-configured-pes = 32\n"));
    EXPECT_EQ(32u, config.getNumberConfiguredPolyProcessors());
    EXPECT_EQ(64u, config.getNumberPolyProcessors());
}

TEST(ArchConfig, BrokenParameterMakesConstructionThrowWithTheReason) {
    struct Case {
        char const* key;   // the line to change
        char const* line;  // its replacement; empty removes it
        std::string reason;
    } const cases[] = {
        {"number-pio", "", "Property 'number-pio' has not been found"},
        {"endianness", "", "Property 'endianness' has not been found"},
        {"endianness", "endianness = Little", "Invalid endianness - valid values are little or big."},
        {"endianness", "endianness = middle", "Invalid endianness - valid values are little or big."},
        {"total-number-pes", "total-number-pes = 64k", "Property 'total-number-pes' is not an integer"},
        {"number-configured-pes", "number-configured-pes = all",
         "Property 'number-configured-pes' is not an integer"},
        {"poly-stack-alignment", "", "Property 'poly-stack-alignment' has not been found"},
        {"instruction-set", "", "Property 'instruction-set' has not been found"},
        {"gsu-address", "gsu-address = x4000", "Property 'gsu-address' is not an integer"},
        {"PIO-flush-left", "PIO-flush-left = 1,2", "The property: PIO-flush-left is not an array name."},
        {"PIO-flush-left", "PIO-flush-left[] = 1", "PIO-flush-left needs two values."},
        {"PIO-flush-right", "PIO-flush-right[] = 3,four", "Element 'four' is not an integer."},
        {"name", "", "Property 'name' has not been found"},
        {"memory-proximity", "memory-proximity[] = 0,1,2",
         "Invalid memory_proximity - needs to be a list of chip ID, node ID pairs."},
        {"memory-proximity", "memory-proximity = 0,1",
         "The property: memory-proximity is not an array name."},
    };
    for (Case const& c : cases) {
        EXPECT_EQ(s_cannot + c.reason, constructionFailure(storeOf(withLine(exampleArch(), c.key, c.line))))
            << "changed line: '" << c.key << "' -> '" << c.line << "'";
    }
}

TEST(ArchConfig, PropertySetThatIsNotReadyIsRejected) {
    Configuration::Properties unread("/nonexistent/qx_arch.cfg");
    EXPECT_EQ(s_cannot + "The architecture properties are missing or not ready.",
              constructionFailure(unread));
}

TEST(ArchConfig, DisplayWritesTwentyFiveLabelledLines) {
    ArchConfig config(storeOf(exampleArch()));
    std::ostringstream shown;
    EXPECT_EQ(&shown, &config.display(shown));
    EXPECT_EQ(
        "number of poly processors 64\n"
        "number of bytes in mono memory (each mem loc is 1 byte) 65536\n"
        "memory starts here 0\n"
        "number of registers, each one is 1 byte 128\n"
        "number of bytes in poly memory (each mem loc is 1 byte) 4096\n"
        "number of registers, each one is 1 byte 128\n"
        "number of entries in enable stack 32\n"
        "number of semaphores 8\n"
        "number of threads available 4\n"
        "mono alignment 1 = 8 bit, 2 = 16 bit 2\n"
        "poly alignment 1 = 8 bit, 2 = 16 bit 2\n"
        "number of pio channels 1\n"
        "number of sio channels 1\n"
        "size of mono stack  4096\n"
        "size of mono heap 8192\n"
        "size of poly stack  256\n"
        "the size of the assembly instructions 8\n"
        "naturally align registers 1\n"
        "naturally align memory 1\n"
        "mono stack alignment 8\n"
        "poly stack alignment 8\n"
        "GSU address 16384\n"
        "Endianness little\n"
        "Name of the target demo\n"
        "Instruction set name iset0\n",
        shown.str());
}

TEST(ArchConfig, DisplayShowsBigOnlyForBigEndianness) {
    ArchConfig config(storeOf(exampleArch()));
    struct Case {
        Generic::Endianness endianness;
        char const* line;
    } const cases[] = {
        {Generic::ENDIANNESS_BIG, "Endianness big\n"},
        {Generic::ENDIANNESS_LITTLE, "Endianness little\n"},
        {Generic::ENDIANNESS_NOT_SET, "Endianness little\n"},
    };
    for (Case const& c : cases) {
        config.setEndianness(c.endianness);
        std::ostringstream shown;
        config.display(shown);
        EXPECT_NE(std::string::npos, shown.str().find(c.line)) << c.endianness;
    }
}

TEST(ArchConfig, DeprecatedGettersPrintTheirNoticeOnEveryCall) {
    ArchConfig config(storeOf(exampleArch()));
    std::ostringstream out;
    std::streambuf* saved = std::cout.rdbuf(out.rdbuf());
    unsigned int size = config.getMonoMemorySize();
    size += config.getMonoMemorySize();
    unsigned int start = config.getMonoMemoryStart();
    std::cout.rdbuf(saved);
    EXPECT_EQ(2 * 65536u, size);
    EXPECT_EQ(0u, start);
    EXPECT_EQ(
        "ArchConfig::getMonoMemorySize() is deprecated - use MemoryInfo instead.\n"
        "ArchConfig::getMonoMemorySize() is deprecated - use MemoryInfo instead.\n"
        "ArchConfig::getMonoMemoryStart() is deprecated - use MemoryInfo instead.\n",
        out.str());
}

TEST(ArchConfigRegistry, DefaultNodeIsBuiltOnceAndRegisteredUnderItsUniqueID) {
    TempConfig config(exampleConfig());
    EXPECT_IN_CHILD({
        makeOptionSet(config.path());
        ChildChecks check;
        ArchConfig* first = ArchConfig::getInstance();
        check.equal(first, ArchConfig::getInstance(), "second getInstance()");
        check.equal(first, ArchConfig::getInstance(0, 0), "getInstance(0, 0)");
        check.equal(64u, first->getNumberConfiguredPolyProcessors(), "configured PEs copied");
        check.equal(16384u, first->getGSUAddress(), "GSU address");
        std::vector<int> proximity;
        first->getMemoryProximity(proximity);
        check.equal(std::vector<int>{1}, proximity, "memory proximity of chip 0 node 1");
        std::unique_ptr<ArchConfig> unregistered = ArchConfig::createInstance(0, 0);
        check.equal(true, unregistered.get() != first, "createInstance makes a new object");
        check.finish();
    });
}

TEST(ArchConfigRegistry, MemoryProximityPairsBecomeUniqueNodeIDs) {
    std::string text = withLine(exampleConfig(), "system.node-id-size", "system.node-id-size = 8");
    text = withLine(text, "system.chip0.core0.memory-proximity",
                    "system.chip0.core0.memory-proximity[] = 1,2,0,0x1F");
    TempConfig config(text);
    EXPECT_IN_CHILD({
        makeOptionSet(config.path());
        ChildChecks check;
        std::vector<int> proximity;
        ArchConfig::getInstance()->getMemoryProximity(proximity);
        check.equal(std::vector<int>{0x102, 0x1F}, proximity, "unique node IDs");
        check.finish();
    });
}

TEST(ArchConfigRegistry, UnknownNodeEndsTheProcessWithStatus255) {
    TempConfig config(exampleConfig());
    EXPECT_EXIT(
        {
            makeOptionSet(config.path());
            ArchConfig::getInstance(0, 5);
        },
        ::testing::ExitedWithCode(255),
        "^ERROR: InvalidAttributeException: The node ID 5 is not known\\.\n$");
}

TEST(ArchConfigRegistry, BrokenArchitectureOfDefaultNodeEndsTheProcessWithStatus255) {
    TempConfig config(withLine(exampleConfig(), "system.chip0.core0.number-pio", ""));
    EXPECT_EXIT(
        {
            makeOptionSet(config.path());
            ArchConfig::getInstance();
        },
        ::testing::ExitedWithCode(255),
        "^ERROR: Exception: Could not initialise the ArchConfig object: Property 'number-pio' has not been "
        "found\n$");
}

TEST(ArchConfigRegistry, SystemThatCannotBeBuiltReachesTheCaller) {
    TempConfig config(withLine(exampleConfig(), "system.chips", "system.chips = chip0"));
    EXPECT_IN_CHILD({
        makeOptionSet(config.path());
        ChildChecks check;
        check.throws(
            [] { ArchConfig::getInstance(); }, typeid(SystemDefinition::InvalidSystemConfigurationException),
            "InvalidSystemConfigurationException: Failed to find system.chips attribute.", "getInstance()");
        check.finish();
    });
}
