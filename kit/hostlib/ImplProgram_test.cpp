#include "hostlib/RunWatch.h"
#include "simulator/Processor.h"
#include "tests/support/HostLibraryTesting.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

using namespace HostLibTest;
using TestSupport::TemporaryDirectory;

namespace {

class ImplProgram : public ::testing::Test {
protected:
    void SetUp() override { clearLibraryEnvironment(m_directory.path()); }

    TemporaryDirectory m_directory;
};

TEST_F(ImplProgram, RunsProgramsToTheirReturnValueOrFault) {
    struct Case {
        char const* name;
        char const* source;
        int waitResult;
        int valueResult;
        int32_t value;
        char const* errorText;
    } const cases[] = {
        {"constant", s_constant, QXAPI_OK, QXAPI_OK, 42, ""},
        {"negative", ".code\nmain:\n li r1, -7\n halt r1\n", QXAPI_OK, QXAPI_OK, -7, ""},
        {"division", ".code\nmain:\n li r1, 1\n li r2, 0\n div r3, r1, r2\n halt r3\n", QXAPI_ERR_FAULT,
         QXAPI_ERR_FAULT, 0, "program fault: division by zero at PC 0x00000010"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Connected handle;
        ASSERT_EQ(do_load(handle.get(), 0, writeProgram(m_directory, c.name, c.source).c_str()), QXAPI_OK);
        ASSERT_EQ(do_run(handle.get(), 0), QXAPI_OK);
        EXPECT_EQ(do_wait_on_terminate(handle.get(), 0), c.waitResult);
        int32_t value = 0;
        EXPECT_EQ(do_get_return_value(handle.get(), 0, &value), c.valueResult);
        EXPECT_EQ(value, c.value);
        if (*c.errorText != '\0') {
            EXPECT_EQ(errorString(handle.get(), c.waitResult), c.errorText);
        }
    }
}

TEST_F(ImplProgram, LoadOfABadFileFailsWithTheReadersText) {
    std::string const valid = writeProgram(m_directory, "valid", s_constant);
    std::ifstream in(valid, std::ios::binary);
    std::string const bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    struct Case {
        char const* name;
        std::string content;
        char const* reason;
    } const cases[] = {
        {"garbage.qxx", "this is not a program at all, just text", "not a qxx file"},
        {"truncated.qxx", bytes.substr(0, bytes.size() / 2), "truncated"},
        {"empty.qxx", "", "qxx"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        std::string const path = m_directory.write(c.name, c.content);
        Connected handle;
        testing::internal::CaptureStderr();
        EXPECT_EQ(do_load(handle.get(), 0, path.c_str()), QXAPI_ERR_LOAD_FAILED);
        std::string const stderrText = testing::internal::GetCapturedStderr();
        std::string const text = errorString(handle.get(), QXAPI_ERR_LOAD_FAILED);
        EXPECT_EQ(text.rfind("cannot load the executable: " + path + ": ", 0), 0u) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        EXPECT_EQ(stderrText, "qxapi: chip 0: cannot load: " + text.substr(28) + "\n");
        EXPECT_EQ(do_run(handle.get(), 0), QXAPI_ERR_NO_PROGRAM);
    }
}

TEST_F(ImplProgram, CycleLimitTurnsAnEndlessProgramIntoAFault) {
    ::setenv("QX_SIM_CYCLE_LIMIT", "1000", 1);
    Connected handle;
    ASSERT_EQ(do_load(handle.get(), 0, writeProgram(m_directory, "endless", s_endless).c_str()), QXAPI_OK);
    testing::internal::CaptureStderr();
    ASSERT_EQ(do_run(handle.get(), 0), QXAPI_OK);
    EXPECT_EQ(do_wait_on_terminate(handle.get(), 0), QXAPI_ERR_FAULT);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "qxapi: chip 0: fault: cycle limit of 1000 cycles reached at PC 0x00000000\n");
}

TEST_F(ImplProgram, DeleteDuringARunEndsItAndReleasesAWaitingThread) {
    QXAPI_handle handle = do_new(QXAPI_LOAD_DIRECT);
    ASSERT_EQ(do_connect(handle, "localhost", 0), QXAPI_OK);
    ASSERT_EQ(do_register_application(handle, 0), QXAPI_OK);
    ASSERT_EQ(do_load(handle, 0, writeProgram(m_directory, "endless", s_endless).c_str()), QXAPI_OK);
    ASSERT_EQ(do_run(handle, 0), QXAPI_OK);
    std::atomic<int> waited{-1};
    std::thread waiter([&] { waited = do_wait_on_terminate(handle, 0); });
    // Deleting before the waiter is inside its wait would test nothing.
    auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (HostLib::RunWatch::waitingThreads() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(HostLib::RunWatch::waitingThreads(), 1);
    testing::internal::CaptureStderr();
    do_delete(handle);
    waiter.join();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(waited, QXAPI_ERR_FAULT);
    EXPECT_EQ(do_run(handle, 0), QXAPI_ERR_INVALID_HANDLE);
}

TEST_F(ImplProgram, HaltStopsAndStartResumes) {
    Connected handle;
    // Each turn of its loop tells the host and waits for it, so the host
    // knows that the program has counted cycles since it (re)started.
    char const* const turns = ".code\nmain:\n signal 1\n wait 2\n jmp main\n";
    ASSERT_EQ(do_load(handle.get(), 0, writeProgram(m_directory, "turns", turns).c_str()), QXAPI_OK);
    ASSERT_EQ(do_start(handle.get(), 0), QXAPI_ERR_NOT_RUNNING);
    uint32_t cycles[2] = {};
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(round == 0 ? do_run(handle.get(), 0) : do_start(handle.get(), 0), QXAPI_OK);
        EXPECT_EQ(do_run(handle.get(), 0), QXAPI_ERR_BUSY);
        if (round > 0) {
            ASSERT_EQ(do_semaphore_signal(handle.get(), 0, 2), QXAPI_OK);
        }
        ASSERT_EQ(do_semaphore_wait(handle.get(), 0, 1), QXAPI_OK);
        EXPECT_EQ(do_halt(handle.get(), 0), QXAPI_OK);
        EXPECT_EQ(do_wait_on_terminate(handle.get(), 0), QXAPI_ERR_STOPPED);
        EXPECT_EQ(
            do_read_control_register(handle.get(), 0, Simulator::ControlRegister::CyclesLow, &cycles[round]),
            QXAPI_OK);
    }
    EXPECT_LT(cycles[0], cycles[1]);
    int32_t value = 0;
    EXPECT_EQ(do_get_return_value(handle.get(), 0, &value), QXAPI_ERR_NO_PROGRAM);
}

TEST_F(ImplProgram, TraceFileIsCompleteWhenTraceIsDisabled) {
    Connected handle;
    std::string const trace = m_directory.file("run.trc");
    ASSERT_EQ(do_load(handle.get(), 0, writeProgram(m_directory, "constant", s_constant).c_str()), QXAPI_OK);
    ASSERT_EQ(do_set_system_param(handle.get(), QXAPI_PARAM_TRACE, 0, "enable"), QXAPI_OK);
    ASSERT_EQ(do_set_system_param(handle.get(), QXAPI_PARAM_TRACE, 0, ("qxtracefile=" + trace).c_str()),
              QXAPI_OK);
    ASSERT_EQ(do_run(handle.get(), 0), QXAPI_OK);
    ASSERT_EQ(do_wait_on_terminate(handle.get(), 0), QXAPI_OK);
    ASSERT_EQ(do_set_system_param(handle.get(), QXAPI_PARAM_TRACE, 0, "disable"), QXAPI_OK);
    std::string const text = m_directory.read("run.trc");
    EXPECT_EQ(text.rfind("# tev trace: cycle, PC, instruction, what it wrote\n", 0), 0u) << text;
    EXPECT_NE(text.find("  00000000  li r1, 42"), std::string::npos) << text;
    EXPECT_NE(text.find("  00000008  halt r1"), std::string::npos) << text;
}

TEST_F(ImplProgram, SystemParametersRefuseUnknownCodesAndValues) {
    Connected handle;
    struct Case {
        int code;
        char const* value;
        int result;
    } const cases[] = {
        {QXAPI_PARAM_TRACE, "enable", QXAPI_OK},
        {QXAPI_PARAM_TRACE, "disable", QXAPI_OK},
        {QXAPI_PARAM_TRACE, "qxtracefile=", QXAPI_ERR_BAD_PARAMETER},
        {QXAPI_PARAM_TRACE, "on", QXAPI_ERR_BAD_PARAMETER},
        {17, "5000", QXAPI_OK},
        {17, "0x100", QXAPI_OK},
        {17, "many", QXAPI_ERR_BAD_PARAMETER},
        {17, "-1", QXAPI_ERR_BAD_PARAMETER},
        {3, "enable", QXAPI_ERR_BAD_PARAMETER},
    };
    for (Case const& c : cases)
        EXPECT_EQ(do_set_system_param(handle.get(), c.code, 0, c.value), c.result)
            << c.code << " " << c.value;
}

TEST_F(ImplProgram, SemaphoresHandOverBetweenHostAndARunningProgram) {
    // The program waits for the host on semaphore 1, stores 7 and hands
    // back on semaphore 2; then it waits again and halts with the word
    // that the host wrote meanwhile.
    char const* const source =
        ".data\nshared: .word 0\n.code\nmain:\n wait 1\n li r1, 7\n li r2, shared\n"
        " stw r1, 0(r2)\n signal 2\n wait 1\n ldw r3, 0(r2)\n halt r3\n";
    Connected handle;
    ASSERT_EQ(do_load(handle.get(), 0, writeProgram(m_directory, "handover", source).c_str()), QXAPI_OK);
    uint64_t shared = 0;
    ASSERT_EQ(do_get_symbol_value(handle.get(), 0, "shared", &shared), QXAPI_OK);
    ASSERT_EQ(do_run(handle.get(), 0), QXAPI_OK);
    ASSERT_EQ(do_semaphore_signal(handle.get(), 0, 1), QXAPI_OK);
    ASSERT_EQ(do_semaphore_wait(handle.get(), 0, 2), QXAPI_OK);
    uint32_t word = 0;
    ASSERT_EQ(do_read_mono_memory(handle.get(), 0, shared, &word, 4), QXAPI_OK);
    EXPECT_EQ(word, 7u);
    word = 99;
    ASSERT_EQ(do_write_mono_memory(handle.get(), 0, shared, &word, 4), QXAPI_OK);
    ASSERT_EQ(do_semaphore_signal(handle.get(), 0, 1), QXAPI_OK);
    ASSERT_EQ(do_wait_on_terminate(handle.get(), 0), QXAPI_OK);
    int32_t value = 0;
    ASSERT_EQ(do_get_return_value(handle.get(), 0, &value), QXAPI_OK);
    EXPECT_EQ(value, 99);
    EXPECT_EQ(do_semaphore_wait(handle.get(), 0, 2), QXAPI_ERR_PROGRAM_ENDED);
}

void recordEvent(QXAPI_handle, uint32_t, int event, void* userData) {
    static_cast<std::vector<int>*>(userData)->push_back(event);
}

TEST_F(ImplProgram, CallbacksSeeEveryEventBeforeWaitReturns) {
    Connected handle;
    std::vector<int> events;
    for (int event = 1; event <= 5; ++event)
        ASSERT_EQ(do_register_callback(handle.get(), 0, event, recordEvent, &events), QXAPI_OK);
    EXPECT_EQ(do_register_callback(handle.get(), 0, 6, recordEvent, &events), QXAPI_ERR_BAD_EVENT);
    ASSERT_EQ(do_load(handle.get(), 0, writeProgram(m_directory, "constant", s_constant).c_str()), QXAPI_OK);
    ASSERT_EQ(do_run(handle.get(), 0), QXAPI_OK);
    ASSERT_EQ(do_wait_on_terminate(handle.get(), 0), QXAPI_OK);
    EXPECT_EQ(events, (std::vector<int>{1, 2, 4}));
}

TEST_F(ImplProgram, HardwarePathReportsTheMissingDeviceNode) {
    ::setenv("QX_DEVICE_DIR", m_directory.path().c_str(), 1);
    struct Case {
        uint32_t instance;
        char const* deviceNode;  // made before connecting, when not empty
        int result;
        std::string text;
    } const cases[] = {
        {0, "", QXAPI_ERR_NO_DEVICE,
         "no accelerator card found: no device node " + m_directory.path() + "/orvald*"},
        {2, "", QXAPI_ERR_NO_DEVICE,
         "no accelerator card found: no device node " + m_directory.path() + "/orvald2"},
        {0, "orvald0", QXAPI_ERR_DEVICE_UNSUPPORTED,
         "accelerator card not supported by the reference host library: device node " + m_directory.path() +
             "/orvald0 found, but only the simulator can be used with this library"},
    };
    for (Case const& c : cases) {
        if (*c.deviceNode != '\0') m_directory.write(c.deviceNode, "");
        QXAPI_handle handle = do_new(QXAPI_LOAD_DIRECT);
        EXPECT_EQ(do_connect(handle, nullptr, c.instance), c.result);
        // A text longer than a 100-byte buffer holds is cut after a whole
        // clause or word of the full text.
        std::string const text = errorString(handle, c.result);
        std::string const shown = c.text.size() <= 99 ? c.text : text;
        EXPECT_LE(shown.size(), 99u);
        EXPECT_EQ(c.text.compare(0, shown.size(), shown), 0) << shown;
        EXPECT_TRUE(shown.size() == c.text.size() || c.text[shown.size()] == ' ' ||
                    c.text[shown.size()] == ',' || c.text[shown.size()] == ':')
            << shown;
        EXPECT_EQ(text, shown);
        EXPECT_EQ(do_register_application(handle, 0), QXAPI_ERR_NOT_CONNECTED);
        do_delete(handle);
    }
}

TEST_F(ImplProgram, OtherHostsAndBadConfigurationsRefuseToConnect) {
    QXAPI_handle handle = do_new(QXAPI_LOAD_DIRECT);
    // Other hosts are simulator servers; nothing listens on port 1.
    ::setenv("QXSIM_PORT", "1", 1);
    EXPECT_EQ(do_connect(handle, "127.0.0.1", 0), QXAPI_ERR_HOST_UNSUPPORTED);
    ::unsetenv("QXSIM_PORT");
    EXPECT_EQ(errorString(handle, QXAPI_ERR_HOST_UNSUPPORTED),
              "simulator not available: cannot connect to 127.0.0.1 port 1: connect: Connection refused");
    ::setenv("QX_SIM_CHIPS", "0", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(do_connect(handle, "localhost", 0), QXAPI_ERR_CONFIGURATION);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "qxapi: configuration: QX_SIM_CHIPS: '0' is not a number from 1 to 16\n");
    ::setenv("QX_SIM_CHIPS", "2", 1);
    EXPECT_EQ(do_connect(handle, "localhost", 0), QXAPI_OK);
    EXPECT_EQ(do_connect(handle, "localhost", 0), QXAPI_ERR_ALREADY_CONNECTED);
    uint32_t chips = 0;
    EXPECT_EQ(do_num_processors(handle, &chips), QXAPI_OK);
    EXPECT_EQ(chips, 2u);
    EXPECT_EQ(do_register_application(handle, 2), QXAPI_ERR_BAD_CHIP);
    do_delete(handle);
}

}  // namespace
