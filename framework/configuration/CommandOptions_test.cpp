// The option set's creation, lookups, command-line store and usage text.
#include "configuration/CommandOptions.h"

#include <gtest/gtest.h>

#include "configuration/CommandOptions_test.h"
#include "configuration/Options.h"
#include "configuration/Properties.h"

using namespace Configuration;
using namespace CommandOptionsTest;
using ::testing::ExitedWithCode;

namespace {

std::string joined(std::vector<std::string> const& values) {
    std::string text;
    for (std::string const& value : values) text += (text.empty() ? "" : " ") + value;
    return text;
}

std::string lookup(CommandOptions& options, char const* key) {
    std::string value;
    return options.get(value, key) ? value : "<none>";
}

}  // namespace

TEST(CommandOptionsCreation, UseconfigNamesTheConfigurationAndLeavesTheOtherArguments) {
    ScratchDir dir;
    std::string const config = dir.write("my.cfg", "which = given\n");
    dir.write("target_device.cfg", "which = found\n");
    EXPECT_EXIT(runInChild(dir,
                           [&] {
                               Argv args{"tool", "x", "--useconfig", config.c_str(), "y"};
                               std::vector<Options**> lists{CommandOptions::s_std_tool_command_line_args};
                               CommandOptions* options = CommandOptions::makeCommandOptions(
                                   args.argc(), args.argv(), &lists, nullptr);
                               std::cout << args.remaining() << "|" << lookup(*options, "which") << "|"
                                         << (options == CommandOptions::getCommandOptions()) << "\n";
                           }),
                ExitedWithCode(0), "");
    EXPECT_EQ(dir.out(), "x y|given|1\n");
    EXPECT_EQ(dir.err(), "");
}

TEST(CommandOptionsCreation, UseconfigWithoutUsableValueCreatesNothing) {
    struct Case {
        std::vector<char const*> words;
        char const* reason;
    } const cases[] = {
        {{"tool", "--useconfig"}, "expected a value"},
        {{"tool", "--useconfig", "--verbose"}, "expected a value"},
        {{"tool", "--useconfig", "a.cfg", "--useconfig", "b.cfg"}, "cannot be specified more than once"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.reason);
        ScratchDir dir;
        dir.write("target_device.cfg", "which = found\n");
        EXPECT_EXIT(runInChild(dir,
                               [&] {
                                   Argv args(c.words);
                                   CommandOptions* options = CommandOptions::makeCommandOptions(
                                       args.argc(), args.argv(), nullptr, nullptr);
                                   std::cout << (options ? "instance" : "null") << "\n";
                               }),
                    ExitedWithCode(0), "");
        EXPECT_EQ(dir.out(), std::string("Found the --useconfig option, but: ") + c.reason + "\nnull\n");
    }
}

TEST(CommandOptionsLookup, CommandLineOverUserOverSystemSkippingEmptyValues) {
    ScratchDir dir;
    dir.write("sys/target_device.cfg",
              "output = system\nuser-key = system\nsystem-key = system\nempty-in-user = system\n"
              "empty-everywhere =\n");
    dir.write("home/target_device.cfg", "output = user\nuser-key = user\nempty-in-user =\n");
    EXPECT_EXIT(runInChild(dir,
                           [&] {
                               setenv("QXPATH", dir.path("sys").c_str(), 1);
                               setenv("HOME", dir.path("home").c_str(), 1);
                               Argv args{"tool", "--output", "cmd", "--verbose", "file"};
                               std::vector<Options**> lists{CommandOptions::s_std_tool_command_line_args};
                               CommandOptions& options = *CommandOptions::makeCommandOptions(
                                   args.argc(), args.argv(), &lists, nullptr);
                               for (char const* key : {"output", "user-key", "system-key", "empty-in-user",
                                                       "empty-everywhere", "missing", "verbose", "help"}) {
                                   std::cout << key << "=" << lookup(options, key) << "\n";
                               }
                               std::cout << options.isVerbose() << options.isOn("help") << " "
                                         << args.remaining() << "\n";
                           }),
                ExitedWithCode(0), "");
    EXPECT_EQ(dir.out(),
              "output=cmd\nuser-key=user\nsystem-key=system\nempty-in-user=system\n"
              "empty-everywhere=<none>\nmissing=<none>\nverbose=on\nhelp=<none>\n10 file\n");
}

TEST(CommandOptionsCommandLine, EveryOptionErrorIsReportedThenUsageAndStatus1) {
    ScratchDir dir;
    dir.write("target_device.cfg", "");
    EXPECT_EXIT(runInChild(dir,
                           [&] {
                               Argv args{"tool", "--info", "--output", "a", "--output", "b", "--dump"};
                               std::vector<Options**> lists{CommandOptions::s_std_tool_command_line_args,
                                                            CommandOptions::s_assembler_command_line_args};
                               CommandOptions::makeCommandOptions(args.argc(), args.argv(), &lists, nullptr);
                           }),
                ExitedWithCode(1), "");
    EXPECT_EQ(dir.err(),
              "Error: --output/-o cannot be specified more than once\n"
              "Error: --info/-i expected a value\n"
              "Error: --dump/-d expected a value\n");
    EXPECT_EQ(dir.out(),
              "\nUsage: tool [option]* [filename]*\n\n"
              "Where one or more of the following options may be given:\n\n"
              "--help        (-h) Outputs this message\n"
              "--output      (-o)\n"
              "--verbose     (-v) Switch on verbose display\n"
              "--version     (-V) Display version string\n"
              "--fovel-file  (-m) May be specified more than once. Adds a Fovel macro file to the assembler\n"
              "--info        (-i) Displays info about an instruction\n"
              "--dump        (-d) Dumps the output in textual form\n");
}

TEST(CommandOptionsUsage, UsageLineFollowsTheFormatFlagsAndTail) {
    struct Case {
        bool useconfig, options, filenames;
        char const* tail;
        char const* usageLine;
    } const cases[] = {
        {false, true, true, nullptr, "Usage: tool [option]* [filename]*"},
        {true, false, false, "<qxx file>", "Usage: tool [--useconfig <config file name>] <qxx file>"},
        {false, false, true, "", "Usage: tool [filename]* "},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.usageLine);
        ScratchDir dir;
        dir.write("target_device.cfg", "");
        EXPECT_EXIT(runInChild(dir,
                               [&] {
                                   Options* helpAndOutput[] = {
                                       CommandOptions::s_std_tool_command_line_args[0],
                                       CommandOptions::s_std_tool_command_line_args[1], nullptr};
                                   std::vector<Options**> lists{helpAndOutput};
                                   Argv args{"tool"};
                                   CommandOptions& options = *CommandOptions::makeCommandOptions(
                                       args.argc(), args.argv(), &lists, c.tail);
                                   options.usageLineFormat(c.useconfig, c.options, c.filenames);
                                   options.usage();
                               }),
                    ExitedWithCode(0), "");
        EXPECT_EQ(dir.out(), std::string("\n") + c.usageLine +
                                 "\n\nWhere one or more of the following options may be given:\n\n"
                                 "--help    (-h) Outputs this message\n"
                                 "--output  (-o)\n");
    }
}

TEST(CommandOptionsUsage, MessagePrintersFillInProgramAndOption) {
    ScratchDir dir;
    dir.write("target_device.cfg", "");
    EXPECT_EXIT(runInChild(dir,
                           [&] {
                               Argv args{"qxtool"};
                               CommandOptions& options = *CommandOptions::makeCommandOptions(
                                   args.argc(), args.argv(), nullptr, nullptr);
                               options.invalid_option_exit("-z");
                               options.invalid_option_ignore("--zz");
                               options.no_input_files();
                           }),
                ExitedWithCode(0), "");
    EXPECT_EQ(dir.out(),
              "qxtool: Invalid command option found: -z. Exiting. \nUse -h for a list of available options.\n"
              "qxtool: Invalid command option ignored: --zz.\n"
              "qxtool: No input files found.\n");
}

TEST(CommandOptionsLists, LibrariesPathsAndVectorsReadAsLists) {
    struct Case {
        char const* extraOption;
        char const* expected;
    } const cases[] = {
        {"--verbose",
         "libraries: std1 std2 m c\npaths: /opt/lib/ /usr/lib/ /std/\nk=a,b,c delimiter=, vector: a b c\n"},
        {"--nostdlibs",
         "libraries: m c\npaths: /opt/lib/ /usr/lib/ /std/\nk=a,b,c delimiter=, vector: a b c\n"},
        {"--nostdlibpath",
         "libraries: std1 std2 m c\npaths: /opt/lib/ /usr/lib/\nk=a,b,c delimiter=, vector: a b c\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.extraOption);
        ScratchDir dir;
        dir.write("target_device.cfg", "stdlibrary[] = std1,std2\nstdlibpath[] = /std\n");
        EXPECT_EXIT(runInChild(dir,
                               [&] {
                                   Argv args{"tool", "-l", "m",  "-L",        "/opt/lib",
                                             "-l",   "c",  "-L", "/usr/lib/", c.extraOption};
                                   std::vector<Options**> lists{CommandOptions::s_linker_command_line_args,
                                                                CommandOptions::s_std_tool_command_line_args};
                                   CommandOptions& options = *CommandOptions::makeCommandOptions(
                                       args.argc(), args.argv(), &lists, nullptr);
                                   std::vector<std::string> libraries, paths, vector;
                                   options.getLibraries(libraries);
                                   options.getLibraryPath(paths);
                                   options.setVector({"a", "b", "c"}, "k");
                                   std::string delimiter;
                                   options.getDelimiter(delimiter, "k");
                                   options.getVector(vector, "k");
                                   std::cout << "libraries: " << joined(libraries)
                                             << "\npaths: " << joined(paths) << "\nk=" << lookup(options, "k")
                                             << " delimiter=" << delimiter << " vector: " << joined(vector)
                                             << "\n";
                               }),
                    ExitedWithCode(0), "");
        EXPECT_EQ(dir.out(), c.expected);
    }
}
