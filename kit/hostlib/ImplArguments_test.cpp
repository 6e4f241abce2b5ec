#include "tests/support/HostLibraryTesting.h"

#include <functional>

using namespace HostLibTest;
using TestSupport::TemporaryDirectory;

namespace {

class ImplArguments : public ::testing::Test {
protected:
    void SetUp() override { clearLibraryEnvironment(m_directory.path()); }

    TemporaryDirectory m_directory;
};

struct Case {
    char const* call;
    std::function<int(QXAPI_handle)> make;
    int result;
};

void expectResults(QXAPI_handle handle, std::vector<Case> const& cases) {
    for (Case const& c : cases) EXPECT_EQ(c.make(handle), c.result) << c.call;
}

TEST_F(ImplArguments, CallsOnADeadOrUnconnectedHandleFail) {
    uint32_t count = 0;
    int32_t value = 0;
    QXAPI_handle const bogus = reinterpret_cast<QXAPI_handle>(&count);
    std::vector<Case> const dead = {
        {"connect null", [](QXAPI_handle) { return do_connect(nullptr, "localhost", 0); },
         QXAPI_ERR_INVALID_HANDLE},
        {"run foreign", [&](QXAPI_handle) { return do_run(bogus, 0); }, QXAPI_ERR_INVALID_HANDLE},
        {"num_cards null", [&](QXAPI_handle) { return do_num_cards(nullptr, &count); },
         QXAPI_ERR_INVALID_HANDLE},
    };
    expectResults(nullptr, dead);
    do_delete(nullptr);
    do_delete(bogus);

    QXAPI_handle handle = do_new(QXAPI_LOAD_DIRECT);
    std::vector<Case> const unconnected = {
        {"register", [](QXAPI_handle h) { return do_register_application(h, 0); }, QXAPI_ERR_NOT_CONNECTED},
        {"load", [](QXAPI_handle h) { return do_load(h, 0, "x.qxx"); }, QXAPI_ERR_NOT_CONNECTED},
        {"run", [](QXAPI_handle h) { return do_run(h, 0); }, QXAPI_ERR_NOT_CONNECTED},
        {"wait", [](QXAPI_handle h) { return do_wait_on_terminate(h, 0); }, QXAPI_ERR_NOT_CONNECTED},
        {"return value", [&](QXAPI_handle h) { return do_get_return_value(h, 0, &value); },
         QXAPI_ERR_NOT_CONNECTED},
        {"num_processors", [&](QXAPI_handle h) { return do_num_processors(h, &count); },
         QXAPI_ERR_NOT_CONNECTED},
        {"num_cards", [&](QXAPI_handle h) { return do_num_cards(h, &count); }, QXAPI_OK},
    };
    expectResults(handle, unconnected);
    do_delete(handle);
    EXPECT_EQ(do_new(0), nullptr);
    EXPECT_EQ(do_new(4), nullptr);
}

TEST_F(ImplArguments, CallsCheckPointersRangesAndState) {
    Connected connected;
    uint32_t count = 0;
    uint64_t address = 0;
    uint8_t bytes[16] = {};
    int flag = 0;
    QXAPI_callback callback = nullptr;
    void* userData = nullptr;
    std::vector<Case> const beforeLoad = {
        {"load null path", [](QXAPI_handle h) { return do_load(h, 0, nullptr); }, QXAPI_ERR_NULL_POINTER},
        {"load chip 1", [](QXAPI_handle h) { return do_load(h, 1, "x.qxx"); }, QXAPI_ERR_BAD_CHIP},
        {"run unloaded", [](QXAPI_handle h) { return do_run(h, 0); }, QXAPI_ERR_NO_PROGRAM},
        {"wait unstarted", [](QXAPI_handle h) { return do_wait_on_terminate(h, 0); }, QXAPI_ERR_NO_PROGRAM},
        {"return value null", [](QXAPI_handle h) { return do_get_return_value(h, 0, nullptr); },
         QXAPI_ERR_NULL_POINTER},
        {"last loaded", [&](QXAPI_handle h) { return do_get_last_loaded_handle(h, 0, &count); },
         QXAPI_ERR_NO_PROGRAM},
        {"halt idle", [](QXAPI_handle h) { return do_halt(h, 0); }, QXAPI_ERR_NOT_RUNNING},
        {"symbol unloaded", [&](QXAPI_handle h) { return do_get_symbol_value(h, 0, "main", &address); },
         QXAPI_ERR_NO_SYMBOL},
    };
    expectResults(connected.get(), beforeLoad);

    ASSERT_EQ(do_load(connected.get(), 0, writeProgram(m_directory, "constant", s_constant).c_str()),
              QXAPI_OK);
    std::vector<Case> const afterLoad = {
        {"read beyond memory",
         [&](QXAPI_handle h) { return do_read_mono_memory_raw(h, 0, 65536 - 8, bytes, 16); },
         QXAPI_ERR_BAD_ADDRESS},
        {"read huge address", [&](QXAPI_handle h) { return do_read_mono_memory_raw(h, 0, ~0ull, bytes, 1); },
         QXAPI_ERR_BAD_ADDRESS},
        {"read null data", [](QXAPI_handle h) { return do_read_mono_memory_raw(h, 0, 0, nullptr, 4); },
         QXAPI_ERR_NULL_POINTER},
        {"words of odd size", [&](QXAPI_handle h) { return do_write_mono_memory(h, 0, 0, bytes, 6); },
         QXAPI_ERR_BAD_ADDRESS},
        {"words misaligned", [&](QXAPI_handle h) { return do_read_mono_memory(h, 0, 2, bytes, 4); },
         QXAPI_ERR_BAD_ADDRESS},
        {"zero bytes", [](QXAPI_handle h) { return do_write_mono_memory_raw(h, 0, 0, nullptr, 0); },
         QXAPI_OK},
        {"register unknown", [&](QXAPI_handle h) { return do_read_control_register(h, 0, 0x99, &count); },
         QXAPI_ERR_BAD_REGISTER},
        {"register null", [](QXAPI_handle h) { return do_read_control_register(h, 0, 0, nullptr); },
         QXAPI_ERR_NULL_POINTER},
        {"element size 3", [&](QXAPI_handle h) { return do_buffer_to_native_endian(h, 0, bytes, 6, 3); },
         QXAPI_ERR_BAD_ARGUMENT},
        {"size not elements", [&](QXAPI_handle h) { return do_buffer_to_native_endian(h, 0, bytes, 6, 4); },
         QXAPI_ERR_BAD_ARGUMENT},
        {"semaphore 16", [](QXAPI_handle h) { return do_semaphore_signal(h, 0, 16); },
         QXAPI_ERR_NO_SEMAPHORE},
        {"register semaphore", [](QXAPI_handle h) { return do_register_semaphore(h, 0, 15); }, QXAPI_OK},
        {"thread 4", [](QXAPI_handle h) { return do_set_thread(h, 0, 4); }, QXAPI_ERR_BAD_ARGUMENT},
        {"symbol null", [&](QXAPI_handle h) { return do_get_symbol_value(h, 0, nullptr, &address); },
         QXAPI_ERR_NULL_POINTER},
        {"symbol unknown", [&](QXAPI_handle h) { return do_get_symbol_value(h, 0, "nope", &address); },
         QXAPI_ERR_NO_SYMBOL},
        {"symbol of program 2",
         [&](QXAPI_handle h) { return do_get_symbol_value_loaded(h, 0, 2, "main", &address); },
         QXAPI_ERR_BAD_PROGRAM},
        {"run program 2", [](QXAPI_handle h) { return do_run_process(h, 0, 2); }, QXAPI_ERR_BAD_PROGRAM},
        {"unload program 2", [](QXAPI_handle h) { return do_unload(h, 0, 2); }, QXAPI_ERR_BAD_PROGRAM},
        {"async null request",
         [&](QXAPI_handle h) { return do_write_mono_memory_async(h, 0, 0, bytes, 4, nullptr); },
         QXAPI_ERR_NULL_POINTER},
        {"async unknown", [](QXAPI_handle h) { return do_read_mono_memory_async_wait(h, 0, 77); },
         QXAPI_ERR_BAD_REQUEST},
        {"poll null", [](QXAPI_handle h) { return do_write_mono_memory_async_poll(h, 0, 1, nullptr); },
         QXAPI_ERR_NULL_POINTER},
        {"poll unknown", [&](QXAPI_handle h) { return do_write_mono_memory_async_poll(h, 0, 1, &flag); },
         QXAPI_ERR_BAD_REQUEST},
        {"allocate 0", [&](QXAPI_handle h) { return do_allocate_shared_memory(h, 0, 0, &address); },
         QXAPI_ERR_BAD_ARGUMENT},
        {"allocate too much",
         [&](QXAPI_handle h) { return do_allocate_shared_memory(h, 0, 65536, &address); },
         QXAPI_ERR_OUT_OF_MEMORY},
        {"free unknown", [](QXAPI_handle h) { return do_free(h, 0, 12345); }, QXAPI_ERR_BAD_ADDRESS},
        {"get callback null", [&](QXAPI_handle h) { return do_get_callback(h, 0, 1, nullptr, &userData); },
         QXAPI_ERR_NULL_POINTER},
        {"get callback event 0",
         [&](QXAPI_handle h) { return do_get_callback(h, 0, 0, &callback, &userData); }, QXAPI_ERR_BAD_EVENT},
        {"version null", [](QXAPI_handle h) { return do_version(h, 3, nullptr); }, QXAPI_ERR_NULL_POINTER},
        {"num_pes null", [](QXAPI_handle h) { return do_num_pes(h, 0, nullptr); }, QXAPI_ERR_NULL_POINTER},
        {"endianness null", [](QXAPI_handle h) { return do_endianness(h, 0, nullptr); },
         QXAPI_ERR_NULL_POINTER},
        {"unknown connection", [](QXAPI_handle h) { return do_switch_to_connection(h, 1); },
         QXAPI_ERR_NO_CONNECTION},
        {"unsupported private call", [](QXAPI_handle h) { return do_change_primary_event_dispatch(h, 1); },
         QXAPI_ERR_NOT_SUPPORTED},
        {"loader null", [](QXAPI_handle h) { return do_get_loader(h, 0, nullptr); }, QXAPI_ERR_NULL_POINTER},
        {"loader", [&](QXAPI_handle h) { return do_get_loader(h, 0, &userData); }, QXAPI_OK},
    };
    expectResults(connected.get(), afterLoad);
}

TEST_F(ImplArguments, MemoryAllocationAndAsyncTransfersRoundTrip) {
    Connected connected;
    QXAPI_handle const h = connected.get();
    ASSERT_EQ(do_load(h, 0, writeProgram(m_directory, "constant", s_constant).c_str()), QXAPI_OK);
    uint64_t before = 0;
    uint64_t block = 0;
    uint64_t after = 0;
    ASSERT_EQ(do_get_free_mem(h, 0, &before), QXAPI_OK);
    EXPECT_EQ(before, 65536u - 4096u);
    ASSERT_EQ(do_allocate_shared_memory(h, 0, 10, &block), QXAPI_OK);
    ASSERT_EQ(do_get_free_mem(h, 0, &after), QXAPI_OK);
    EXPECT_EQ(after, before - 16);

    uint32_t const words[2] = {0x11223344, 0xaabbccdd};
    uint32_t request = 0;
    int done = 0;
    ASSERT_EQ(do_write_mono_memory_async(h, 0, block, words, 8, &request), QXAPI_OK);
    EXPECT_EQ(do_write_mono_memory_async_poll(h, 0, request, &done), QXAPI_OK);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(do_write_mono_memory_async_wait(h, 0, request), QXAPI_OK);
    EXPECT_EQ(do_write_mono_memory_async_wait(h, 0, request), QXAPI_ERR_BAD_REQUEST);
    uint8_t bytes[8] = {};
    ASSERT_EQ(do_read_mono_memory_raw(h, 0, block, bytes, 8), QXAPI_OK);
    EXPECT_EQ(bytes[0], 0x44);  // the sample node is little-endian
    uint32_t read[2] = {};
    ASSERT_EQ(do_read_mono_memory(h, 0, block, read, 8), QXAPI_OK);
    EXPECT_EQ(read[1], 0xaabbccddu);

    // A read request is known to the read side only.
    uint32_t copy[2] = {};
    uint32_t readRequest = 0;
    ASSERT_EQ(do_read_mono_memory_async(h, 0, block, copy, 8, &readRequest), QXAPI_OK);
    EXPECT_EQ(copy[0], 0x11223344u);
    EXPECT_EQ(do_write_mono_memory_async_poll(h, 0, readRequest, &done), QXAPI_ERR_BAD_REQUEST);
    EXPECT_EQ(do_write_mono_memory_async_wait(h, 0, readRequest), QXAPI_ERR_BAD_REQUEST);
    done = 0;
    EXPECT_EQ(do_read_mono_memory_async_poll(h, 0, readRequest, &done), QXAPI_OK);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(do_read_mono_memory_async_wait(h, 0, readRequest), QXAPI_OK);
    EXPECT_EQ(do_read_mono_memory_async_wait(h, 0, readRequest), QXAPI_ERR_BAD_REQUEST);

    EXPECT_EQ(do_free(h, 0, block), QXAPI_OK);
    EXPECT_EQ(do_free(h, 0, block), QXAPI_ERR_BAD_ADDRESS);
    ASSERT_EQ(do_get_free_mem(h, 0, &after), QXAPI_OK);
    EXPECT_EQ(after, before);
}

}  // namespace
