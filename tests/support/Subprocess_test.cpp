// Tests of the end-to-end harness itself: what it reports must be exactly
// what the child did, or the tests built on it prove nothing.
#include "tests/support/Subprocess.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

#include "tests/support/TemporaryDirectory.h"

using TestSupport::Subprocess;
using namespace std::chrono_literals;

namespace {

Subprocess::Result shell(std::string const& script) {
    return Subprocess("/bin/sh").arg("-c").arg(script).run();
}

TEST(Subprocess, ReportsOutputsAndHowTheChildEnded) {
    struct Case {
        char const* script;
        char const* out;
        char const* err;
        int exit_status;
        int signal;
    } const cases[] = {
        {"printf 'a\\nb'", "a\nb", "", 0, 0},
        {"printf out; printf err >&2; exit 3", "out", "err", 3, 0},
        {"printf before; kill -TERM $$", "before", "", -1, 15},
        {"read line; echo \"[$line]\"", "[]\n", "", 0, 0},
    };
    for (Case const& c : cases) {
        Subprocess::Result const result = shell(c.script);
        EXPECT_EQ("", result.error) << c.script;
        EXPECT_EQ(c.out, result.out) << c.script;
        EXPECT_EQ(c.err, result.err) << c.script;
        EXPECT_EQ(c.exit_status, result.exit_status) << c.script;
        EXPECT_EQ(c.signal, result.signal) << c.script;
        EXPECT_FALSE(result.timed_out) << c.script;
    }
}

// Far more than a pipe buffer on both outputs at once: a reader that
// drains one pipe before the other would block for ever.
TEST(Subprocess, ReadsBothLargeOutputsWithoutDeadlock) {
    Subprocess::Result const result =
        Subprocess("/bin/sh")
            .args({"-c",
                   "i=0; while [ $i -lt 2000 ]; do echo "
                   "0123456789012345678901234567890123456789012345678901234567890123456789; "
                   "echo abcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghij >&2; "
                   "i=$((i+1)); done"})
            .timeout(60s)
            .run();
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(2000u * 71, result.out.size());
    EXPECT_EQ(2000u * 71, result.err.size());
    EXPECT_EQ(0, result.exit_status);
}

TEST(Subprocess, StartsFromACleanEnvironmentPlusNamedVariables) {
    setenv("QXPATH", "/should/not/leak", 1);
    Subprocess::Result const result =
        Subprocess("/usr/bin/env").env("HOME", "/nowhere").env("QX_QXAPI_TRACE", "").unsetEnv("PATH").run();
    unsetenv("QXPATH");

    // The child's environment is built in name order; the sanitizers'
    // settings are the only variables passed on.
    std::map<std::string, std::string> expected{{"HOME", "/nowhere"}, {"QX_QXAPI_TRACE", ""}};
    for (char const* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
        if (char const* value = std::getenv(name)) expected[name] = value;
    std::string text;
    for (auto const& [name, value] : expected) text += name + "=" + value + "\n";
    EXPECT_EQ(text, result.out);
}

TEST(Subprocess, RunsInTheWorkingDirectoryWithTheGivenArgvZero) {
    TestSupport::TemporaryDirectory directory;
    Subprocess::Result const result = Subprocess("/bin/sh")
                                          .argv0("tool")
                                          .args({"-c", "echo \"$0\"; pwd -P"})
                                          .workingDirectory(directory.path())
                                          .run();
    char* real = realpath(directory.path().c_str(), nullptr);
    EXPECT_EQ("tool\n" + std::string(real) + "\n", result.out);
    std::free(real);
}

TEST(Subprocess, KillsAChildThatOutlivesTheTimeout) {
    Subprocess::Result const result = Subprocess("/bin/sleep").arg("30").timeout(200ms).run();
    EXPECT_TRUE(result.timed_out);
    EXPECT_EQ(9, result.signal);
    EXPECT_EQ(-1, result.exit_status);
}

TEST(Subprocess, ReportsAProgramThatCannotBeStarted) {
    Subprocess::Result const result = Subprocess("/nonexistent/program").run();
    EXPECT_EQ("cannot run /nonexistent/program: No such file or directory", result.error);
    EXPECT_EQ(-1, result.exit_status);
}

TEST(TemporaryDirectory, WritesFilesInSubdirectoriesAndRemovesEverything) {
    std::string path;
    {
        TestSupport::TemporaryDirectory directory;
        path = directory.path();
        std::string const written = directory.write("config/target_device.cfg", "a = 1\n");
        EXPECT_EQ(path + "/config/target_device.cfg", written);
        EXPECT_EQ("a = 1\n", directory.read("config/target_device.cfg"));
        EXPECT_TRUE(directory.exists("config"));
        EXPECT_FALSE(directory.exists("missing"));
    }
    EXPECT_NE(0, access(path.c_str(), F_OK));
}

}  // namespace
