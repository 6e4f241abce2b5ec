// Finding and reading the configuration files, the configuration failure
// report, and the system prefix of the current chip and node.
#include <gtest/gtest.h>

#include "configuration/CommandOptions.h"
#include "configuration/CommandOptions_test.h"
#include "configuration/Options.h"

using namespace Configuration;
using namespace CommandOptionsTest;
using ::testing::ExitedWithCode;

namespace {

std::string const k_advice =
    "The config file: 'target_device.cfg' must be present in the QXPATH\n"
    "Or the --useconfig <config file> option must be used\n";

}  // namespace

TEST(ConfigurationFileSearch, UseconfigThenQxpathWithTheHomeFileLayeredOver) {
    struct Case {
        char const* name;
        bool useconfig, qxpath, home;
        char const* expected;  // "which" and whether the home-only key is seen
    } const cases[] = {
        {"--useconfig alone counts", true, true, true, "given homeonly=0\n"},
        {"QXPATH directory", false, true, false, "qxpath homeonly=0\n"},
        {"HOME file over QXPATH file", false, true, true, "home homeonly=1\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        std::string const given = dir.write("given.cfg", "which = given\n");
        dir.write("a/target_device.cfg", "which = qxpath\n");
        dir.write("home/target_device.cfg", "which = home\nhomeonly = yes\n");
        EXPECT_EXIT(
            runInChild(
                dir,
                [&] {
                    if (c.qxpath) setenv("QXPATH", (dir.path("empty") + ":" + dir.path("a")).c_str(), 1);
                    if (c.home) setenv("HOME", dir.path("home").c_str(), 1);
                    Argv args = c.useconfig ? Argv{"tool", "--useconfig", given.c_str()} : Argv{"tool"};
                    CommandOptions& options =
                        *CommandOptions::makeCommandOptions(args.argc(), args.argv(), nullptr, nullptr);
                    std::string which, homeOnly;
                    options.get(which, "which");
                    std::cout << which << " homeonly=" << options.get(homeOnly, "homeonly") << "\n";
                }),
            ExitedWithCode(0), "");
        EXPECT_EQ(dir.out(), c.expected);
        EXPECT_EQ(dir.err(), "");
    }
}

TEST(ConfigurationFileSearch, UnusableSystemConfigurationIsReportedAndEndsWithStatus1) {
    ScratchDir dir;
    std::string const missing = dir.path("missing.cfg");
    std::string const broken = dir.write("broken.cfg", "# fine\njust text\n");
    struct Case {
        char const* name;
        char const* useconfig;
        std::string errors;
    } const cases[] = {
        {"nothing found", nullptr,
         "Fatal Error: Could not load the system configuration file.\n\tNo system config filename found.\n"},
        {"file does not open", missing.c_str(),
         "Fatal Error: Could not load the system configuration file.\n\t'" + missing +
             "'\n\tSystem properties not ready: 'Failed to read from " + missing + "'\n"},
        {"syntax error", broken.c_str(),
         "Fatal Error: Could not load the system configuration file.\n\t'" + broken +
             "'\n\tSystem properties not ready: 'Syntax error at line number 2 in file: " + broken +
             "\n\t'just text''\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            runInChild(dir,
                       [&] {
                           Argv args = c.useconfig ? Argv{"tool", "--useconfig", c.useconfig} : Argv{"tool"};
                           CommandOptions::makeCommandOptions(args.argc(), args.argv(), nullptr, nullptr);
                       }),
            ExitedWithCode(1), "");
        EXPECT_EQ(dir.err(), c.errors);
        EXPECT_EQ(dir.out(), k_advice);
    }
}

TEST(SystemPrefix, ChipAndNodeNamesFollowTheCurrentIDs) {
    std::string const worked =
        "chip-id = 7\nnode-id = 3\nsystem.chip-ids = 4,7\nsystem.chips = chip0,chip1\n"
        "system.chip1.node-ids = 3,0\nsystem.chip1.nodes = core0,mem0\n"
        "system.chip0.node-ids = 5,3\nsystem.chip0.nodes = dsp0,core9\n";
    struct Case {
        char const* name;
        std::string config;
        std::vector<char const*> arguments;
        char const* prefix;  // printed result
        char const* errors;
    } const cases[] = {
        {"worked example", worked, {"tool"}, "1 system.chip1.core0.\n", ""},
        {"chip from the command line", worked, {"tool", "--chip-id", "4"}, "1 system.chip0.core9.\n", ""},
        {"last equal ID wins",
         "chip-id = 1\nnode-id = 0\nsystem.chip-ids = 1,1\nsystem.chips = chip0,chip1\n"
         "system.chip1.node-ids = 0\nsystem.chip1.nodes = n\n",
         {"tool"},
         "1 system.chip1.n.\n",
         ""},
        {"pieces are not trimmed",
         "chip-id = 1\nsystem.chip-ids = 0, 1\n",
         {"tool"},
         "0 system.\n",
         "Could not find the current system.chip-ids value for 1\n"},
        {"no current chip",
         "system.chip-ids = 0\n",
         {"tool"},
         "0 system.\n",
         "Could not find the current chip-id value\n"},
        {"no chip IDs",
         "chip-id = 0\n",
         {"tool"},
         "0 system.\n",
         "Could not find the current system.chip-ids value\n"},
        {"no chip names",
         "chip-id = 0\nsystem.chip-ids = 0\n",
         {"tool"},
         "0 system.\n",
         "Could not find the current system.chips value for 0\n"},
        {"names shorter than IDs",
         "chip-id = 1\nsystem.chip-ids = 0,1\nsystem.chips = chip0\n",
         {"tool"},
         "0 system..\n",
         "Could not find the current node-id value\n"},
        {"node not listed",
         "chip-id = 0\nnode-id = 2\nsystem.chip-ids = 0\nsystem.chips = c\n"
         "system.c.node-ids = 0\nsystem.c.nodes = n\n",
         {"tool"},
         "0 system.c.\n",
         "Could not find the current system.c.node-ids value for 2\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        dir.write("target_device.cfg", c.config);
        EXPECT_EXIT(
            runInChild(dir,
                       [&] {
                           Argv args(c.arguments);
                           std::vector<Options**> lists{CommandOptions::s_arch_config_command_line_args};
                           CommandOptions& options =
                               *CommandOptions::makeCommandOptions(args.argc(), args.argv(), &lists, nullptr);
                           std::string prefix;
                           bool made = options.makeSystemPrefix(prefix);
                           std::cout << made << " " << prefix << "\n";
                       }),
            ExitedWithCode(0), "");
        EXPECT_EQ(dir.out(), c.prefix);
        EXPECT_EQ(dir.err(), c.errors);
    }
}

TEST(SystemPrefix, GetWithSystemPrefixReadsTheCurrentNodesKey) {
    ScratchDir dir;
    dir.write("target_device.cfg", k_small_system + "system.chip0.core0.size = 64\n");
    EXPECT_EXIT(
        runInChild(dir,
                   [&] {
                       CommandOptions& options = *CommandOptions::getCommandOptions();
                       std::string value = "untouched";
                       std::cout << options.getWithSystemPrefix(value, "")
                                 << options.getWithSystemPrefix(value, nullptr) << " " << value << "\n";
                       std::cout << options.getWithSystemPrefix(value, "size") << " " << value << "\n";
                   }),
        ExitedWithCode(0), "");
    EXPECT_EQ(dir.out(), "00 untouched\n1 64\n");
    EXPECT_EQ(dir.err(), "");
}

TEST(SystemPrefix, IndexAndIndexedValueSkipEmptyPieces) {
    struct Case {
        char const* list;
        char const* item;
        int index;
        int position;
        char const* value;
    } const cases[] = {
        {"", "a", -1, 0, ""},     {"a,b,c", "c", 2, 1, "b"}, {",a,,b,", "b", 1, 1, "b"},
        {"b,a,b", "b", 2, 3, ""}, {"a,b", "B", -1, -1, ""},  {"a, b", "b", -1, 1, " b"},
    };
    ScratchDir dir;
    dir.write("target_device.cfg", "");
    EXPECT_EXIT(runInChild(dir,
                           [&] {
                               CommandOptions& options = *CommandOptions::getCommandOptions();
                               for (Case const& c : cases) {
                                   std::string list = c.list, item = c.item;
                                   std::cout << options.getIndex(list, item) << "["
                                             << options.getIndexedValue(list, c.position) << "]\n";
                               }
                           }),
                ExitedWithCode(0), "");
    std::string expected;
    for (Case const& c : cases) expected += std::to_string(c.index) + "[" + c.value + "]\n";
    EXPECT_EQ(dir.out(), expected);
}
