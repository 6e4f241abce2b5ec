// The connection table of a handle: several connections, the current one
// serving the ordinary calls, and the call-back address the kit's tools
// record.
#include "tests/support/HostLibraryTesting.h"

using namespace HostLibTest;
using TestSupport::TemporaryDirectory;

namespace {

class Connections : public ::testing::Test {
protected:
    void SetUp() override { clearLibraryEnvironment(m_directory.path()); }

    // Loads and runs source on chip 0 of the current connection.
    int32_t runOnCurrent(QXAPI_handle handle, char const* name, char const* source) {
        EXPECT_EQ(do_register_application(handle, 0), QXAPI_OK);
        EXPECT_EQ(do_load(handle, 0, writeProgram(m_directory, name, source).c_str()), QXAPI_OK);
        EXPECT_EQ(do_run(handle, 0), QXAPI_OK);
        EXPECT_EQ(do_wait_on_terminate(handle, 0), QXAPI_OK);
        int32_t value = 0;
        EXPECT_EQ(do_get_return_value(handle, 0, &value), QXAPI_OK);
        return value;
    }

    TemporaryDirectory m_directory;
};

TEST_F(Connections, TheCurrentConnectionServesTheCallsAndEachKeepsItsOwnProgram) {
    QXAPI_handle handle = do_new(QXAPI_LOAD_DIRECT);
    int current = -1;
    EXPECT_EQ(do_get_current_connection(handle, &current), QXAPI_ERR_NO_CONNECTION);
    ASSERT_EQ(do_connect(handle, "localhost", 0), QXAPI_OK);
    EXPECT_EQ(do_get_current_connection(handle, &current), QXAPI_OK);
    EXPECT_EQ(current, 0);
    EXPECT_EQ(runOnCurrent(handle, "first", s_constant), 42);

    int second = -1;
    ASSERT_EQ(do_initialize_connection(handle, "localhost", 0, &second), QXAPI_OK);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(do_get_current_connection(handle, &current), QXAPI_OK);
    EXPECT_EQ(current, 0) << "opening a connection does not switch to it";
    ASSERT_EQ(do_switch_to_connection(handle, second), QXAPI_OK);
    EXPECT_EQ(runOnCurrent(handle, "second", ".code\nmain:\n li r1, 7\n halt r1\n"), 7);

    ASSERT_EQ(do_switch_to_connection(handle, 0), QXAPI_OK);
    int32_t value = 0;
    EXPECT_EQ(do_get_return_value(handle, 0, &value), QXAPI_OK);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(do_connect(handle, "localhost", 0), QXAPI_ERR_ALREADY_CONNECTED);
    do_delete(handle);
}

TEST_F(Connections, DestroyingEndsARunAndUnknownIdsAreRefused) {
    QXAPI_handle handle = do_new(QXAPI_LOAD_DIRECT);
    ASSERT_EQ(do_connect(handle, "localhost", 0), QXAPI_OK);
    ASSERT_EQ(do_register_application(handle, 0), QXAPI_OK);
    ASSERT_EQ(do_load(handle, 0, writeProgram(m_directory, "endless", s_endless).c_str()), QXAPI_OK);
    ASSERT_EQ(do_run(handle, 0), QXAPI_OK);
    testing::internal::CaptureStderr();
    EXPECT_EQ(do_destroy_connection(handle, 0), QXAPI_OK);
    testing::internal::GetCapturedStderr();

    int current = -1;
    EXPECT_EQ(do_get_current_connection(handle, &current), QXAPI_ERR_NO_CONNECTION);
    EXPECT_EQ(do_run(handle, 0), QXAPI_ERR_NOT_CONNECTED);
    for (int id : {0, 5, -1}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(do_switch_to_connection(handle, id), QXAPI_ERR_NO_CONNECTION);
        EXPECT_EQ(do_destroy_connection(handle, id), QXAPI_ERR_NO_CONNECTION);
    }
    EXPECT_EQ(errorString(handle, QXAPI_ERR_NO_CONNECTION), "no such connection: connection -1");
    EXPECT_EQ(do_initialize_connection(handle, "localhost", 0, nullptr), QXAPI_ERR_NULL_POINTER);
    // A new connection after the first was destroyed: connect works again.
    EXPECT_EQ(do_connect(handle, "localhost", 0), QXAPI_OK);
    EXPECT_EQ(do_get_current_connection(handle, &current), QXAPI_OK);
    EXPECT_EQ(current, 1);
    do_delete(handle);
}

TEST_F(Connections, TheCallBackAddressIsRecordedAndChecked) {
    QXAPI_handle handle = do_new(QXAPI_LOAD_DIRECT);
    int port = -1;
    EXPECT_EQ(do_get_reverse_inet_port(handle, &port), QXAPI_OK);
    EXPECT_EQ(port, 0);
    EXPECT_EQ(do_set_reverse_inet_port(handle, 4321), QXAPI_OK);
    EXPECT_EQ(do_get_reverse_inet_port(handle, &port), QXAPI_OK);
    EXPECT_EQ(port, 4321);
    EXPECT_EQ(do_set_reverse_inet_port(handle, 70000), QXAPI_ERR_BAD_ARGUMENT);
    EXPECT_EQ(do_set_reverse_inet_port(handle, -1), QXAPI_ERR_BAD_ARGUMENT);
    EXPECT_EQ(do_set_reverse_inet_address(handle, "127.0.0.1"), QXAPI_OK);
    EXPECT_EQ(do_set_reverse_inet_address(handle, ""), QXAPI_ERR_BAD_ARGUMENT);
    EXPECT_EQ(do_set_reverse_inet_address(handle, nullptr), QXAPI_ERR_NULL_POINTER);
    EXPECT_EQ(do_get_reverse_inet_port(handle, nullptr), QXAPI_ERR_NULL_POINTER);
    do_set_reverse_notify_socket(handle, 3);
    do_set_reverse_notify_socket(nullptr, 3);  // ignored, no crash
    EXPECT_EQ(do_set_reverse_inet_port(nullptr, 1), QXAPI_ERR_INVALID_HANDLE);
    do_delete(handle);
}

}  // namespace
