#include "hostlib/CallLog.h"
#include "hostlib/CallWrapper.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using HostLib::CallLog;

int add(int a, char const* text, void* pointer) {
    return a + (text != nullptr) + (pointer != nullptr);
}

TEST(CallLog, LinesNameEveryArgumentAndTheResult) {
    struct Case {
        std::vector<std::string> values;
        std::string result;
        std::string line;
    } const cases[] = {
        {{"1", "\"localhost\"", "0"},
         "0",
         "qxapi: connect(handle=1, host=\"localhost\", instance=0) = 0 (7 us)"},
        {{"0x10", "(null)", "3"}, "", "qxapi: connect(handle=0x10, host=(null), instance=3) (7 us)"},
    };
    for (auto const& c : cases)
        EXPECT_EQ(CallLog::line("connect", "(handle, host, instance)", c.values, c.result, 7), c.line);
    EXPECT_EQ(CallLog::value(static_cast<char const*>(nullptr)), "(null)");
    EXPECT_EQ(CallLog::value(-7), "-7");
    EXPECT_EQ(CallLog::value(uint64_t(1) << 40), "1099511627776");
}

TEST(CallLog, TraceVariantAppendsOneLinePerCallToTheNamedFile) {
    TestSupport::TemporaryDirectory directory;
    ::setenv("QX_QXAPI_TRACE", directory.file("calls.log").c_str(), 1);
    EXPECT_EQ(HostLib::callEntry<HostLib::Variant::Trace>("add", "(a, text, pointer)", &add, 2, "x",
                                                          static_cast<void*>(nullptr)),
              3);
    EXPECT_EQ(HostLib::callEntry<HostLib::Variant::Direct>("add", "(a, text, pointer)", &add, 2, "x",
                                                           static_cast<void*>(nullptr)),
              3);
    ::unsetenv("QX_QXAPI_TRACE");
    std::string const log = directory.read("calls.log");
    EXPECT_EQ(log.rfind("qxapi: add(a=2, text=\"x\", pointer=(null)) = 3 (", 0), 0u) << log;
    EXPECT_EQ(log.find('\n'), log.size() - 1) << log;
}

}  // namespace
