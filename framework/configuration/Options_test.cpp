#include "configuration/Options.h"

#include <gtest/gtest.h>

#include <list>
#include <memory>
#include <string>
#include <vector>

using Configuration::Options;

namespace {

// A table of descriptors covering every way of taking a value.
struct OptionTable {
    std::vector<std::unique_ptr<Options>> owned;
    std::vector<Options*> array;

    OptionTable() {
        add(std::make_unique<Options>("verbose", 'v', nullptr, 0, nullptr));
        add(std::make_unique<Options>("output", 'o', nullptr, 1, nullptr));
        add(std::make_unique<Options>("chip-id", 'C', Options::s_integer, 1, nullptr));
        add(std::make_unique<Options>("chip", 'c', nullptr, 1, nullptr));
        add(std::make_unique<Options>("library", 'l', nullptr, 3, nullptr));
        add(std::make_unique<Options>("include", 0, "I", nullptr, 6, nullptr));
        add(std::make_unique<Options>("alpha", 'a', nullptr, 1, nullptr));
        add(std::make_unique<Options>("beta", 'b', nullptr, 1, nullptr));
        array.push_back(nullptr);
    }
    void add(std::unique_ptr<Options> option) {
        array.push_back(option.get());
        owned.push_back(std::move(option));
    }

    // "name", "name=value", "name!error" or "name=value!error" for every
    // found option, in table order.
    std::string describe() const {
        std::string text;
        for (auto const& option : owned) {
            if (!option->isFound()) continue;
            if (!text.empty()) text += " ";
            text += option->getLongName();
            if (option->hasValue()) text += std::string("=") + option->getValue();
            if (option->hasError()) text += std::string("!") + (option->getError() ? option->getError() : "");
        }
        return text;
    }
};

struct ScanResult {
    std::vector<std::string> remaining;
    int found;
};

ScanResult scan(std::vector<std::string> arguments, Options** options) {
    arguments.insert(arguments.begin(), "prog");
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    int argc = static_cast<int>(arguments.size());
    ScanResult result{{}, Options::processCommandLineArgs(argc, argv.data(), options)};
    for (int i = 1; i < argc; ++i) result.remaining.push_back(argv[i]);
    return result;
}

}  // namespace

TEST(OptionsScanner, ClaimsArgumentsAndKeepsTheRestInOrder) {
    struct Case {
        std::vector<std::string> arguments;
        std::string options;
        std::vector<std::string> remaining;
        int found;
    };
    Case const cases[] = {
        {{"-vo", "out", "file"}, "verbose output=out", {"file"}, 2},
        {{"-vz"}, "verbose", {"-z"}, 1},
        {{"-zvy"}, "verbose", {"-zy"}, 1},
        {{"-zy"}, "", {"-zy"}, 0},
        {{"--output"}, "output!expected a value", {}, 1},
        {{"--output", "-v"}, "verbose output!expected a value", {}, 2},
        {{"-vo"}, "verbose output!expected a value", {}, 2},
        {{"--output", "-"}, "output=-", {}, 1},
        {{"--output", ""}, "output", {}, 1},
        {{"--chip-id", "-1"}, "chip-id!expected a value", {"-1"}, 1},
        {{"--library", "a", "-l", "b"}, "library=a,b", {}, 2},
        {{"--output", "a", "-o", "b"}, "output=a!cannot be specified more than once", {}, 2},
        {{"-v", "--verbose"}, "verbose", {}, 2},
        {{"--", "-"}, "", {"--", "-"}, 0},
        {{"a", "-v", "b", "--unknown", "c", "-1"}, "verbose", {"a", "b", "--unknown", "c", "-1"}, 1},
        {{"--verbose=1", "--verb"}, "", {"--verbose=1", "--verb"}, 0},
        {{"-ab", "x", "y", "z"}, "alpha=x beta=y", {"z"}, 2},
        {{"-verbose"}, "verbose", {}, 1},
        {{"-chip", "1", "next"}, "chip=1", {"next"}, 1},
        {{"-c", "0x10"}, "chip=0x10", {}, 1},
        {{"-Ipath", "next"}, "include=path", {"next"}, 1},
        {{"-Ia", "-Ib"}, "include=a,b", {}, 2},
        {{"-I", "next"}, "include!expected a value", {"next"}, 1},
        {{"--include", "next"}, "include=include", {"next"}, 1},
    };
    for (auto const& c : cases) {
        std::string row;
        for (auto const& argument : c.arguments) row += "[" + argument + "]";
        SCOPED_TRACE(row);
        OptionTable table;
        ScanResult result = scan(c.arguments, table.array.data());
        EXPECT_EQ(c.options, table.describe());
        EXPECT_EQ(c.remaining, result.remaining);
        EXPECT_EQ(c.found, result.found);
    }
}

TEST(OptionsScanner, NullOptionArrayDropsEveryArgument) {
    ScanResult result = scan({"-v", "file"}, nullptr);
    EXPECT_TRUE(result.remaining.empty());
    EXPECT_EQ(0, result.found);
}

TEST(OptionsScanner, UpdateArgsReportsAnAttachedValueAsTaken) {
    OptionTable table;
    char argument[] = "-Ipath";
    char* argv[] = {nullptr, argument, nullptr};
    int argc = 2;
    bool tookValue = false;
    int foundCount = 0;
    EXPECT_TRUE(Options::updateArgs(argument + 1, argc, argv, 1, tookValue, foundCount, table.array.data()));
    EXPECT_TRUE(tookValue);
    EXPECT_EQ(1, foundCount);
    char unknown[] = "unknown";
    EXPECT_FALSE(Options::updateArgs(unknown, argc, argv, 1, tookValue, foundCount, table.array.data()));
    EXPECT_FALSE(tookValue);
    EXPECT_EQ(1, foundCount);
}

TEST(Options, NameShowsLongNameAndShortForm) {
    Options chip("chip", 'c', nullptr, 1, nullptr);
    Options include("userincpath", 'I', "Inc", nullptr, 4, nullptr);
    Options bare("bare", 0, nullptr, 0, nullptr);
    EXPECT_STREQ("--chip/-c", chip.getName());
    EXPECT_STREQ("--userincpath/-Inc", include.getName());
    EXPECT_STREQ("--bare/-", bare.getName());
    EXPECT_EQ(chip.getName(), chip.getName());
}

TEST(Options, UsageLineLayout) {
    struct Case {
        Options option;
        int longNameWidth;
        int validValuesWidth;
        char const* line;
    };
    Case cases[] = {
        {{"endianness", 'E', "big,little", 1, "Endianness of the device"},
         10,
         10,
         "--endianness  (-E) big,little  Endianness of the device"},
        {{"endianness", 'E', "big,little", 1, "Endianness of the device"},
         0,
         0,
         "--endianness (-E) big,little Endianness of the device"},
        {{"endianness", 'E', "big,little", 1, nullptr}, 3, 0, "--endianness (-E) big,little"},
        {{"total-number-pes", 0, "<integer>", 1, nullptr}, 0, 0, "--total-number-pes      <integer>"},
        {{"help", 'h', nullptr, 0, "Outputs this message"}, 6, 0, "--help    (-h) Outputs this message"},
        {{"output", 'o', nullptr, 1, nullptr}, 6, 3, "--output  (-o)    "},
        {{"mode", 'm', "a,b", 0, "Mode"}, 0, 5, "--mode (-m)    Mode"},
        {{"library", 'l', nullptr, 3, "Input archive name"},
         0,
         0,
         "--library (-l) May be specified more than once. Input archive name"},
        {{"include", 0, "I", nullptr, 4, ""}, 0, 0, "--include (-I)"},
    };
    for (auto& c : cases) {
        std::string line = "stale";
        c.option.getUsageString(line, c.longNameWidth, c.validValuesWidth);
        EXPECT_EQ(c.line, line);
    }
}

TEST(Options, ValidValuesAcceptTypeWordsAndLiterals) {
    struct Case {
        char const* validValues;
        char const* value;
        bool valid;
    };
    Case const cases[] = {
        {"1,2,4,8", "4", true},
        {"1,2,4,8", "3", false},
        {"1,2,4,8", "", false},
        {"1,2,4,8", "48", false},
        {"big,,little", "little", true},
        {"big,little", "Big", false},
        {",,", "x", false},
        {nullptr, "", true},
        {nullptr, "anything", true},
        {"<string>", "any text", true},
        {"<string>", "", false},
        {"<integer>", "0x10", true},
        {"<integer>", "0X1f", true},
        {"<integer>", "x1F", false},
        {"<integer>", "10 ", false},
        {"<integer>", " -12", true},
        {"<integer>", "12abc", false},
        {"<integer>", "X", false},
        {"<real>", "1.5e3", true},
        {"<real>", "1.5x", false},
        {"tev,<integer>", "7", true},
        {"tev,<integer>", "osra", false},
    };
    for (auto const& c : cases) {
        Options option("name", 0, c.validValues, 1, nullptr);
        EXPECT_EQ(c.valid, option.isValidValue(c.value))
            << (c.validValues ? c.validValues : "(none)") << " with [" << c.value << "]";
    }
}

TEST(Options, ValidValuesListSkipsEmptyPieces) {
    Options option("name", 0, ",a,,b,", 1, nullptr);
    Options::iterator begin;
    Options::iterator end = option.getValidValues(begin);
    EXPECT_EQ((std::list<std::string>{"a", "b"}), std::list<std::string>(begin, end));
    EXPECT_EQ(6, option.getValidValuesLength());
}

TEST(Options, FlagsStateAndErrors) {
    Options option("name", static_cast<char>(0xE9), nullptr, 8 | 2, nullptr);
    EXPECT_FALSE(option.requiresArgument());
    EXPECT_FALSE(option.requiresNonPosixArgument());
    EXPECT_TRUE(option.isAppendable());
    EXPECT_EQ(-23, option.getShortName());

    option.setValue(nullptr);
    option.setValue("");
    EXPECT_FALSE(option.hasValue());

    option.setError(nullptr);
    EXPECT_TRUE(option.hasError());
    EXPECT_EQ(nullptr, option.getError());
    option.setError("first");
    option.setError("");
    EXPECT_STREQ("first", option.getError());

    Options once("once", 0, nullptr, 1, nullptr);
    EXPECT_TRUE(once.isActive());
    once.setFound(true);
    EXPECT_FALSE(once.isActive());
    option.setFound(true);
    EXPECT_TRUE(option.isActive());
}
