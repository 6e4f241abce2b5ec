// Frames of the wire protocol: a 4-byte little-endian length, then that
// many bytes, the first of which is the frame type and the rest the
// payload. FrameDecoder takes bytes as they arrive, in pieces of any size,
// and yields whole frames; a length or type that cannot be valid is an
// error at once, before the frame's bytes are awaited or stored.
#ifndef PROTOCOL_FRAMEDECODER_H
#define PROTOCOL_FRAMEDECODER_H

#include "protocol/Protocol.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Protocol {

struct Frame {
    FrameType type = FrameType::Error;
    std::vector<uint8_t> payload;
};

// The bytes of a frame, header included.
std::vector<uint8_t> encodeFrame(FrameType type, std::vector<uint8_t> const& payload);

class FrameDecoder {
public:
    enum class Result { Frame, NeedMore, Error };

    // maxFrameSize bounds the length field (type byte + payload).
    explicit FrameDecoder(uint32_t maxFrameSize = k_max_frame_size) : m_max_frame_size(maxFrameSize) {}

    // A new bound for the frames still to come.
    void setMaxFrameSize(uint32_t maxFrameSize) { m_max_frame_size = maxFrameSize; }

    // Appends received bytes. After an error, bytes are ignored.
    void feed(uint8_t const* data, size_t size);

    // The next whole frame, NeedMore until one is complete, or Error with
    // the reason in error(); an error is final.
    Result next(Frame& frame);

    std::string const& error() const { return m_error; }
    size_t buffered() const { return m_buffer.size() - m_start; }

private:
    Result fail(std::string text);
    void compact();

    uint32_t m_max_frame_size;
    std::vector<uint8_t> m_buffer;
    size_t m_start = 0;  // first byte not yet consumed
    std::string m_error;
};

}  // namespace Protocol

#endif
