// Tests of the entry points that work without a host library.
#include <gtest/gtest.h>

#include <cstring>

#include "qxapi/qxapi.h"

TEST(HostApiVersion, KindsZeroToTwoNeedNoLibrary) {
    struct Case {
        unsigned kind;
        int major, minor;
        char const* text;
    } const cases[] = {
        {0, 1, 1, "1.1"},
        {1, 2, 24, "2.24"},
        {2, 0, 0, "1.153.3.1 build at Wed Feb 28 17:42:22 GMT 2007 on linux_x86_64"},
    };
    for (Case const& c : cases) {
        QXAPI_version_record record;
        std::memset(&record, 'x', sizeof record);
        EXPECT_EQ(0, QXAPI_version(nullptr, c.kind, &record)) << c.kind;
        EXPECT_EQ(c.major, record.major) << c.kind;
        EXPECT_EQ(c.minor, record.minor) << c.kind;
        EXPECT_STREQ(c.text, record.text) << c.kind;
    }
}

TEST(HostApiVersion, DistributionTextIsZeroFilled) {
    QXAPI_version_record record;
    std::memset(&record, 'x', sizeof record);
    QXAPI_version(nullptr, 1, &record);
    for (std::size_t i = std::strlen("2.24"); i < sizeof record.text; ++i)
        ASSERT_EQ('\0', record.text[i]) << i;
}

TEST(HostApiVersion, LaterKindWithoutLibraryFails) {
    QXAPI_version_record record;
    record.major = record.minor = 7;
    EXPECT_EQ(1, QXAPI_version(nullptr, 3, &record));
    EXPECT_EQ(0, record.major);
    EXPECT_EQ(0, record.minor);
    EXPECT_STREQ("", record.text);
}

TEST(HostApiPrivate, GuardedEntryPointsWithoutBindingReturnZero) {
    int value = 5;
    EXPECT_EQ(0, __qxapi_get_reverse_inet_port(nullptr, &value));
    EXPECT_EQ(0, __qxapi_set_reverse_inet_address(nullptr, "127.0.0.1"));
    EXPECT_EQ(0, __qxapi_get_current_connection(nullptr, &value));
    EXPECT_EQ(5, value);
    __qxapi_set_reverse_notify_socket(nullptr, 3);  // must simply return
}

TEST(HostApiDelete, NullHandleIsIgnored) {
    QXAPI_delete(nullptr);  // no slot is filled: any call through one would crash
}
