// End-to-end tests of how qxrun meets the system configuration: the
// example configuration runs, a broken architecture of the default node
// ends the tool through the architecture registry (status 255), and a
// system that cannot be built ends it through the loader's catch-all
// (status 1). Outputs and exit status are compared exactly.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/Subprocess.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TestTexts.h"

#ifdef QXRUN_PATH

using TestSupport::Subprocess;
using TestSupport::TemporaryDirectory;
using namespace std::chrono_literals;

namespace {

std::string const s_configuration = TestSupport::k_systemConfiguration;

// The configuration with the line that begins with prefix removed, or
// replaced when a replacement is given.
std::string changed(std::string const& prefix, std::string const& replacement = "") {
    std::string text = s_configuration;
    std::string::size_type start = text.rfind(prefix, 0) == 0 ? 0 : text.find("\n" + prefix) + 1;
    std::string::size_type end = text.find('\n', start) + 1;
    return text.replace(start, end - start, replacement.empty() ? "" : replacement + "\n");
}

// The example configuration of the source tree, beside this test's directory.
std::string exampleConfigurationPath() {
    std::string const file = __FILE__;
    std::string const tests = file.substr(0, file.rfind("/e2e/"));
    return tests.substr(0, tests.rfind('/')) + "/examples/target_device.cfg";
}

struct Result {
    std::string out;
    std::string err;
    int status;
};

// Runs "qxrun --useconfig <config> program.qxx" with the test host library.
Result runQxrun(TemporaryDirectory const& directory, std::string const& config) {
    Subprocess::Result result = Subprocess(QXRUN_PATH)
                                    .argv0("qxrun")
                                    .args({"--useconfig", config, "program.qxx"})
                                    .env("HOME", directory.path())
                                    .env("LD_LIBRARY_PATH", QX_TEST_HOSTLIB_DIR)
                                    .workingDirectory(directory.path())
                                    .timeout(60s)
                                    .run();
    EXPECT_EQ("", result.error);
    EXPECT_FALSE(result.timed_out);
    return {result.out, result.err, result.exit_status};
}

}  // namespace

TEST(SystemConfigurationEndToEnd, ExampleConfigurationRuns) {
    TemporaryDirectory directory;
    directory.write("program.qxx", "not really a qxx executable\n");
    Result const result = runQxrun(directory, exampleConfigurationPath());
    EXPECT_EQ("Return value = 0\n", result.out);
    EXPECT_EQ("", result.err);
    EXPECT_EQ(1, result.status);
}

TEST(SystemConfigurationEndToEnd, BrokenConfigurationEndsTheToolWithItsMessage) {
    std::string const critical = "CRITICAL ERROR, unhandled exception caught. Exiting.\n\n";
    struct Case {
        char const* name;
        std::string configuration;
        std::string out;
        std::string err;
        int status;
    } const cases[] = {
        {"complete", s_configuration, "Return value = 0\n", "", 1},
        {"architecture key missing", changed("system.chip0.core0.number-pio"), "",
         "ERROR: Exception: Could not initialise the ArchConfig object: Property 'number-pio' has not been "
         "found\n",
         255},
        {"invalid endianness",
         changed("system.chip0.core0.endianness", "system.chip0.core0.endianness = Little"), "",
         "ERROR: Exception: Could not initialise the ArchConfig object: Invalid endianness - valid values "
         "are "
         "little or big.\n",
         255},
        {"default node unknown", changed("node-id", "node-id = 5"), "",
         "ERROR: InvalidAttributeException: The node ID 5 is not known.\n", 255},
        {"required system key missing", changed("system.interrupt-target"), critical, "", 1},
        {"node section missing", changed("system.chip0.mem0.node-type"), critical, "", 1},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryDirectory directory;
        directory.write("program.qxx", "not really a qxx executable\n");
        Result const result = runQxrun(directory, directory.write("target_device.cfg", c.configuration));
        EXPECT_EQ(c.out, result.out);
        EXPECT_EQ(c.err, result.err);
        EXPECT_EQ(c.status, result.status);
    }
}

#else

TEST(SystemConfigurationEndToEnd, NeedsQxrunInTheBuild) {
    GTEST_SKIP() << "qxrun is not part of this build";
}

#endif  // QXRUN_PATH
