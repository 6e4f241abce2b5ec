// Copies of required keys and of whole sections out of the option set, and
// command-line values written into the current node's configuration.
#include <gtest/gtest.h>

#include "configuration/CommandOptions.h"
#include "configuration/CommandOptions_test.h"
#include "configuration/Options.h"
#include "configuration/Properties.h"

using namespace Configuration;
using namespace CommandOptionsTest;
using ::testing::ExitedWithCode;

namespace {

std::string dump(Properties& store) {
    std::string text;
    store.getString(text);
    return text;
}

}  // namespace

TEST(SectionExtraction, SectionKeysWithPrecedenceAndDelimitersWithoutThePrefix) {
    ScratchDir dir;
    dir.write("sys/target_device.cfg",
              "system.chip1.core0 = not a key of the section\n"
              "system.chip1.core0.a = 1\n"
              "system.chip1.core0.b.c = 2\n"
              "system.chip1.core0.list[:] = x:y\n"
              "system.chip1.core0.shared = system\n"
              "system.chip1.core0x.a = other section\n"
              "system.chip1.core.a = shorter section\n");
    dir.write("home/target_device.cfg",
              "system.chip1.core0.shared = user\nsystem.chip1.core0.useronly = u\n");
    EXPECT_EXIT(runInChild(dir,
                           [&] {
                               setenv("QXPATH", dir.path("sys").c_str(), 1);
                               setenv("HOME", dir.path("home").c_str(), 1);
                               Properties target;
                               target.set(std::string("kept"), "other", nullptr);
                               target.set(std::string("replaced"), "a", nullptr);
                               bool extracted = CommandOptions::getCommandOptions()->extractSection(
                                   "system.chip1.core0", target);
                               std::cout << extracted << "\n" << dump(target);
                               // An empty target takes the same keys.
                               Properties fresh;
                               extracted = CommandOptions::getCommandOptions()->extractSection(
                                   "system.chip1.core0", fresh);
                               std::cout << extracted << "\n" << dump(fresh);
                           }),
                ExitedWithCode(0), "");
    std::string const section = "a=1\nb.c=2\nlist[:]=x:y\n";
    EXPECT_EQ(dir.out(), "1\n" + section + "other=kept\nshared=user\nuseronly=u\n1\n" + section +
                             "shared=user\nuseronly=u\n");
}

TEST(SectionExtraction, EmptyOrMissingSectionLeavesTheTargetUntouched) {
    // A section without keys fails before anything is looked up, so the
    // last error text still names the key of the call before.
    char const* const sections[] = {"system.c.bad", "system.c.none", "system.c.good"};
    ScratchDir dir;
    dir.write("target_device.cfg", "system.c.bad.a = 1\nsystem.c.bad.spare =\nsystem.c.good.a = 2\n");
    EXPECT_EXIT(runInChild(dir,
                           [&] {
                               CommandOptions& options = *CommandOptions::getCommandOptions();
                               for (char const* section : sections) {
                                   Properties target;
                                   target.set(std::string("1"), "before", nullptr);
                                   bool extracted = options.extractSection(section, target);
                                   std::cout << extracted << "|" << options.getLastError() << "|"
                                             << dump(target);
                               }
                           }),
                ExitedWithCode(0), "");
    std::string const untouched = "before=1\n";
    EXPECT_EQ(dir.out(), "0|Could not find 'system.c.bad.spare'|" + untouched +
                             "0|Could not find 'system.c.bad.spare'|" + untouched + "1||a=2\n" + untouched);
}

TEST(SectionExtraction, RequiredKeysStopAtTheFirstMissingOne) {
    ScratchDir dir;
    dir.write("target_device.cfg", "system.chips[] = chip0\nsystem.chip-ids = 0\nempty =\n");
    EXPECT_EXIT(runInChild(dir,
                           [&] {
                               CommandOptions& options = *CommandOptions::getCommandOptions();
                               std::vector<std::string> none;
                               Properties untouched;
                               std::cout << options.extractProperties(none, untouched) << "["
                                         << options.getLastError() << "]" << dump(untouched) << "\n";
                               std::vector<std::string> names{"system.chips", "empty", "system.chip-ids"};
                               Properties target;
                               std::cout << options.extractProperties(names, target) << "["
                                         << options.getLastError() << "]\n"
                                         << dump(target);
                           }),
                ExitedWithCode(0), "");
    EXPECT_EQ(dir.out(), "1[]\n0[Could not find 'empty']\nsystem.chips[,]=chip0\n");
}

TEST(SectionExtraction, CommandLineValuesReplaceOnlyWhatTheCurrentNodeDefines) {
    ScratchDir dir;
    dir.write("sys/target_device.cfg", k_small_system +
                                           "system.chip0.core0.mono-memory-size = 2048\n"
                                           "system.chip0.core0.poly-memory-size = 512\n"
                                           "system.chip0.mem0.mono-memory-size = 1\n");
    dir.write("home/target_device.cfg", "system.chip0.core0.poly-memory-size = 1024\n");
    EXPECT_EXIT(runInChild(dir,
                           [&] {
                               setenv("QXPATH", dir.path("sys").c_str(), 1);
                               setenv("HOME", dir.path("home").c_str(), 1);
                               Argv args{"tool", "--mono-memory-size", "4096", "--poly-memory-size",
                                         "8",    "--number-threads",   "2",    "--verbose"};
                               std::vector<Options**> lists{CommandOptions::s_std_tool_command_line_args,
                                                            CommandOptions::s_arch_config_command_line_args};
                               CommandOptions& options = *CommandOptions::makeCommandOptions(
                                   args.argc(), args.argv(), &lists, nullptr);
                               Properties core, mem;
                               options.extractSection("system.chip0.core0", core);
                               options.extractSection("system.chip0.mem0", mem);
                               std::string threads;
                               options.get(threads, "number-threads");
                               std::cout << dump(core) << dump(mem) << "number-threads=" << threads << "\n";
                           }),
                ExitedWithCode(0), "");
    EXPECT_EQ(dir.out(), "mono-memory-size=4096\npoly-memory-size=8\nmono-memory-size=1\nnumber-threads=2\n");
    EXPECT_EQ(dir.err(), "");
}
