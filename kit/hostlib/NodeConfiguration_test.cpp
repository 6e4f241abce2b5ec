#include "hostlib/NodeConfiguration.h"

#include "configuration/Properties.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

using Configuration::Properties;
using HostLib::NodeConfiguration;

// One chip with a VORN node and a memory node; `node` adds lines to the
// VORN node's section.
std::string configuration(std::string const& node, char const* chipId = "0", char const* nodeId = "0") {
    return std::string("system.chips[] = chip0\nsystem.chip-ids[] = 0\nchip-id = ") + chipId +
           "\nnode-id = " + nodeId +
           "\n"
           "system.chip0.nodes[] = core0,mem0\nsystem.chip0.node-ids[] = 0,1\n"
           "system.chip0.core0.node-type = vorn\nsystem.chip0.mem0.node-type = memory\n" +
           node;
}

// The keys themselves are read by Simulator::readNodeDimensions (tested
// beside it); here: which section is read, and how failures are named.
TEST(NodeConfiguration, ReadsTheDefaultNodesSection) {
    struct Case {
        char const* name;
        std::string text;
        bool ok;
        uint32_t pes;
        std::string error;
    } const cases[] = {
        {"defaults for missing keys", configuration(""), true, 64, ""},
        {"the node's own keys", configuration("system.chip0.core0.total-number-pes = 16\n"), true, 16, ""},
        {"bad value named with the section", configuration("system.chip0.core0.total-number-pes = many\n"),
         false, 0, "system.chip0.core0: total-number-pes: 'many' is not a number"},
        {"invalid dimensions named with the section",
         configuration("system.chip0.core0.total-number-pes = 0\n"), false, 0,
         "system.chip0.core0: total-number-pes must be between 1 and 4096, not 0"},
        {"default node is memory", configuration("", "0", "1"), false, 0,
         "the default node system.chip0.mem0 is not a VORN node"},
        {"unknown chip", configuration("", "3", "0"), false, 0,
         "Could not find the current system.chip-ids value for 3"},
        {"no default node", "system.chips[] = chip0\n", false, 0, "Could not find the current chip-id value"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Properties properties;
        ASSERT_TRUE(properties.addPropertiesFromString(c.text, false));
        Simulator::ProcessorConfig config;
        std::string error;
        EXPECT_EQ(NodeConfiguration::readFrom(properties, config, error), c.ok);
        EXPECT_EQ(error, c.error);
        if (c.ok) {
            EXPECT_EQ(config.totalNumberPes, c.pes);
        }
    }
}

// Where the files are searched and how the user's file overlays the
// system's is tested with Configuration::loadConfigurationFiles.
TEST(NodeConfiguration, FindsTheFileAlongQxpathAndLetsHomeOverride) {
    TestSupport::TemporaryDirectory system;
    TestSupport::TemporaryDirectory home;
    ::setenv("QXPATH", system.path().c_str(), 1);
    ::setenv("HOME", home.path().c_str(), 1);
    Simulator::ProcessorConfig config;
    std::string source;
    std::string error;
    ASSERT_TRUE(NodeConfiguration::read(config, source, error)) << error;
    EXPECT_EQ(source, "built-in defaults");

    system.write("target_device.cfg", configuration("system.chip0.core0.total-number-pes = 8\n"));
    ASSERT_TRUE(NodeConfiguration::read(config, source, error)) << error;
    EXPECT_EQ(source, system.file("target_device.cfg"));
    EXPECT_EQ(config.totalNumberPes, 8u);

    home.write("target_device.cfg", "system.chip0.core0.total-number-pes = 4\n");
    ASSERT_TRUE(NodeConfiguration::read(config, source, error)) << error;
    EXPECT_EQ(config.totalNumberPes, 4u);

    system.write("target_device.cfg", configuration("broken line without divider\n"));
    EXPECT_FALSE(NodeConfiguration::read(config, source, error));
    EXPECT_EQ(error.rfind(system.file("target_device.cfg") + ": cannot read: Syntax error", 0), 0u) << error;
    ::unsetenv("QXPATH");
}

// Only the default node's keys are kept from a configuration of many
// nodes, with the user's file over it: chip 5 is "a.b" (a name with a
// dot), and the user's lists make node 1 the node core39, whose keys are
// not adjacent in the file.
TEST(NodeConfiguration, ReadsOnlyTheDefaultNodeOfALargeConfiguration) {
    TestSupport::TemporaryDirectory system;
    TestSupport::TemporaryDirectory home;
    ::setenv("QXPATH", system.path().c_str(), 1);
    ::setenv("HOME", home.path().c_str(), 1);
    std::string text = "system.chips[] = chip0,a.b\nsystem.chip-ids[] = 0,5\nchip-id = 5\nnode-id = 40\n";
    for (std::string chip : {"chip0", "a.b"}) {
        std::string names, ids;
        for (int node = 0; node < 64; ++node) {
            names += (node ? ",core" : "core") + std::to_string(node);
            ids += (node ? "," : "") + std::to_string(node);
            std::string const section = "system." + chip + ".core" + std::to_string(node) + ".";
            text += section + "node-type = vorn\n" + section +
                    "total-number-pes = " + std::to_string(node + 1) + "\n";
        }
        text += "system." + chip + ".nodes[] = " + names + "\nsystem." + chip + ".node-ids[] = " + ids + "\n";
    }
    text += "system.a.b.core39.mono-memory-size = 8192\n";
    system.write("target_device.cfg", text);
    home.write("target_device.cfg",
               "system.a.b.node-ids[] = 1,0\nsystem.a.b.nodes[] = core39,core0\nnode-id = 1\n");

    Simulator::ProcessorConfig config;
    std::string source;
    std::string error;
    ASSERT_TRUE(NodeConfiguration::read(config, source, error)) << error;
    EXPECT_EQ(config.totalNumberPes, 40u);
    EXPECT_EQ(config.monoMemorySize, 8192u);
    ::unsetenv("QXPATH");
}

// A file that cannot be configuration text ends the read with a reason
// instead of filling the memory; a FIFO planted under the name is not
// taken for the file (opening it would wait for a writer).
TEST(NodeConfiguration, InputThatIsNotConfigurationIsNeverReadWhole) {
    TestSupport::TemporaryDirectory system;
    ::setenv("QXPATH", system.path().c_str(), 1);
    ::setenv("HOME", system.file("home").c_str(), 1);
    std::string const path = system.file("target_device.cfg");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    Simulator::ProcessorConfig config;
    std::string source;
    std::string error;
    EXPECT_TRUE(NodeConfiguration::read(config, source, error)) << error;
    EXPECT_EQ(source, "built-in defaults");

    ::unlink(path.c_str());
    system.write("target_device.cfg", "");
    ASSERT_EQ(::truncate(path.c_str(), off_t(300) << 20), 0);  // 300 MB of NUL bytes, sparse
    EXPECT_FALSE(NodeConfiguration::read(config, source, error));
    EXPECT_EQ(error, path + ": cannot read: Failed to read from " + path + ": line 1 is longer than " +
                         std::to_string(Properties::s_max_line_length) + " bytes");
    ::unsetenv("QXPATH");
}

}  // namespace
