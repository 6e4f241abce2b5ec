#include "assembler/Preprocessor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Assembler;

// Macros m1..m<depth>, each calling the one below twice: 2^depth lines.
std::string doublingMacros(int depth) {
    std::string source = ".macro m0\nnop\n.endm\n";
    for (int level = 1; level <= depth; ++level) {
        std::string const below = "m" + std::to_string(level - 1) + "\n";
        source += ".macro m" + std::to_string(level) + "\n" + below + below + ".endm\n";
    }
    return source + "m" + std::to_string(depth) + "\n";
}

// Files f1.inc .. f<depth>.inc, each including the next twice, the last
// one holding a nop: 2^depth lines within the include depth limit.
bool doublingIncludes(int depth, std::string const& path, std::string& text) {
    int const level = std::stoi(path.substr(1));
    std::string const next = ".include \"f" + std::to_string(level + 1) + ".inc\"\n";
    text = level < depth ? next + next : "nop\n";
    return true;
}

// Macros g1..g<depth>, each passing its argument twice to the one below,
// which doubles the argument's length with each level.
std::string doublingArguments(int depth) {
    std::string source = ".macro g0 a\n.word \\a\n.endm\n";
    for (int level = 1; level <= depth; ++level)
        source +=
            ".macro g" + std::to_string(level) + " a\ng" + std::to_string(level - 1) + " \\a\\a\n.endm\n";
    return source + "g" + std::to_string(depth) + " 1\n";
}

std::vector<std::string> preprocess(std::string const& source, size_t maxLines) {
    AssemblerOptions options;
    options.readFile = [](std::string const& path, std::string& text) {
        return doublingIncludes(15, path, text);
    };
    Diagnostics diagnostics;
    Preprocessor preprocessor(options, diagnostics, maxLines);
    preprocessor.addSource({"main.qxs", source});
    return diagnostics.messages();
}

// Found by fuzzing: nesting within the depth limits made work or lines
// that grow exponentially, so the assembler never finished or ran out of
// memory. The line budget and the length limit end it with one error.
TEST(PreprocessorLimits, LineBudgetStopsExponentialIncludesAndMacros) {
    struct Case {
        char const* what;
        std::string source;
        size_t maxLines;
        std::vector<std::string> errors;
    } const cases[] = {
        {"macro calling another twice, 60 deep",
         doublingMacros(60),
         1000,
         {"main.qxs:244: program too large (more than 1000 lines after includes and macros) (in macro m1)"}},
        {"files including the next twice, 15 deep",
         ".include \"f1.inc\"\n",
         1000,
         {"f14.inc:1: program too large (more than 1000 lines after includes and macros)"}},
        {"argument doubling with each of 40 levels",
         doublingArguments(40),
         Preprocessor::k_max_lines,
         {"main.qxs:124: line too long after macro expansion (more than 65536 characters) (in macro g25)"}},
        {"exactly the budget", "nop\nnop\nnop\n", 3, {}},
        {"one line over the budget",
         "nop\nnop\nnop\nnop\n",
         3,
         {"main.qxs:4: program too large (more than 3 lines after includes and macros)"}},
        {"unfinished macro cut by the budget",
         ".macro m\nnop\nnop\nnop\n",
         3,
         {"main.qxs:4: program too large (more than 3 lines after includes and macros)"}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(preprocess(c.source, c.maxLines), c.errors);
    }
}

}  // namespace

namespace {

// Found by fuzzing: a macro whose body includes a file that defines the
// same macro again replaced the body being expanded under the expansion's
// feet (a use after free under AddressSanitizer). The expansion goes on
// with the body it started with; the new definition serves later calls.
TEST(PreprocessorMacros, ABodyThatRedefinesItsOwnMacroFinishesWithTheOldBody) {
    AssemblerOptions options;
    options.readFile = [](std::string const&, std::string& text) {
        text = ".macro m\nnop\nnop\nnop\nnop\nnop\nnop\nnop\nnop\n.endm\n";
        return true;
    };
    Diagnostics diagnostics;
    Preprocessor preprocessor(options, diagnostics, 1000);
    preprocessor.addSource(
        {"main.qxs", ".macro m\n.include \"redefine.inc\"\nhalt r1\nhalt r2\n.endm\nm\nm\n"});
    std::vector<std::string> lines;
    for (Statement const& statement : preprocessor.statements()) lines.push_back(statement.op);
    EXPECT_EQ(diagnostics.messages(), std::vector<std::string>{}) << lines.size();
    EXPECT_EQ(lines, (std::vector<std::string>{"halt", "halt", "nop", "nop", "nop", "nop", "nop", "nop",
                                               "nop", "nop"}));
}

}  // namespace
