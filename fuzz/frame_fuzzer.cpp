// Feeds arbitrary bytes to the qxsim protocol: the frame decoder, in
// pieces whose sizes the input chooses, and every message decoder on each
// frame it yields. Nothing may crash, read out of bounds or allocate more
// than the input holds.
#include "protocol/FrameDecoder.h"
#include "protocol/Messages.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

template <typename Message>
void tryDecode(Protocol::Frame const& frame) {
    Message message;
    std::string error;
    if (Protocol::decode(frame, message, error)) {
        // What decodes must encode again without trouble.
        std::vector<uint8_t> const bytes = Protocol::encode(message);
        (void)bytes;
    }
}

void decodeEverything(Protocol::Frame const& frame) {
    tryDecode<Protocol::Hello>(frame);
    tryDecode<Protocol::Welcome>(frame);
    tryDecode<Protocol::ErrorMessage>(frame);
    tryDecode<Protocol::Request>(frame);
    tryDecode<Protocol::Response>(frame);
    tryDecode<Protocol::Queued>(frame);
    tryDecode<Protocol::Heartbeat>(frame);
    tryDecode<Protocol::TraceChunk>(frame);
    tryDecode<Protocol::Ended>(frame);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the piece size, so that frames split at every
    // place are tried; a small frame limit reaches the length checks.
    size_t const piece = 1 + data[0] % 64;
    Protocol::FrameDecoder decoder(data[0] & 0x80 ? 4096 : Protocol::k_max_frame_size);
    for (size_t offset = 1; offset < size; offset += piece) {
        size_t const length = size - offset < piece ? size - offset : piece;
        decoder.feed(data + offset, length);
        Protocol::Frame frame;
        Protocol::FrameDecoder::Result result;
        while ((result = decoder.next(frame)) == Protocol::FrameDecoder::Result::Frame)
            decodeEverything(frame);
        if (result == Protocol::FrameDecoder::Result::Error) break;
    }
    return 0;
}
