// End-to-end tests of the kit: the sample programs of examples/ are
// assembled with the assembler library into a temporary directory and run
// by the real qxrun on the reference host libraries, which it finds
// through its run path (LD_LIBRARY_PATH is not set, except under the
// sanitizers). The configuration is
// a copy of examples/target_device.cfg found along QXPATH.
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/KitRuns.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TemporaryDirectory.h"

using TestSupport::Environment;
using TestSupport::readFile;
using TestSupport::Subprocess;
using TestSupport::TemporaryDirectory;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> lines(std::string const& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

class Kit : public ::testing::Test {
protected:
    void SetUp() override {
        m_configuration = readFile(std::string(QX_KIT_EXAMPLES_DIR) + "/target_device.cfg");
        ASSERT_FALSE(m_configuration.empty());
        m_directory.write("cfg/target_device.cfg", m_configuration);
    }

    std::string program(std::string const& name, std::string const& source = std::string()) const {
        return TestSupport::assembleProgram(m_directory, name, source);
    }

    Subprocess::Result qxrun(std::vector<std::string> const& arguments,
                             Environment const& environment = {}) const {
        return TestSupport::runQxrun(m_directory, m_directory.file("cfg"), arguments, environment);
    }

    TemporaryDirectory m_directory;
    std::string m_configuration;
};

TEST_F(Kit, HostLibrariesLieBesideTheFramework) {
    for (char const* variant : {"direct", "trace", "debugger"})
        EXPECT_FALSE(
            readFile(std::string(QX_HOSTLIB_LIBRARY_DIR) + "/liborvald_lib_" + variant + ".so").empty())
            << variant;
}

TEST_F(Kit, SamplesPrintTheirReturnValue) {
    for (TestSupport::ExampleResult const& c : TestSupport::k_exampleResults) {
        Subprocess::Result const result = qxrun({"--sim", program(c.name)});
        EXPECT_EQ(result.out, c.out) << c.name;
        EXPECT_EQ(result.err, "") << c.name;
        EXPECT_EQ(result.exit_status, 1) << c.name;
    }
}

TEST_F(Kit, ReductionUsesTheConfiguredNumberOfPes) {
    std::string configuration = m_configuration;
    std::string const key = "system.chip0.core0.total-number-pes = 64";
    ASSERT_NE(configuration.find(key), std::string::npos);
    configuration.replace(configuration.find(key), key.size(), "system.chip0.core0.total-number-pes = 16");
    m_directory.write("cfg/target_device.cfg", configuration);
    Subprocess::Result const result = qxrun({"--sim", program("reduction")});
    EXPECT_EQ(result.out, "Return value = 1240\n");  // 0*0 + 1*1 + ... + 15*15
    EXPECT_EQ(result.exit_status, 1);
}

TEST_F(Kit, QxtraceLeavesAReadableTraceAndNoCallLog) {
    Subprocess::Result const result = qxrun({"--qxtrace", "run.trc", "--sim", program("loop")});
    EXPECT_EQ(result.out, "Return value = 5050\n");
    EXPECT_EQ(result.exit_status, 1);
    std::vector<std::string> const trace = lines(m_directory.read("run.trc"));
    ASSERT_EQ(trace.size(), 307u);
    EXPECT_EQ(trace[0], "# tev trace: cycle, PC, instruction, what it wrote");
    EXPECT_EQ(trace[1].substr(0, 40), "         0  00000000  li r1, 0          ");
    EXPECT_NE(trace.back().find("halt r1"), std::string::npos) << trace.back();

    // Selecting the trace library by its load mode asks for no call log.
    EXPECT_EQ(result.err, "");
}

TEST_F(Kit, TraceVariantLogsEveryCallOnStandardErrorWhenAskedWithAnEmptyVariable) {
    Subprocess::Result const result =
        qxrun({"--qxtrace", "run.trc", "--sim", program("loop")}, {{"QX_QXAPI_TRACE", ""}});
    EXPECT_EQ(result.out, "Return value = 5050\n");
    std::vector<std::string> const calls = lines(result.err);
    std::vector<std::string> const names = {"new",
                                            "connect",
                                            "register_application",
                                            "load",
                                            "set_system_param",
                                            "set_system_param",
                                            "run",
                                            "wait_on_terminate",
                                            "get_return_value",
                                            "set_system_param",
                                            "delete"};
    ASSERT_EQ(calls.size(), names.size()) << result.err;
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(calls[i].rfind("qxapi: " + names[i] + "(", 0), 0u) << calls[i];
    EXPECT_EQ(calls[0].rfind("qxapi: new(load_mode=2) = 0x", 0), 0u) << calls[0];
    EXPECT_NE(calls[5].find("value=\"qxtracefile=run.trc\") = 0 ("), std::string::npos) << calls[5];
}

TEST_F(Kit, TraceVariantAppendsTheCallLogToTheNamedFile) {
    m_directory.write("calls.log", "earlier line\n");
    Subprocess::Result const result =
        qxrun({"--sim", program("constant")}, {{"QX_QXAPI_TRACE", m_directory.file("calls.log")}});
    EXPECT_EQ(result.out, "Return value = 42\n");
    EXPECT_EQ(result.err, "");
    std::vector<std::string> const calls = lines(m_directory.read("calls.log"));
    ASSERT_EQ(calls.size(), 9u);
    EXPECT_EQ(calls[0], "earlier line");
    EXPECT_EQ(calls[1].rfind("qxapi: new(load_mode=1) = 0x", 0), 0u) << calls[1];
    EXPECT_NE(calls[2].find("host=\"localhost\", instance=0) = 0 ("), std::string::npos) << calls[2];
    EXPECT_EQ(calls[8].rfind("qxapi: delete(handle=0x", 0), 0u) << calls[8];
}

TEST_F(Kit, DebuggerVariantReportsDeviceEvents) {
    std::string const path = program("negative");
    Subprocess::Result const result = qxrun({"--sim", path}, {{"QX_QXAPI_DEBUGGER", ""}});
    EXPECT_EQ(result.out, "Return value = -7\n");
    EXPECT_EQ(result.err, "qxdebug: chip 0: loaded " + path +
                              "\nqxdebug: chip 0: started\nqxdebug: chip 0: terminated, return value -7\n");
}

TEST_F(Kit, WithoutACardTheHardwarePathReportsTheMissingDevice) {
    if (DIR* devices = ::opendir("/dev")) {
        bool card = false;
        while (dirent const* entry = ::readdir(devices))
            card = card || std::string(entry->d_name).rfind("orvald", 0) == 0;
        ::closedir(devices);
        if (card) GTEST_SKIP() << "this machine has an accelerator card";
    }
    Subprocess::Result const result = qxrun({program("constant")});
    EXPECT_EQ(result.out,
              "Error: cannot connect to instance 0 on host PCI\n"
              "       no accelerator card found: no device node /dev/orvald*\n"
              "Cannot register application on chip 0\n"
              "Return value = 0\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 0);
}

TEST_F(Kit, FailuresOfTheProgramReachQxrunsOutput) {
    std::string const corrupt = m_directory.write("corrupt.qxx", "definitely not an executable");
    struct Case {
        char const* name;
        std::string path;
        Environment environment;
        std::string out;
        std::string err;
        int status;
    } const cases[] = {
        {"corrupt file",
         corrupt,
         {},
         "Failed to load file " + corrupt + " on the processor 0\nReturn value = 0\n",
         "qxapi: chip 0: cannot load: " + corrupt + ": not a qxx file (bad magic number)\n",
         0},
        {"fault",
         program("fault", ".code\nmain:\n li r1, 1\n li r2, 0\n div r3, r1, r2\n halt r3\n"),
         {},
         "Return value = 0\n",
         "qxapi: chip 0: fault: division by zero at PC 0x00000010\n",
         1},
        {"cycle limit",
         program("endless", ".code\nmain:\n jmp main\n"),
         {{"QX_SIM_CYCLE_LIMIT", "5000"}},
         "Return value = 0\n",
         "qxapi: chip 0: fault: cycle limit of 5000 cycles reached at PC 0x00000000\n",
         1},
    };
    for (Case const& c : cases) {
        Subprocess::Result const result = qxrun({"--sim", c.path}, c.environment);
        EXPECT_EQ(result.out, c.out) << c.name;
        EXPECT_EQ(result.err, c.err) << c.name;
        EXPECT_EQ(result.exit_status, c.status) << c.name;
    }
}

}  // namespace

namespace {

TEST_F(Kit, ConnectFailuresFitTheLoadersMessageAndGiveTheWholeReasonOnStandardError) {
    m_directory.write("dev/orvald0", "");
    struct Case {
        char const* name;
        std::vector<std::string> arguments;
        Environment environment;
        std::string reason;     // what qxrun prints in its 100-byte buffer
        std::string errPrefix;  // the start of the whole reason on standard error
    } const cases[] = {
        {"device node found",
         {},
         {{"QX_DEVICE_DIR", "dev"}},
         "accelerator card not supported by the reference host library: device node dev/orvald0 found",
         "qxapi: connect: accelerator card not supported by the reference host library: device node "
         "dev/orvald0 found, but only the simulator can be used with this library\n"},
        {"unknown host",
         {"--host", "no-such-host.invalid"},
         {},
         "simulator not available: cannot connect to no-such-host.invalid port 7411",
         "qxapi: connect: simulator not available: cannot connect to no-such-host.invalid port 7411: cannot "
         "resolve no-such-host.invalid: "},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back(program("constant"));
        Subprocess::Result const result = qxrun(arguments, c.environment);
        std::string const host = c.arguments.empty() ? "PCI" : c.arguments.back();
        EXPECT_EQ(result.out, TestSupport::connectFailureOut(host, c.reason));
        EXPECT_EQ(result.err.substr(0, c.errPrefix.size()), c.errPrefix);
        EXPECT_EQ(result.exit_status, 0);
    }
}

}  // namespace
