// Tests of the host library binding and of the entry points that bind,
// against the test host library (tests/hostlib).
//
// dlopen finds a bare file name through LD_LIBRARY_PATH as the dynamic
// loader read it when the process started. So every test runs its body in
// a fresh process of this binary (a death test in the "threadsafe" style
// re-executes it) whose LD_LIBRARY_PATH names the test library's
// directory. The child also starts unbound, whatever ran before it, and
// the binding state of the parent stays untouched.
#include "hostapi/Binding.h"

#include <dlfcn.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "qxapi/qxapi.h"
#include "tests/support/ScopedVariable.h"

using namespace HostApi;

namespace {

char const* const s_file_names[] = {"liborvald_lib_direct.so", "liborvald_lib_trace.so",
                                    "liborvald_lib_debugger.so"};

std::string hostlibDirectory(std::string const& subdirectory = "") {
    std::string directory = QX_TEST_HOSTLIB_DIR;
    return subdirectory.empty() ? directory : directory + "/" + subdirectory;
}

bool isLoaded(char const* fileName) {
    void* library = dlopen(fileName, RTLD_NOW | RTLD_NOLOAD);
    if (library != nullptr) dlclose(library);
    return library != nullptr;
}

// The one library file of the three that is loaded, or "none" / "several".
std::string loadedLibrary() {
    std::string found = "none";
    for (char const* name : s_file_names) {
        if (!isLoaded(name)) continue;
        found = found == "none" ? name : "several";
    }
    return found;
}

void setOrUnset(char const* name, char const* value) {
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

int filledSlots(SlotEntry const* slots, int count) {
    int filled = 0;
    for (int i = 0; i < count; ++i) filled += slots[i].load() != nullptr;
    return filled;
}

void expectUnbound() {
    EXPECT_EQ(nullptr, s_qxapi_lib_handle);
    EXPECT_EQ(0, s_library_load_mode);
    EXPECT_EQ(0, s_library_ref_count);
    EXPECT_EQ(0, filledSlots(s_public_slots, s_public_slot_count));
    EXPECT_EQ(0, filledSlots(s_private_slots, s_private_slot_count));
    EXPECT_EQ("none", loadedLibrary());
}

// Redirects standard output into a temporary file until text() is called.
class StdoutCapture {
public:
    StdoutCapture() : m_file(std::tmpfile()) {
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        dup2(fileno(m_file), STDOUT_FILENO);
    }
    ~StdoutCapture() {
        restore();
        std::fclose(m_file);
    }
    StdoutCapture(StdoutCapture const&) = delete;
    StdoutCapture& operator=(StdoutCapture const&) = delete;

    std::string text() {
        restore();
        std::string captured;
        std::rewind(m_file);
        for (int c; (c = std::fgetc(m_file)) != EOF;) captured += static_cast<char>(c);
        return captured;
    }

private:
    void restore() {
        if (m_saved < 0) return;
        std::fflush(stdout);
        dup2(m_saved, STDOUT_FILENO);
        close(m_saved);
        m_saved = -1;
    }

    std::FILE* m_file;
    int m_saved = -1;
};

// A log file for the test library, removed when the test's body ends.
class CallLog {
public:
    CallLog() : m_path(std::string(P_tmpdir) + "/qx_binding_log_" + std::to_string(getpid())) {
        std::remove(m_path.c_str());
        setenv("QXTEST_LOG", m_path.c_str(), 1);
    }
    ~CallLog() {
        unsetenv("QXTEST_LOG");
        std::remove(m_path.c_str());
    }
    CallLog(CallLog const&) = delete;
    CallLog& operator=(CallLog const&) = delete;

    std::vector<std::string> lines() const {
        std::vector<std::string> lines;
        std::ifstream in(m_path);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

private:
    std::string m_path;
};

// Runs body and returns whether no expectation failed; failures are
// written to standard error, the only output a death test shows.
bool passes(std::function<void()> const& body) {
    ::testing::TestPartResultArray results;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results);
        body();
    }
    bool passed = true;
    for (int i = 0; i < results.size(); ++i) {
        ::testing::TestPartResult const& result = results.GetTestPartResult(i);
        if (!result.failed()) continue;
        std::fprintf(stderr, "%s:%d: Failure\n%s\n", result.file_name() ? result.file_name() : "?",
                     result.line_number(), result.message());
        passed = false;
    }
    return passed;
}

class BindingTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (access((hostlibDirectory() + "/liborvald_lib_direct.so").c_str(), R_OK) != 0)
            GTEST_SKIP() << "the test host library is not in " << hostlibDirectory()
                         << "; build the target qx_test_hostlibs first";
    }

    // Runs body in a new process of this binary whose LD_LIBRARY_PATH starts
    // with directory; a failed expectation in the child fails the test.
    void inChild(std::string const& directory, std::function<void()> const& body) {
        char const* old = std::getenv("LD_LIBRARY_PATH");
        TestSupport::ScopedVariable const path("LD_LIBRARY_PATH",
                                               old != nullptr ? directory + ":" + old : directory);
        std::string const style = GTEST_FLAG_GET(death_test_style);
        GTEST_FLAG_SET(death_test_style, "threadsafe");

        EXPECT_EXIT(std::exit(passes(body) ? 0 : 1), ::testing::ExitedWithCode(0), "");

        GTEST_FLAG_SET(death_test_style, style);
    }
};

TEST_F(BindingTest, ChoosesLibraryByModeThenTraceThenDebuggerVariable) {
    struct Case {
        int mode;
        char const* trace;     // QX_QXAPI_TRACE, null for unset
        char const* debugger;  // QX_QXAPI_DEBUGGER, null for unset
        char const* expected;
    } const cases[] = {
        {1, nullptr, nullptr, "liborvald_lib_direct.so"},   {2, nullptr, nullptr, "liborvald_lib_trace.so"},
        {3, nullptr, nullptr, "liborvald_lib_debugger.so"}, {1, "1", nullptr, "liborvald_lib_trace.so"},
        {1, "", nullptr, "liborvald_lib_trace.so"},         {3, "", nullptr, "liborvald_lib_trace.so"},
        {1, nullptr, "", "liborvald_lib_debugger.so"},      {2, nullptr, "1", "liborvald_lib_debugger.so"},
        {1, "1", "1", "liborvald_lib_debugger.so"},
    };
    inChild(hostlibDirectory(), [&] {
        for (Case const& c : cases) {
            SCOPED_TRACE(::testing::Message()
                         << "mode " << c.mode << ", trace " << (c.trace ? c.trace : "unset") << ", debugger "
                         << (c.debugger ? c.debugger : "unset"));
            setOrUnset("QX_QXAPI_TRACE", c.trace);
            setOrUnset("QX_QXAPI_DEBUGGER", c.debugger);
            ASSERT_EQ(1, loadLibStub(c.mode));
            EXPECT_EQ(c.expected, loadedLibrary());
            EXPECT_EQ(c.mode, s_library_load_mode);
            unloadLibStub();
            expectUnbound();
        }
    });
}

TEST_F(BindingTest, RefusesInvalidModeSilently) {
    inChild(hostlibDirectory(), [] {
        for (int mode : {0, 4, -1}) {
            StdoutCapture output;
            EXPECT_EQ(0, loadLibStub(mode)) << mode;
            EXPECT_EQ(0, __protected_loadLibStub(mode)) << mode;
            EXPECT_EQ("", output.text()) << mode;
            expectUnbound();
        }
        // An open library does not make an invalid mode acceptable.
        ASSERT_EQ(1, loadLibStub(1));
        EXPECT_EQ(0, loadLibStub(4));
        EXPECT_EQ(1, s_library_ref_count);
        unloadLibStub();
    });
}

TEST_F(BindingTest, SharesOneOpenLibraryAndClosesItAtTheLastRelease) {
    inChild(hostlibDirectory(), [] {
        StdoutCapture output;
        ASSERT_EQ(1, loadLibStub(1));
        void* const library = s_qxapi_lib_handle;
        ASSERT_EQ(1, loadLibStub(1));
        ASSERT_EQ(1, __protected_loadLibStub(1));
        EXPECT_EQ(library, s_qxapi_lib_handle);
        EXPECT_EQ(2, s_library_ref_count);

        unloadLibStub();
        EXPECT_EQ(library, s_qxapi_lib_handle);
        EXPECT_EQ(1, s_library_ref_count);
        EXPECT_EQ(1, s_library_load_mode);
        EXPECT_EQ(s_public_slot_count, filledSlots(s_public_slots, s_public_slot_count));
        EXPECT_EQ(s_private_slot_count, filledSlots(s_private_slots, s_private_slot_count));

        unloadLibStub();
        expectUnbound();

        // Binding again starts from scratch.
        ASSERT_EQ(1, loadLibStub(1));
        EXPECT_EQ(s_public_slot_count, filledSlots(s_public_slots, s_public_slot_count));
        EXPECT_EQ(1, s_library_ref_count);
        unloadLibStub();
        EXPECT_EQ("", output.text());
    });
}

TEST_F(BindingTest, RefusesSecondModeSilentlyAndKeepsTheOpenLibrary) {
    inChild(hostlibDirectory(), [] {
        ASSERT_EQ(1, loadLibStub(1));
        void* const library = s_qxapi_lib_handle;
        {
            StdoutCapture output;
            EXPECT_EQ(0, loadLibStub(2));
            EXPECT_EQ("", output.text());
        }
        EXPECT_EQ(library, s_qxapi_lib_handle);
        EXPECT_EQ(1, s_library_load_mode);
        EXPECT_EQ(1, s_library_ref_count);
        EXPECT_EQ("liborvald_lib_direct.so", loadedLibrary());

        // Same mode after the environment changed: a reference, no reopening.
        setenv("QX_QXAPI_TRACE", "1", 1);
        EXPECT_EQ(1, loadLibStub(1));
        EXPECT_EQ(2, s_library_ref_count);
        EXPECT_EQ("liborvald_lib_direct.so", loadedLibrary());
        unsetenv("QX_QXAPI_TRACE");
        unloadLibStub();
        unloadLibStub();
        expectUnbound();
    });
}

TEST_F(BindingTest, ReportsOnlyTheFirstMissingExportAndClosesTheLibrary) {
    inChild(hostlibDirectory("lacking"), [] {
        StdoutCapture output;
        EXPECT_EQ(0, loadLibStub(1));
        EXPECT_EQ("Failed to load library function QXAPI_connect (0)\n", output.text());
        EXPECT_EQ(nullptr, s_qxapi_lib_handle);
        EXPECT_EQ(0, s_library_load_mode);
        EXPECT_EQ(0, s_library_ref_count);
        EXPECT_EQ("none", loadedLibrary());
    });
}

TEST_F(BindingTest, ReportsLibraryTheDynamicLoaderRefuses) {
    std::string const directory = hostlibDirectory("broken");
    inChild(directory, [&] {
        StdoutCapture output;
        EXPECT_EQ(0, loadLibStub(1));
        EXPECT_EQ("Error : failed to load shared library.\n " + directory +
                      "/liborvald_lib_direct.so: undefined symbol: qxtest_unresolved_symbol\n",
                  output.text());
        expectUnbound();
    });
}

TEST_F(BindingTest, PrivateBindingNeedsTheLibraryOpenInTheSameMode) {
    inChild(hostlibDirectory(), [] {
        EXPECT_EQ(0, __protected_loadLibStub(1));
        ASSERT_EQ(1, loadLibStub(1));
        EXPECT_EQ(0, __protected_loadLibStub(2));
        EXPECT_EQ(0, filledSlots(s_private_slots, s_private_slot_count));

        EXPECT_EQ(1, __protected_loadLibStub(1));
        EXPECT_EQ(s_private_slot_count, filledSlots(s_private_slots, s_private_slot_count));
        EXPECT_EQ(1, s_library_ref_count);
        EXPECT_EQ(1, s_library_load_mode);
        unloadLibStub();
        expectUnbound();
    });
}

void sentinel() {}

TEST_F(BindingTest, PrivateBindingStopsAtTheFirstMissingExport) {
    inChild(hostlibDirectory("lacking_private"), [] {
        ASSERT_EQ(1, loadLibStub(1));
        void* const marker = reinterpret_cast<void*>(&sentinel);
        for (int i = 0; i < s_private_slot_count; ++i) s_private_slots[i].store(marker);

        StdoutCapture output;
        EXPECT_EQ(0, __protected_loadLibStub(1));
        EXPECT_EQ("", output.text());

        // __qxapi_get_loader is the fifth: the four before it are resolved,
        // it is null, and the ones after it were not looked up.
        for (int i = 0; i < s_private_slot_count; ++i) {
            void* const found = dlsym(s_qxapi_lib_handle, s_private_slots[i].export_name);
            void* const expected = i < 4 ? found : i == 4 ? nullptr : marker;
            EXPECT_EQ(expected, s_private_slots[i].load()) << s_private_slots[i].entry_name;
        }
        EXPECT_EQ(1, s_library_ref_count);
        unloadLibStub();
        expectUnbound();
    });
}

TEST_F(BindingTest, EverySlotHoldsItsOwnExport) {
    inChild(hostlibDirectory(), [] {
        ASSERT_EQ(50, s_public_slot_count);
        ASSERT_EQ(13, s_private_slot_count);
        ASSERT_EQ(1, loadLibStub(1));
        ASSERT_EQ(1, __protected_loadLibStub(1));
        void* const library = dlopen("liborvald_lib_direct.so", RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(nullptr, library);
        for (SlotEntry const* slots : {s_public_slots, s_private_slots}) {
            int const count = slots == s_public_slots ? s_public_slot_count : s_private_slot_count;
            for (int i = 0; i < count; ++i) {
                void* const exported = dlsym(library, slots[i].export_name);
                EXPECT_NE(nullptr, exported) << slots[i].export_name;
                EXPECT_EQ(exported, slots[i].load()) << slots[i].entry_name;
            }
        }
        dlclose(library);
        unloadLibStub();
    });
}

TEST_F(BindingTest, NewAndDeleteTakeAndGiveBackReferences) {
    inChild(hostlibDirectory(), [] {
        CallLog log;
        QXAPI_handle first = QXAPI_new(1);
        QXAPI_handle second = QXAPI_new(1);
        ASSERT_NE(nullptr, first);
        ASSERT_NE(nullptr, second);
        EXPECT_NE(first, second);
        EXPECT_EQ(2, s_library_ref_count);

        QXAPI_delete(first);
        EXPECT_EQ(1, s_library_ref_count);
        EXPECT_EQ(s_public_slot_count, filledSlots(s_public_slots, s_public_slot_count));
        QXAPI_delete(nullptr);
        EXPECT_EQ(1, s_library_ref_count);

        QXAPI_delete(second);
        expectUnbound();
        EXPECT_EQ((std::vector<std::string>{"direct new mode=1", "direct new mode=1", "direct delete",
                                            "direct delete"}),
                  log.lines());
    });
}

TEST_F(BindingTest, NewFailsWithoutCallingTheLibraryOrKeepsTheReferenceOfANullHandle) {
    inChild(hostlibDirectory(), [] {
        CallLog log;
        EXPECT_EQ(nullptr, QXAPI_new(5));
        EXPECT_TRUE(log.lines().empty());
        expectUnbound();

        setenv("QXTEST_NEW_NULL", "1", 1);
        EXPECT_EQ(nullptr, QXAPI_new(2));
        unsetenv("QXTEST_NEW_NULL");
        EXPECT_EQ(1, s_library_ref_count);
        EXPECT_EQ(2, s_library_load_mode);
        EXPECT_EQ(std::vector<std::string>{"trace new mode=2"}, log.lines());
        unloadLibStub();
    });
}

TEST_F(BindingTest, EntryPointsForwardArgumentsAndResultsToTheirExports) {
    inChild(hostlibDirectory(), [] {
        CallLog log;
        QXAPI_handle handle = QXAPI_new(1);
        ASSERT_NE(nullptr, handle);
        setenv("QXTEST_FAIL", "reset", 1);
        setenv("QXTEST_FAIL_CODE", "9", 1);
        setenv("QXTEST_RETURN_VALUE", "-5", 1);
        setenv("QXTEST_ERROR_TEXT", "card on fire", 1);

        EXPECT_EQ(0, QXAPI_connect(handle, "simhost", 3));
        EXPECT_EQ(0, QXAPI_connect(handle, nullptr, 0));
        EXPECT_EQ(9, QXAPI_reset(handle, 4));
        EXPECT_EQ(0, QXAPI_load(handle, 2, "/tmp/p.qxx"));
        EXPECT_EQ(0, QXAPI_set_system_param(handle, 16, 2, "qxtracefile=t.out"));
        EXPECT_EQ(0, QXAPI_wait_on_terminate(handle, 2));
        int32_t value = 0;
        EXPECT_EQ(0, QXAPI_get_return_value(handle, 2, &value));
        EXPECT_EQ(-5, value);
        char text[100] = "";
        EXPECT_EQ(0, QXAPI_get_error_string(handle, 9, text, sizeof text));
        EXPECT_STREQ("card on fire", text);
        uint32_t count = 0;
        EXPECT_EQ(0, QXAPI_num_cards(handle, &count));
        QXAPI_version_record record;
        EXPECT_EQ(0, QXAPI_version(handle, 3, &record));
        ASSERT_EQ(1, __protected_loadLibStub(1));
        void* loader = nullptr;
        EXPECT_EQ(0, __qxapi_get_loader(handle, 0, &loader));
        __qxapi_set_reverse_notify_socket(handle, 3);
        QXAPI_delete(handle);

        for (char const* name :
             {"QXTEST_FAIL", "QXTEST_FAIL_CODE", "QXTEST_RETURN_VALUE", "QXTEST_ERROR_TEXT"})
            unsetenv(name);
        EXPECT_EQ((std::vector<std::string>{
                      "direct new mode=1",
                      "direct connect host=simhost instance=3",
                      "direct connect host=(null) instance=0",
                      "direct reset",
                      "direct load chip=2 path=/tmp/p.qxx",
                      "direct set_system_param code=16 chip=2 value=qxtracefile=t.out",
                      "direct wait_on_terminate chip=2",
                      "direct get_return_value chip=2",
                      "direct get_error_string code=9 size=100",
                      "direct num_cards",
                      "direct version",
                      "direct get_loader",
                      "direct set_reverse_notify_socket",
                      "direct delete",
                  }),
                  log.lines());
    });
}

}  // namespace
