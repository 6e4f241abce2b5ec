// The frame decoder: whole frames from bytes that arrive in any pieces,
// and a named rejection of every length or type that cannot be valid.
#include "protocol/FrameDecoder.h"

#include <gtest/gtest.h>

namespace {

using namespace Protocol;

std::vector<uint8_t> header(uint32_t length, uint8_t type) {
    return {uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16), uint8_t(length >> 24), type};
}

TEST(FrameDecoder, FramesFedByteByByteComeOutWhole) {
    std::vector<uint8_t> stream = encodeFrame(FrameType::Request, {1, 2, 3});
    std::vector<uint8_t> const second = encodeFrame(FrameType::Heartbeat, {});
    stream.insert(stream.end(), second.begin(), second.end());

    FrameDecoder decoder;
    std::vector<Frame> frames;
    for (uint8_t byte : stream) {
        decoder.feed(&byte, 1);
        Frame frame;
        while (decoder.next(frame) == FrameDecoder::Result::Frame) frames.push_back(frame);
    }
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].type, FrameType::Request);
    EXPECT_EQ(frames[0].payload, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(frames[1].type, FrameType::Heartbeat);
    EXPECT_TRUE(frames[1].payload.empty());
    EXPECT_EQ(decoder.buffered(), 0u);
}

TEST(FrameDecoder, RejectsImpossibleHeadersBeforeThePayloadArrives) {
    struct Case {
        char const* name;
        std::vector<uint8_t> bytes;
        uint32_t limit;
        char const* error;
    } const cases[] = {
        {"short length", header(0, 0x10), 100, "bad frame: length 0 leaves no room for the frame type"},
        {"oversized length", header(101, 0x10), 100, "bad frame: length 101 exceeds the limit of 100 bytes"},
        {"huge length", header(0xffffffff, 0x10), k_max_frame_size,
         "bad frame: length 4294967295 exceeds the limit of 16842752 bytes"},
        {"unknown type", header(5, 0x7f), 100, "bad frame: unknown frame type 127"},
        {"type zero", header(1, 0x00), 100, "bad frame: unknown frame type 0"},
    };
    for (Case const& c : cases) {
        FrameDecoder decoder(c.limit);
        decoder.feed(c.bytes.data(), c.bytes.size());
        Frame frame;
        EXPECT_EQ(decoder.next(frame), FrameDecoder::Result::Error) << c.name;
        EXPECT_EQ(decoder.error(), c.error) << c.name;
        // The error is final: more bytes change nothing.
        std::vector<uint8_t> const good = encodeFrame(FrameType::Heartbeat, {});
        decoder.feed(good.data(), good.size());
        EXPECT_EQ(decoder.next(frame), FrameDecoder::Result::Error) << c.name;
        EXPECT_EQ(decoder.buffered(), 0u) << c.name;
    }
}

TEST(FrameDecoder, IncompleteFrameWaitsForMore) {
    std::vector<uint8_t> const bytes = encodeFrame(FrameType::Trace, std::vector<uint8_t>(10, 7));
    FrameDecoder decoder;
    decoder.feed(bytes.data(), bytes.size() - 1);
    Frame frame;
    EXPECT_EQ(decoder.next(frame), FrameDecoder::Result::NeedMore);
    decoder.feed(&bytes.back(), 1);
    EXPECT_EQ(decoder.next(frame), FrameDecoder::Result::Frame);
    EXPECT_EQ(frame.payload.size(), 10u);
}

}  // namespace
