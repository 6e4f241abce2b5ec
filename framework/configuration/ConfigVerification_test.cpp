// Checks of option values against their valid values, of a tool's store
// against the cmp.eq / cmp.ge rules of the configuration, and of a store
// against the option set's values.
#include <gtest/gtest.h>

#include "configuration/CommandOptions.h"
#include "configuration/CommandOptions_test.h"
#include "configuration/Options.h"
#include "configuration/Properties.h"

using namespace Configuration;
using namespace CommandOptionsTest;
using ::testing::ExitedWithCode;

namespace {

std::string const k_alignment_report_tail =
    " does not recognise the argument '3'\nValid values are:\n  1\n  2\n  4\n  8\n";

Properties storeOf(std::string const& text) {
    Properties store;
    store.addPropertiesFromString(text, false);
    return store;
}

}  // namespace

TEST(ValidValues, InvalidCommandLineValueIsReportedThenUsageAndStatus1) {
    ScratchDir dir;
    dir.write("target_device.cfg", "");
    EXPECT_EXIT(
        runInChild(dir,
                   [&] {
                       Options* alignment[] = {CommandOptions::s_arch_config_command_line_args[12], nullptr};
                       std::vector<Options**> lists{alignment};
                       Argv args{"tool", "--mono-alignment", "3"};
                       CommandOptions::makeCommandOptions(args.argc(), args.argv(), &lists, nullptr);
                   }),
        ExitedWithCode(1), "");
    EXPECT_EQ(dir.err(),
              "The option: --mono-alignment/- specified in the command line" + k_alignment_report_tail);
    EXPECT_EQ(
        dir.out(),
        "\nUsage: tool [option]* [filename]*\n\nWhere one or more of the following options may be given:\n\n"
        "--mono-alignment       1,2,4,8 \n");
}

TEST(ValidValues, OneReportPerStoreAndEmptyValuesAccepted) {
    struct Case {
        char const* name;
        char const* store;
        bool valid;
        std::string report;
    } const cases[] = {
        {"integer and list values valid", "mono-alignment = 8\nnumber-threads = 0x10\nsizes[] = 1,2\n", true,
         ""},
        {"empty value accepted", "mono-alignment =\nsizes[] =\n", true, ""},
        {"two invalid values, one report", "mono-alignment = 3\ninstruction-set = arm\n", false,
         "The option: --mono-alignment/- specified in src" + k_alignment_report_tail},
        {"element of a repeatable option", "sizes[] = 1,3\n", false,
         "The option: --sizes/-z specified in src does not recognise the argument '3'\n"
         "Valid values are:\n  1\n  2\n"},
        {"non-list value of a repeatable option is not read", "sizes = 3\n", true, ""},
    };
    ScratchDir dir;
    dir.write("target_device.cfg", "");
    EXPECT_EXIT(
        runInChild(dir,
                   [&] {
                       Options sizes("sizes", 'z', "1,2", 3, nullptr);
                       Options* own[] = {&sizes, nullptr};
                       std::vector<Options**> lists{CommandOptions::s_arch_config_command_line_args, own};
                       Argv args{"tool"};
                       CommandOptions& options =
                           *CommandOptions::makeCommandOptions(args.argc(), args.argv(), &lists, nullptr);
                       for (Case const& c : cases) {
                           Properties store = storeOf(c.store);
                           std::cerr << c.name << ":\n";
                           std::cerr << options.checkForValidValues("src", &store) << "\n";
                       }
                       std::cerr << options.checkForValidValues("src", nullptr) << "\n";
                   }),
        ExitedWithCode(0), "");
    std::string expected;
    for (Case const& c : cases)
        expected += std::string(c.name) + ":\n" + c.report + (c.valid ? "1\n" : "0\n");
    EXPECT_EQ(dir.err(), expected + "1\n");
}

TEST(ConfigVerify, RulesOfTheConfigurationJudgeTheStore) {
    struct Case {
        char const* name;
        char const* configuration;
        char const* store;
        bool verified;
        char const* lastError;
        char const* printed;
    } const cases[] = {
        {"equal integers", "cmp.eq.width = x\nwidth = 16\n", "width = 0x10\n", true, "", ""},
        {"different integers", "cmp.eq.width = x\nwidth = 16\n", "width = 8\n", false,
         "\tEQ :: width :: 8 (16)\n", ""},
        {"different texts", "cmp.eq.iset = x\niset = tev\n", "iset = osra\n", false,
         "\tEQ :: iset :: osra (tev)\n", ""},
        {"text against integer", "cmp.eq.iset = x\niset = tev\n", "iset = 4\n", false,
         "\tEQ :: iset :: 4 (tev)\n", ""},
        {"integer against text is passed over", "cmp.eq.width = x\nwidth = 16\n", "width = wide\n", true, "",
         ""},
        {"name absent from the store", "cmp.eq.width = x\nwidth = 16\ncmp.ge.depth = x\ndepth = 4\n",
         "other = 1\n", true, "", ""},
        {"at least: equal and lower", "cmp.ge.depth = x\ncmp.ge.size = x\ndepth = 4\nsize = 4\n",
         "depth = 4\nsize = 3\n", true, "", ""},
        {"at least: higher", "cmp.ge.depth = x\ndepth = 4\n", "depth = 5\n", false,
         "\tGE :: depth :: 5 (4)\n", ""},
        {"equality rule without configuration value", "cmp.eq.width = x\n", "width = 8\n", false, "",
         "\nERROR verifying properties. Property width not found or has unsupported type.\n"},
        {"at-least rule on a text", "cmp.ge.depth = x\ndepth = deep\n", "depth = 5\n", false, "",
         "\nERROR verifying properties. Property depth has unsupported type.\n"},
        {"every rule is evaluated", "cmp.eq.a = x\ncmp.eq.b = x\na = 1\nb = 2\ncmp.ge.c = x\nc = 1\n",
         "a = 2\nb = 3\nc = 2\n", false, "\tEQ :: a :: 2 (1)\n\tEQ :: b :: 3 (2)\n\tGE :: c :: 2 (1)\n", ""},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        dir.write("target_device.cfg", c.configuration);
        EXPECT_EXIT(runInChild(dir,
                               [&] {
                                   CommandOptions& options = *CommandOptions::getCommandOptions();
                                   options.getLastError() = "stale";
                                   Properties store = storeOf(c.store);
                                   bool verified = options.configVerify(store);
                                   std::cerr << verified << "[" << options.getLastError() << "]";
                               }),
                    ExitedWithCode(0), "");
        EXPECT_EQ(dir.err(), std::to_string(c.verified) + "[" + c.lastError + "]");
        EXPECT_EQ(dir.out(), c.printed);
    }
}

TEST(ContainsValues, EveryPairOfTheStoreMustMatchTheOptionSet) {
    struct Case {
        char const* store;
        bool contained;
        char const* lastError;
    } const cases[] = {
        {"", true, "stale"},
        {"a = 1\nb = two\n", true, "stale"},
        {"a = 1\nabsent = 1\nb = other\n", false, "Could not find value for argument 'absent'"},
        {"a = 1\nb = other\n", false, "Different values for property 'b': 'two' and 'other'"},
    };
    ScratchDir dir;
    dir.write("target_device.cfg", "a = 1\nb =   two\n");
    EXPECT_EXIT(runInChild(dir,
                           [&] {
                               CommandOptions& options = *CommandOptions::getCommandOptions();
                               for (Case const& c : cases) {
                                   options.getLastError() = "stale";
                                   Properties store = storeOf(c.store);
                                   std::cout << options.containsValues(store) << "[" << options.getLastError()
                                             << "]\n";
                               }
                               Properties notReady(dir.path("absent.cfg").c_str());
                               std::cout << options.containsValues(notReady) << "\n";
                           }),
                ExitedWithCode(0), "");
    std::string expected;
    for (Case const& c : cases) expected += std::to_string(c.contained) + "[" + c.lastError + "]\n";
    EXPECT_EQ(dir.out(), expected + "0\n");
}
