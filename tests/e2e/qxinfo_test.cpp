// End-to-end tests of qxinfo: the built tool runs with a temporary
// directory as HOME and working directory, a configuration along QXPATH,
// the reference host library found through the run path and a temporary
// QX_DEVICE_DIR as the card's device directory. Standard output, standard
// error and the exit status are compared exactly.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/KitRuns.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TestTexts.h"

using TestSupport::Subprocess;
using TestSupport::TemporaryDirectory;
using namespace std::chrono_literals;

namespace {

std::string const k_noCard =
    "Cards\n"
    "  host library:     reference host library 1.0 (direct)\n"
    "  cards found:      0\n"
    "  first card:       no accelerator card found: no device node DEVICES/orvald*\n";

// The default node of examples/target_device.cfg and of the test
// configuration, apart from the values named by NAME and SEMAPHORES.
std::string defaultNode(std::string const& name, unsigned semaphores) {
    return "\n"
           "Default node system.chip0.core0 (chip 0, node 0)\n"
           "  name                     " +
           name +
           "\n"
           "  instruction-set          tev\n"
           "  endianness               little\n"
           "  total-number-pes         64\n"
           "  mono-registers-size      128\n"
           "  poly-memory-size         4096\n"
           "  poly-registers-size      128\n"
           "  mono-stack-size          4096\n"
           "  mono-heap-size           8192\n"
           "  poly-stack-size          256\n"
           "  enable-stack-size        32\n"
           "  number-semaphores        " +
           std::to_string(semaphores) +
           "\n"
           "  number-threads           4\n"
           "  number-pio               1\n"
           "  number-sio               1\n"
           "  instruction-size         8\n"
           "  mono-alignment           2\n"
           "  poly-alignment           2\n"
           "  mono-stack-alignment     8\n"
           "  poly-stack-alignment     8\n"
           "  register-natural-align   1\n"
           "  memory-natural-align     1\n"
           "  gsu-address              0x4000\n"
           "  PIO-flush-left           1,2\n"
           "  PIO-flush-right          3,4\n"
           "  memory-proximity         1\n";
}

std::string const k_oneChipSystem =
    "\n"
    "System\n"
    "  chips:            1\n"
    "  chip-id size:     4 bits\n"
    "  node-id size:     4 bits\n"
    "  interrupt target: 0\n"
    "  default node:     chip 0, node 0\n"
    "  chip 0 (chip0)\n"
    "    node   name       type       unique ID\n"
    "    0      core0      vorn       0x0\n"
    "    1      mem0       memory     0x1\n";

std::string replaceAll(std::string text, std::string const& from, std::string const& to) {
    for (std::string::size_type at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The lines of text that contain part.
std::string linesWith(std::string const& text, std::string const& part) {
    std::string result;
    std::string::size_type begin = 0;
    while (begin < text.size()) {
        std::string::size_type const end = text.find('\n', begin);
        std::string const line = text.substr(begin, end - begin);
        if (line.find(part) != std::string::npos) result += line + "\n";
        begin = end == std::string::npos ? text.size() : end + 1;
    }
    return result;
}

class Qxinfo : public ::testing::Test {
protected:
    Qxinfo() { m_directory.write("devices/.keep", ""); }

    Subprocess::Result qxinfo(std::string const& qxpath,
                              std::vector<std::string> const& arguments = {}) const {
        Subprocess run = TestSupport::kitTool(QXINFO_PATH, m_directory, qxpath, arguments);
        run.argv0("qxinfo").env("QX_DEVICE_DIR", "devices");
        return run.run();
    }

    // The device directory is relative to the working directory, so the
    // texts that name it are the same in every run.
    std::string noCard() const { return replaceAll(k_noCard, "DEVICES", "devices"); }

    TemporaryDirectory m_directory;
};

TEST_F(Qxinfo, ReportsTheBundledConfiguration) {
    Subprocess::Result const result = qxinfo(QX_KIT_EXAMPLES_DIR);
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.out, noCard() + k_oneChipSystem + defaultNode("core0", 16));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 0);
}

TEST_F(Qxinfo, ReportsAFoundCardThatTheReferenceLibraryCannotDrive) {
    m_directory.write("devices/orvald0", "");
    m_directory.write("cfg/target_device.cfg", TestSupport::k_systemConfiguration);
    Subprocess::Result const result = qxinfo(m_directory.file("cfg"));
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.out,
              "Cards\n"
              "  host library:     reference host library 1.0 (direct)\n"
              "  cards found:      1\n"
              "  first card:       accelerator card not supported by the reference host library: device node "
              "devices/orvald0 found\n" +
                  k_oneChipSystem + defaultNode("demo", 8));
    EXPECT_EQ(result.err,
              "qxapi: connect: accelerator card not supported by the reference host library: device node "
              "devices/orvald0 found, but only the simulator can be used with this library\n");
    EXPECT_EQ(result.exit_status, 0);
}

TEST_F(Qxinfo, ReportsEveryChipAndTheChosenDefaultNode) {
    std::string configuration = TestSupport::k_systemConfiguration;
    configuration = replaceAll(configuration, "system.chips[] = chip0\n", "system.chips[] = chip0,chip1\n");
    configuration = replaceAll(configuration, "system.chip-ids[] = 0\n", "system.chip-ids[] = 0,2\n");
    configuration = replaceAll(configuration, "system.chip-id-size = 4\n", "system.chip-id-size = 2\n");
    configuration = replaceAll(configuration, "system.node-id-size = 4\n", "system.node-id-size = 8\n");
    configuration = replaceAll(configuration, "chip-id = 0\nnode-id = 0\n", "chip-id = 2\nnode-id = 5\n");
    configuration +=
        "system.chip1.nodes[] = io,core1\n"
        "system.chip1.node-ids[] = 3,5\n"
        "system.chip1.io.node-type = streaming\n" +
        replaceAll(linesWith(TestSupport::k_systemConfiguration, "system.chip0.core0."),
                   "system.chip0.core0.", "system.chip1.core1.");
    m_directory.write("cfg/target_device.cfg", configuration);
    Subprocess::Result const result = qxinfo(m_directory.file("cfg"));
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.out, noCard() +
                              "\n"
                              "System\n"
                              "  chips:            2\n"
                              "  chip-id size:     2 bits\n"
                              "  node-id size:     8 bits\n"
                              "  interrupt target: 0\n"
                              "  default node:     chip 2, node 5\n"
                              "  chip 0 (chip0)\n"
                              "    node   name       type       unique ID\n"
                              "    0      core0      vorn       0x0\n"
                              "    1      mem0       memory     0x1\n"
                              "  chip 2 (chip1)\n"
                              "    node   name       type       unique ID\n"
                              "    3      io         streaming  0x203\n"
                              "    5      core1      vorn       0x205\n" +
                              replaceAll(defaultNode("demo", 8), "system.chip0.core0 (chip 0, node 0)",
                                         "system.chip1.core1 (chip 2, node 5)"));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 0);
}

TEST_F(Qxinfo, FailuresEndWithTheirMessageAndStatus) {
    std::string const fatal = "Fatal Error: Could not load the system configuration file.\n";
    std::string const advice =
        "The config file: 'target_device.cfg' must be present in the QXPATH\n"
        "Or the --useconfig <config file> option must be used\n";
    std::string const base = TestSupport::k_systemConfiguration;
    struct Case {
        char const* name;
        std::string configuration;  // empty: none
        std::vector<std::string> arguments;
        std::string out;
        std::string err;
        int status;
    } const cases[] = {
        {"no configuration", "", {}, advice, fatal + "\tNo system config filename found.\n", 1},
        {"unknown node type",
         replaceAll(base, "mem0.node-type = memory", "mem0.node-type = disk"),
         {},
         "Error: the configured system cannot be built: InvalidSystemConfigurationException: The node-type "
         "disk "
         "is not known\n",
         "",
         1},
        {"broken architecture",
         replaceAll(base, "system.chip0.core0.total-number-pes = 64\n", ""),
         {},
         "",
         "ERROR: Exception: Could not initialise the ArchConfig object: Property 'total-number-pes' has not "
         "been "
         "found\n",
         255},
        {"unexpected argument",
         base,
         {"extra"},
         "",
         "qxinfo: unexpected argument: extra\nUse -h for a list of available options.\n",
         1},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(m_directory.file("cfg/target_device.cfg").c_str());
        if (!c.configuration.empty()) m_directory.write("cfg/target_device.cfg", c.configuration);
        Subprocess::Result const result = qxinfo(m_directory.file("cfg"), c.arguments);
        ASSERT_EQ(result.error, "");
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.exit_status, c.status);
    }
}

TEST_F(Qxinfo, HelpListsTheCommonOptions) {
    m_directory.write("cfg/target_device.cfg", TestSupport::k_systemConfiguration);
    Subprocess::Result const result = qxinfo(m_directory.file("cfg"), {"--help"});
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.out,
              "\n"
              "Usage: qxinfo [option]*\n"
              "\n"
              "Where one or more of the following options may be given:\n"
              "\n"
              "--help     (-h) Outputs this message\n"
              "--output   (-o)\n"
              "--verbose  (-v) Switch on verbose display\n"
              "--version  (-V) Display version string\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
