// End-to-end tests of qxrun: the built program runs as a child process
// with the test host library on LD_LIBRARY_PATH, a temporary directory as
// HOME and working directory, and a small written target_device.cfg. Its
// standard output, standard error and exit status are compared exactly;
// the calls it made on the card are read from the test library's log.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/Subprocess.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TestTexts.h"

using TestSupport::Subprocess;
using TestSupport::TemporaryDirectory;
using namespace std::chrono_literals;

namespace {

using Environment = std::vector<std::pair<std::string, std::string>>;
using Calls = std::vector<std::string>;

std::string versionBanner() {
    return TestSupport::versionBanner("qxrun Orvalis loader utility",
                                      "qxrun is part of the Orvalis accelerator software kit.\n"
                                      "It loads a qxx executable onto an accelerator processor and runs it.\n"
                                      "Report problems to your Orvalis support contact.\n");
}

// The calls of a run without failure, each prefixed with the variant.
struct CardCalls {
    std::string variant = "direct";
    int mode = 1;
    std::string host = "(null)";
    std::string instance = "0";
    std::string chip = "0";
    std::string trace_file;  // empty: no trace

    std::string call(std::string const& text) const { return variant + " " + text; }
    std::string trace(std::string const& value) const {
        return call("set_system_param code=16 chip=" + chip + " value=" + value);
    }
    std::string newCall() const { return call("new mode=" + std::to_string(mode)); }
    std::string connect() const { return call("connect host=" + host + " instance=" + instance); }
    std::string errorString(int code) const {
        return call("get_error_string code=" + std::to_string(code) + " size=100");
    }
    std::string registration() const { return call("register_application chip=" + chip); }
    std::string load() const { return call("load chip=" + chip + " path=program.qxx"); }
    std::string run() const { return call("run chip=" + chip); }
    std::string wait() const { return call("wait_on_terminate chip=" + chip); }
    std::string returnValue() const { return call("get_return_value chip=" + chip); }
    std::string deletion() const { return call("delete"); }

    Calls happy() const {
        Calls calls{newCall(), connect(), registration(), load()};
        if (!trace_file.empty())
            calls.insert(calls.end(), {trace("enable"), trace("qxtracefile=" + trace_file)});
        calls.insert(calls.end(), {run(), wait(), returnValue()});
        if (!trace_file.empty()) calls.push_back(trace("disable"));
        calls.push_back(deletion());
        return calls;
    }
};

struct Case {
    char const* name;
    std::vector<std::string> arguments;
    Environment environment;
    std::string out;
    int status;
    Calls calls;  // empty: the card is not touched, no log is written
    std::string err = "";
};

class QxrunTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_directory.write("config/target_device.cfg", TestSupport::k_systemConfiguration);
        m_directory.write("program.qxx", "not really a qxx executable\n");
    }

    Subprocess qxrun(std::vector<std::string> const& arguments) const {
        return Subprocess(QXRUN_PATH)
            .argv0("qxrun")
            .args(arguments)
            .env("HOME", m_directory.path())
            .env("QXPATH", m_directory.file("config"))
            .env("LD_LIBRARY_PATH", QX_TEST_HOSTLIB_DIR)
            .env("QXTEST_LOG", m_directory.file("calls.log"))
            .workingDirectory(m_directory.path())
            .timeout(60s);
    }

    Calls calls() const {
        Calls lines;
        std::string const log = m_directory.read("calls.log");
        for (std::string::size_type start = 0, end; (end = log.find('\n', start)) != std::string::npos;
             start = end + 1)
            lines.push_back(log.substr(start, end - start));
        return lines;
    }

    void check(Case const& c) {
        SCOPED_TRACE(c.name);
        std::remove(m_directory.file("calls.log").c_str());
        Subprocess process = qxrun(c.arguments);
        for (auto const& [name, value] : c.environment) {
            if (name == "-")
                process.unsetEnv(value);
            else
                process.env(name, value);
        }
        Subprocess::Result const result = process.run();
        ASSERT_EQ("", result.error);
        ASSERT_FALSE(result.timed_out);
        EXPECT_EQ(c.out, result.out);
        EXPECT_EQ(c.err, result.err);
        EXPECT_EQ(c.status, result.exit_status);
        EXPECT_EQ(c.calls, calls());
    }

    void checkAll(std::vector<Case> const& cases) {
        for (Case const& c : cases) check(c);
    }

    TemporaryDirectory m_directory;
};

std::string hostlib(std::string const& subdirectory) {
    return std::string(QX_TEST_HOSTLIB_DIR) + "/" + subdirectory;
}

TEST_F(QxrunTest, RunsTheCardSequenceAndReportsEveryFailure) {
    CardCalls const plain;
    CardCalls traced;
    traced.variant = "trace";
    traced.mode = 2;
    traced.trace_file = "trace.out";
    std::vector<std::string> const path{"program.qxx"};
    std::vector<std::string> const withTrace{"--qxtrace", "trace.out", "program.qxx"};
    Environment const connectFails{{"QXTEST_FAIL", "connect"},
                                   {"QXTEST_FAIL_CODE", "5"},
                                   {"QXTEST_ERROR_TEXT", "no card found"},
                                   {"QXTEST_RETURN_VALUE", "3"}};

    checkAll({
        {"no failure", path, {}, "Return value = 0\n", 1, plain.happy()},
        {"return value", path, {{"QXTEST_RETURN_VALUE", "42"}}, "Return value = 42\n", 1, plain.happy()},
        {"negative return value",
         path,
         {{"QXTEST_RETURN_VALUE", "-7"}},
         "Return value = -7\n",
         1,
         plain.happy()},
        {"handle not created",
         path,
         {{"QXTEST_NEW_NULL", "1"}},
         "Failed to create user handle to the driver API.\nReturn value = 0\n",
         0,
         {plain.newCall()}},
        {"connect fails",
         path,
         connectFails,
         "Error: cannot connect to instance 0 on host PCI\n       no card found\nReturn value = 3\n",
         0,
         {plain.newCall(), plain.connect(), plain.errorString(5), plain.registration(), plain.returnValue(),
          plain.deletion()}},
        {"register fails",
         path,
         {{"QXTEST_FAIL", "register_application"}},
         "Cannot register application on chip 0\nReturn value = 0\n",
         0,
         {plain.newCall(), plain.connect(), plain.registration(), plain.returnValue(), plain.deletion()}},
        {"connect and register fail",
         path,
         {{"QXTEST_FAIL", "connect,register_application"}},
         "Error: cannot connect to instance 0 on host PCI\n       test host library error 1\n"
         "Cannot register application on chip 0\nReturn value = 0\n",
         0,
         {plain.newCall(), plain.connect(), plain.errorString(1), plain.registration(), plain.returnValue(),
          plain.deletion()}},
        {"load fails",
         path,
         {{"QXTEST_FAIL", "load"}},
         "Failed to load file program.qxx on the processor 0\nReturn value = 0\n",
         0,
         {plain.newCall(), plain.connect(), plain.registration(), plain.load(), plain.returnValue(),
          plain.deletion()}},
        {"run fails",
         path,
         {{"QXTEST_FAIL", "run"}, {"QXTEST_RETURN_VALUE", "12"}},
         "Failed to run an application on processor 0\nReturn value = 12\n",
         0,
         {plain.newCall(), plain.connect(), plain.registration(), plain.load(), plain.run(),
          plain.returnValue(), plain.deletion()}},
        {"trace", withTrace, {}, "Return value = 0\n", 1, traced.happy()},
        {"trace enable fails",
         withTrace,
         {{"QXTEST_FAIL", "set_system_param:enable"}},
         "Failed to enable qxtrace on processor 0\nReturn value = 0\n",
         0,
         {traced.newCall(), traced.connect(), traced.registration(), traced.load(), traced.trace("enable"),
          traced.trace("qxtracefile=trace.out"), traced.returnValue(), traced.trace("disable"),
          traced.deletion()}},
        {"trace file name refused",
         withTrace,
         {{"QXTEST_FAIL", "set_system_param:qxtracefile"}},
         "Failed to pass qxtrace filename to processor 0\nReturn value = 0\n",
         0,
         {traced.newCall(), traced.connect(), traced.registration(), traced.load(), traced.trace("enable"),
          traced.trace("qxtracefile=trace.out"), traced.returnValue(), traced.trace("disable"),
          traced.deletion()}},
        {"trace disable fails",
         withTrace,
         {{"QXTEST_FAIL", "set_system_param:disable"}},
         "Failed to disable qxtrace on processor 0\nReturn value = 0\n",
         0,
         traced.happy()},
        {"connect fails with trace",
         withTrace,
         connectFails,
         "Error: cannot connect to instance 0 on host PCI\n       no card found\nReturn value = 3\n",
         0,
         {traced.newCall(), traced.connect(), traced.errorString(5), traced.registration(),
          traced.trace("enable"), traced.trace("qxtracefile=trace.out"), traced.returnValue(),
          traced.trace("disable"), traced.deletion()}},
    });
}

TEST_F(QxrunTest, SelectsSimulatorOrHardwareChipAndInstance) {
    auto with = [](char const* host, char const* instance, char const* chip) {
        CardCalls run;
        run.host = host;
        run.instance = instance;
        run.chip = chip;
        return run;
    };
    CardCalls const sim = with("localhost", "0", "0");
    CardCalls const simbox = with("simbox", "7", "0");
    CardCalls const pciMinusOne = with("(null)", "4294967295", "0");
    CardCalls const highChip = with("(null)", "0", "4294967295");

    checkAll({
        {"--sim", {"--sim", "program.qxx"}, {}, "Return value = 0\n", 1, sim.happy()},
        {"-s", {"-s", "program.qxx"}, {}, "Return value = 0\n", 1, sim.happy()},
        {"--host",
         {"--host", "simbox", "-i", "7", "program.qxx"},
         {},
         "Return value = 0\n",
         1,
         simbox.happy()},
        {"--host with --sim",
         {"--sim", "--host", "simbox", "--instance", "7", "program.qxx"},
         {},
         "Return value = 0\n",
         1,
         simbox.happy()},
        {"--sim connect fails",
         {"--sim", "program.qxx"},
         {{"QXTEST_FAIL", "connect"}},
         "Error: cannot connect to instance 0 on host localhost\n       test host library error 1\n"
         "Return value = 0\n",
         0,
         {sim.newCall(), sim.connect(), sim.errorString(1), sim.registration(), sim.returnValue(),
          sim.deletion()}},
        {"--host connect fails",
         {"--host", "simbox", "-i", "7", "program.qxx"},
         {{"QXTEST_FAIL", "connect"}},
         "Error: cannot connect to instance 7 on host simbox\n       test host library error 1\nReturn value "
         "= 0\n",
         0,
         {simbox.newCall(), simbox.connect(), simbox.errorString(1), simbox.registration(),
          simbox.returnValue(), simbox.deletion()}},
        {"instance printed signed",
         {"-i", "0xffffffff", "program.qxx"},
         {{"QXTEST_FAIL", "connect"}},
         "Error: cannot connect to instance -1 on host PCI\n       test host library error 1\nReturn value = "
         "0\n",
         0,
         {pciMinusOne.newCall(), pciMinusOne.connect(), pciMinusOne.errorString(1),
          pciMinusOne.registration(), pciMinusOne.returnValue(), pciMinusOne.deletion()}},
        {"chip printed unsigned",
         {"-c", "4294967295", "program.qxx"},
         {{"QXTEST_FAIL", "register_application"}},
         "Cannot register application on chip 4294967295\nReturn value = 0\n",
         0,
         {highChip.newCall(), highChip.connect(), highChip.registration(), highChip.returnValue(),
          highChip.deletion()}},
        {"chip 0x10",
         {"-c", "0x10", "program.qxx"},
         {},
         "Return value = 0\n",
         1,
         with("(null)", "0", "16").happy()},
        {"chip 10",
         {"--chip", "10", "program.qxx"},
         {},
         "Return value = 0\n",
         1,
         with("(null)", "0", "10").happy()},
        {"chip abc",
         {"--chip", "abc", "program.qxx"},
         {},
         "Return value = 0\n",
         1,
         with("(null)", "0", "0").happy()},
        {"chip x1",
         {"-c", "x1", "program.qxx"},
         {},
         "Return value = 0\n",
         1,
         with("(null)", "0", "0").happy()},
        {"instance 0x10",
         {"-i", "0x10", "program.qxx"},
         {},
         "Return value = 0\n",
         1,
         with("(null)", "16", "0").happy()},
        {"instance abc",
         {"--instance", "abc", "program.qxx"},
         {},
         "Return value = 0\n",
         1,
         with("(null)", "0", "0").happy()},
        {"fake and qxx do nothing",
         {"--fake", "--qxx", "program.qxx"},
         {},
         "Return value = 0\n",
         1,
         CardCalls().happy()},
        {"verbose",
         {"-v", "program.qxx"},
         {},
         "Using local machine\nRead register map for VORN: 0\nEvent type = programloadedevent\nReturn value "
         "= 0\n",
         1,
         CardCalls().happy()},
    });
}

TEST_F(QxrunTest, ChoosesTheHostLibraryByModeAndEnvironment) {
    auto variant = [](char const* name, int mode, char const* traceFile) {
        CardCalls run;
        run.variant = name;
        run.mode = mode;
        run.trace_file = traceFile;
        return run;
    };
    std::vector<std::string> const path{"program.qxx"};
    checkAll({
        {"QX_QXAPI_TRACE empty",
         path,
         {{"QX_QXAPI_TRACE", ""}},
         "Return value = 0\n",
         1,
         variant("trace", 1, "").happy()},
        {"QX_QXAPI_DEBUGGER",
         path,
         {{"QX_QXAPI_DEBUGGER", "1"}},
         "Return value = 0\n",
         1,
         variant("debugger", 1, "").happy()},
        {"both variables",
         path,
         {{"QX_QXAPI_TRACE", "1"}, {"QX_QXAPI_DEBUGGER", "1"}},
         "Return value = 0\n",
         1,
         variant("debugger", 1, "").happy()},
        {"qxtrace under the debugger",
         {"--qxtrace", "t", "program.qxx"},
         {{"QX_QXAPI_DEBUGGER", ""}},
         "Return value = 0\n",
         1,
         variant("debugger", 2, "t").happy()},
        {"library missing exports",
         path,
         {{"LD_LIBRARY_PATH", hostlib("lacking")}},
         "Failed to load library function QXAPI_connect (0)\n"
         "Failed to create user handle to the driver API.\nReturn value = 0\n",
         0,
         {}},
        {"library the dynamic loader refuses",
         path,
         {{"LD_LIBRARY_PATH", hostlib("broken")}},
         "Error : failed to load shared library.\n " + hostlib("broken") +
             "/liborvald_lib_direct.so: undefined symbol: qxtest_unresolved_symbol\n"
             "Failed to create user handle to the driver API.\nReturn value = 0\n",
         0,
         {}},
    });
}

TEST_F(QxrunTest, ChecksItsArgumentsAndAnswersHelpAndVersion) {
    std::string const onlyOne =
        "Only one unoptioned parameter is supported: full path to the qxx executable.\n";
    std::string const missing = "Missing argument: full path to the qxx executable.\n";
    checkAll({
        {"no argument", {}, {}, missing, 0, {}},
        {"switch but no path", {"-s"}, {}, missing, 0, {}},
        {"two paths", {"program.qxx", "other.qxx"}, {}, onlyOne, 0, {}},
        {"unknown option stays an argument", {"--bogus", "program.qxx"}, {}, onlyOne, 0, {}},
        {"help", {"--help"}, {}, TestSupport::k_qxrunUsage, 1, {}},
        {"help with two paths", {"-h", "program.qxx", "other.qxx"}, {}, TestSupport::k_qxrunUsage, 1, {}},
        {"help and version", {"--version", "--help"}, {}, TestSupport::k_qxrunUsage, 1, {}},
        {"version", {"--version"}, {}, versionBanner(), 1, {}},
        {"version with a path", {"-V", "program.qxx"}, {}, versionBanner(), 1, {}},
        {"option without its value",
         {"program.qxx", "--chip"},
         {},
         TestSupport::k_qxrunUsage,
         1,
         {},
         "Error: --chip/-c expected a value\n"},
        {"--useconfig without a value",
         {"program.qxx", "--useconfig"},
         {},
         "Found the --useconfig option, but: expected a value\n",
         1,
         {}},
    });
}

// Broken configurations are the system model's and the architecture
// registry's business, tested in system_test.cpp.
TEST_F(QxrunTest, FindsTheConfigurationByUseconfigOrAlongQxpath) {
    std::string const config = m_directory.file("config/target_device.cfg");
    checkAll({
        {"--useconfig instead of QXPATH",
         {"--useconfig", config, "program.qxx"},
         {{"-", "QXPATH"}},
         "Return value = 0\n",
         1,
         CardCalls().happy()},
        {"no configuration",
         {"program.qxx"},
         {{"-", "QXPATH"}},
         "The config file: 'target_device.cfg' must be present in the QXPATH\n"
         "Or the --useconfig <config file> option must be used\n",
         1,
         {},
         "Fatal Error: Could not load the system configuration file.\n\tNo system config filename found.\n"},
    });
}

}  // namespace
