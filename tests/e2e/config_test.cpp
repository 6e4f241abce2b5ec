// End-to-end tests of how qxrun finds and reads its configuration: the
// "--useconfig" file, the QXPATH search, the user's file under HOME, the
// report of a configuration that cannot be used, and option errors. The
// configurations build on the shipped examples/target_device.cfg; the chip
// a run registers on (in the test host library's call log) shows which
// value of "chip" won.
#include <gtest/gtest.h>

#ifdef QXRUN_PATH

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Subprocess.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TestTexts.h"

using TestSupport::Subprocess;
using TestSupport::TemporaryDirectory;
using namespace std::chrono_literals;

namespace {

std::string exampleConfiguration() {
    std::string const source = __FILE__;
    std::string const root = source.substr(0, source.rfind("/tests/e2e/"));
    std::ifstream in(root + "/examples/target_device.cfg");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string const k_advice =
    "The config file: 'target_device.cfg' must be present in the QXPATH\n"
    "Or the --useconfig <config file> option must be used\n";
std::string const k_fatal = "Fatal Error: Could not load the system configuration file.\n";

std::string const k_usage = TestSupport::k_qxrunUsage;

// The host library calls of a run without failure on the given chip.
std::string cardCallsOnChip(std::string const& chip) {
    return "direct new mode=1\n"
           "direct connect host=(null) instance=0\n"
           "direct register_application chip=" +
           chip +
           "\n"
           "direct load chip=" +
           chip +
           " path=program.qxx\n"
           "direct run chip=" +
           chip +
           "\n"
           "direct wait_on_terminate chip=" +
           chip +
           "\n"
           "direct get_return_value chip=" +
           chip +
           "\n"
           "direct delete\n";
}

class QxrunConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override { m_directory.write("work/program.qxx", "not really a qxx executable\n"); }

    // qxrun with HOME, QXPATH and the working directory in three separate
    // directories, so that each file is found only by its own search.
    Subprocess::Result run(std::vector<std::string> const& arguments, bool withQxpath = true) {
        Subprocess process(QXRUN_PATH);
        process.argv0("qxrun")
            .args(arguments)
            .env("HOME", m_directory.file("home"))
            .env("LD_LIBRARY_PATH", QX_TEST_HOSTLIB_DIR)
            .env("QXTEST_LOG", m_directory.file("calls.log"))
            .workingDirectory(m_directory.file("work"))
            .timeout(60s);
        if (withQxpath) process.env("QXPATH", m_directory.file("none") + ":" + m_directory.file("config"));
        return process.run();
    }

    std::string calls() const { return m_directory.read("calls.log"); }

    TemporaryDirectory m_directory;
};

TEST_F(QxrunConfigurationTest, EachConfigurationSourceTakesEffectInPrecedenceOrder) {
    struct Case {
        char const* name;
        bool systemFile, userFile;
        std::vector<std::string> arguments;
        char const* chip;
    } const cases[] = {
        {"QXPATH", true, false, {"program.qxx"}, "2"},
        {"user file under HOME over QXPATH", true, true, {"program.qxx"}, "3"},
        {"--useconfig alone, no user file", true, true, {"--useconfig", "GIVEN", "program.qxx"}, "4"},
        {"command line over every file", true, true, {"-c", "5", "program.qxx"}, "5"},
    };
    std::string const example = exampleConfiguration();
    ASSERT_NE(example.find("system.chip0.core0.node-type = vorn"), std::string::npos);
    std::string const given = m_directory.write("given.cfg", example + "chip = 4\n");
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(m_directory.file("calls.log").c_str());
        std::remove(m_directory.file("config/target_device.cfg").c_str());
        std::remove(m_directory.file("home/target_device.cfg").c_str());
        if (c.systemFile) m_directory.write("config/target_device.cfg", example + "chip = 2\n");
        if (c.userFile) m_directory.write("home/target_device.cfg", "chip = 3\n");
        std::vector<std::string> arguments = c.arguments;
        for (std::string& argument : arguments) {
            if (argument == "GIVEN") argument = given;
        }
        Subprocess::Result const result = run(arguments);
        ASSERT_EQ(result.error, "");
        EXPECT_EQ(result.out, "Return value = 0\n");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(calls(), cardCallsOnChip(c.chip));
    }
}

TEST_F(QxrunConfigurationTest, UnusableConfigurationIsReportedWithoutTouchingTheCard) {
    std::string const broken =
        m_directory.write("config/target_device.cfg", "# broken\nchip = 1\njust text\n");
    std::string const missing = m_directory.file("missing.cfg");
    struct Case {
        char const* name;
        std::vector<std::string> arguments;
        bool withQxpath;
        std::string err;
    } const cases[] = {
        {"nothing to be found", {"program.qxx"}, false, k_fatal + "\tNo system config filename found.\n"},
        {"syntax error",
         {"program.qxx"},
         true,
         k_fatal + "\t'" + broken +
             "'\n\tSystem properties not ready: 'Syntax error at line number 3 in file: " + broken +
             "\n\t'just text''\n"},
        {"--useconfig file missing",
         {"--useconfig", missing, "program.qxx"},
         true,
         k_fatal + "\t'" + missing + "'\n\tSystem properties not ready: 'Failed to read from " + missing +
             "'\n"},
        {"--useconfig directory",
         {"--useconfig", m_directory.path(), "program.qxx"},
         true,
         k_fatal + "\t'" + m_directory.path() + "'\n\tSystem properties not ready: 'Failed to read from " +
             m_directory.path() + "'\n"},
        // Input without end is not held in memory: it ends at the longest line.
        {"--useconfig /dev/zero",
         {"--useconfig", "/dev/zero", "program.qxx"},
         true,
         k_fatal +
             "\t'/dev/zero'\n\tSystem properties not ready: 'Failed to read from /dev/zero: line 1 is longer "
             "than 4194304 bytes'\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Subprocess::Result const result = run(c.arguments, c.withQxpath);
        ASSERT_EQ(result.error, "");
        EXPECT_EQ(result.out, k_advice);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(calls(), "");
    }
}

TEST_F(QxrunConfigurationTest, OptionErrorsAreAllReportedThenTheUsage) {
    m_directory.write("config/target_device.cfg", exampleConfiguration());
    Subprocess::Result const result =
        run({"program.qxx", "--output", "a", "-o", "b", "--instance", "--chip"});
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.err,
              "Error: --output/-o cannot be specified more than once\n"
              "Error: --chip/-c expected a value\n"
              "Error: --instance/-i expected a value\n");
    EXPECT_EQ(result.out, k_usage);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(calls(), "");
}

}  // namespace

#endif  // QXRUN_PATH
