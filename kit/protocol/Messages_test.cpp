// Typed messages: every message survives a round trip through its frame,
// and every malformed payload is rejected with a text naming the fault.
#include "protocol/Messages.h"

#include <gtest/gtest.h>

namespace {

using namespace Protocol;

Frame frameOf(std::vector<uint8_t> const& bytes) {
    FrameDecoder decoder;
    decoder.feed(bytes.data(), bytes.size());
    Frame frame;
    EXPECT_EQ(decoder.next(frame), FrameDecoder::Result::Frame) << decoder.error();
    return frame;
}

TEST(Messages, RoundTripsKeepEveryField) {
    std::string error;
    Request request;
    request.sequence = 77;
    request.operation = Operation::WriteMonoMemory;
    request.a = 0x123456789ull;
    request.b = 5;
    request.text = "prog.qxx";
    request.data = {9, 8, 7};
    Request requestBack;
    ASSERT_TRUE(decode(frameOf(encode(request)), requestBack, error)) << error;
    EXPECT_EQ(requestBack.sequence, 77u);
    EXPECT_EQ(requestBack.operation, Operation::WriteMonoMemory);
    EXPECT_EQ(requestBack.a, 0x123456789ull);
    EXPECT_EQ(requestBack.b, 5u);
    EXPECT_EQ(requestBack.text, "prog.qxx");
    EXPECT_EQ(requestBack.data, request.data);

    Ended ended;
    ended.code = k_err_shutdown;
    ended.state = RunState::Faulted;
    ended.returnValue = -5;
    ended.cycles = 1ull << 40;
    ended.text = "aborted";
    Ended endedBack;
    ASSERT_TRUE(decode(frameOf(encode(ended)), endedBack, error)) << error;
    EXPECT_EQ(endedBack.code, k_err_shutdown);
    EXPECT_EQ(endedBack.state, RunState::Faulted);
    EXPECT_EQ(endedBack.returnValue, -5);
    EXPECT_EQ(endedBack.cycles, 1ull << 40);
    EXPECT_EQ(endedBack.text, "aborted");

    Welcome welcome;
    welcome.processor.numPes = 64;
    welcome.processor.endianness = 2;
    welcome.processor.maxProgramSize = 1000;
    Welcome welcomeBack;
    ASSERT_TRUE(decode(frameOf(encode(welcome)), welcomeBack, error)) << error;
    EXPECT_EQ(welcomeBack.processor.numPes, 64u);
    EXPECT_EQ(welcomeBack.processor.endianness, 2);
    EXPECT_EQ(welcomeBack.processor.maxProgramSize, 1000u);
}

std::vector<uint8_t> le32(uint32_t value) {
    return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

Frame rawFrame(FrameType type, std::vector<std::vector<uint8_t>> const& parts) {
    Frame frame;
    frame.type = type;
    for (auto const& part : parts) frame.payload.insert(frame.payload.end(), part.begin(), part.end());
    return frame;
}

TEST(Messages, MalformedPayloadsAreRejectedWithTheirReason) {
    std::vector<uint8_t> const magic = le32(k_magic);
    std::vector<uint8_t> const version = {1, 0};
    struct Case {
        char const* name;
        Frame frame;
        char const* error;
    } const cases[] = {
        {"truncated field", rawFrame(FrameType::Hello, {magic, {1}}),
         "bad hello frame: truncated message: 2 bytes needed at offset 4, 1 left"},
        {"string longer than the payload", rawFrame(FrameType::Hello, {magic, version, le32(10), {'a'}}),
         "bad hello frame: truncated message: 10 bytes needed at offset 10, 1 left"},
        {"string over the limit", rawFrame(FrameType::Hello, {magic, version, le32(k_max_string_length + 1)}),
         "bad hello frame: bad length: token of 4097 bytes exceeds the limit of 4096"},
        {"NUL inside a string", rawFrame(FrameType::Hello, {magic, version, le32(3), {'a', 0, 'b'}}),
         "bad hello frame: bad string: token contains a NUL byte"},
        {"trailing bytes", rawFrame(FrameType::Hello, {magic, version, le32(0), {1, 2}}),
         "bad hello frame: 2 unexpected bytes after the message"},
        {"wrong frame type", rawFrame(FrameType::Request, {}), "expected a hello frame, got a request frame"},
    };
    for (Case const& c : cases) {
        Hello hello;
        std::string error;
        EXPECT_FALSE(decode(c.frame, hello, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }

    Ended ended;
    std::string error;
    Frame badState = rawFrame(FrameType::Ended, {le32(0), {9}, le32(0), le32(0), le32(0), le32(0)});
    EXPECT_FALSE(decode(badState, ended, error));
    EXPECT_EQ(error, "bad ended frame: unknown run state 9");
}

}  // namespace
