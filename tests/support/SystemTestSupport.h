// Helpers for the tests of the system model and the architecture
// configuration. The option set, the system and the architecture registry
// are process-wide singletons, so every test that needs them builds them
// inside a death-test child; gtest's own assertions are not reported back
// from such a child, hence ChildChecks.
#ifndef TESTS_SUPPORT_SYSTEMTESTSUPPORT_H
#define TESTS_SUPPORT_SYSTEMTESTSUPPORT_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "configuration/CommandOptions.h"
#include "generic/Exception.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TestTexts.h"

namespace SystemTest {

// The name of a configuration line: the text before "=" and before a
// list declaration's "[", trimmed.
inline std::string lineName(std::string const& line) {
    std::string name = line.substr(0, line.find('='));
    name = name.substr(0, name.find('['));
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

// The text with the line named key replaced by line, removed when line is
// empty, or line appended when no line has that name.
inline std::string withLine(std::string const& text, std::string const& key, std::string const& line) {
    std::istringstream in(text);
    std::string result;
    bool replaced = false;
    for (std::string current; std::getline(in, current);) {
        if (!replaced && lineName(current) == key) {
            replaced = true;
            if (!line.empty()) result += line + "\n";
        } else {
            result += current + "\n";
        }
    }
    if (!replaced && !line.empty()) result += line + "\n";
    return result;
}

// One chip chip0 with the VORN node core0 (ID 0, with a complete
// architecture, the asm and abi subsets and the instruction set "iset0")
// and the memory node mem0 (ID 1): the end-to-end tests' configuration.
inline std::string const& exampleConfig() {
    static std::string const text =
        withLine(TestSupport::k_systemConfiguration, "system.chip0.core0.instruction-set",
                 "system.chip0.core0.instruction-set = iset0") +
        "system.chip0.core0.asm.level = 2\n"
        "system.chip0.core0.abi.level = 1\n";
    return text;
}

// A target_device.cfg with the given text in a fresh temporary directory,
// removed again with the object.
class TempConfig {
public:
    explicit TempConfig(std::string const& text) : m_path(m_directory.write("target_device.cfg", text)) {}

    std::string const& path() const { return m_path; }

private:
    TestSupport::TemporaryDirectory m_directory;
    std::string m_path;
};

// Makes the process-wide option set from the configuration file, as a tool
// does from "--useconfig <path>". Call it only in a death-test child.
inline void makeOptionSet(std::string const& configPath) {
    static std::string program = "qx_unit_tests";
    static std::string useconfig = "--useconfig";
    static std::string path;
    path = configPath;
    static char* argv[] = {program.data(), useconfig.data(), path.data(), nullptr};
    int argc = 3;
    static std::vector<Configuration::Options**> lists = {
        Configuration::CommandOptions::s_std_tool_command_line_args};
    Configuration::CommandOptions::makeCommandOptions(argc, argv, &lists, nullptr);
}

// Checks inside a death-test child. finish() prints every failed check on
// standard error and ends the child with status 0 only when all held.
class ChildChecks {
public:
    template <typename Expected, typename Actual>
    void equal(Expected const& expected, Actual const& actual, std::string const& what) {
        if (expected == actual) return;
        m_failures << what << "\n  expected: " << ::testing::PrintToString(expected)
                   << "\n    actual: " << ::testing::PrintToString(actual) << "\n";
        m_failed = true;
    }

    // Runs the action and checks that it throws a Generic::Exception* of
    // exactly the given type with the given toString() text.
    void throws(std::function<void()> const& action, std::type_info const& type, std::string const& text,
                std::string const& what) {
        try {
            action();
            fail(what + ": nothing was thrown");
        } catch (Generic::Exception* e) {
            std::unique_ptr<Generic::Exception> owned(e);
            equal(std::string(type.name()), std::string(typeid(*owned).name()), what + ": type");
            equal(text, owned->toString(), what + ": text");
        }
    }

    void fail(std::string const& what) {
        m_failures << what << "\n";
        m_failed = true;
    }

    [[noreturn]] void finish() {
        std::cout.flush();
        std::cerr << m_failures.str();
        std::exit(m_failed ? 1 : 0);
    }

private:
    std::ostringstream m_failures;
    bool m_failed = false;
};

// Runs body in a death-test child and expects it to end with status 0.
// Like EXPECT_EXIT, the body must not hold a comma outside parentheses.
#define EXPECT_IN_CHILD(body) EXPECT_EXIT(body, ::testing::ExitedWithCode(0), "")

}  // namespace SystemTest

#endif  // TESTS_SUPPORT_SYSTEMTESTSUPPORT_H
