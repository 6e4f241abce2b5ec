#include "hostlib/ErrorStrings.h"
#include "hostlib/Impl.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(ErrorStrings, EveryCodeHasItsOwnText) {
    std::set<std::string> texts;
    for (int code = QXAPI_OK; code <= QXAPI_ERR_LAST; ++code) {
        char const* text = HostLib::errorText(code);
        ASSERT_NE(text, nullptr) << code;
        EXPECT_NE(*text, '\0') << code;
        EXPECT_TRUE(texts.insert(text).second) << "duplicate text for " << code;
    }
    EXPECT_EQ(HostLib::errorText(QXAPI_ERR_LAST + 1), nullptr);
    EXPECT_EQ(HostLib::errorText(-1), nullptr);
}

TEST(ErrorStrings, GetErrorStringFillsTheBufferWithinItsSize) {
    struct Case {
        int code;
        int size;
        int result;
        std::string text;
    } const cases[] = {
        {QXAPI_OK, 100, QXAPI_OK, "success"},
        {QXAPI_ERR_NO_DEVICE, 100, QXAPI_OK, "no accelerator card found"},
        {-5, 100, QXAPI_OK, "unknown error code -5"},
        {QXAPI_ERR_LAST + 1, 100, QXAPI_OK, "unknown error code " + std::to_string(QXAPI_ERR_LAST + 1)},
        {QXAPI_ERR_NO_DEVICE, 6, QXAPI_OK, "no ac"},
        {QXAPI_ERR_NO_DEVICE, 1, QXAPI_OK, ""},
        {QXAPI_ERR_NO_DEVICE, 0, QXAPI_ERR_BAD_ARGUMENT, "untouched"},
        {QXAPI_ERR_NO_DEVICE, -1, QXAPI_ERR_BAD_ARGUMENT, "untouched"},
    };
    for (Case const& c : cases) {
        char buffer[100] = "untouched";
        EXPECT_EQ(HostLib::Impl::do_get_error_string(nullptr, c.code, buffer, c.size), c.result) << c.code;
        EXPECT_EQ(buffer, c.text) << c.code << " size " << c.size;
    }
    EXPECT_EQ(HostLib::Impl::do_get_error_string(nullptr, 0, nullptr, 10), QXAPI_ERR_NULL_POINTER);
}

}  // namespace
