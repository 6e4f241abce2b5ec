#include "protocol/Messages.h"

#include "protocol/ByteCodec.h"

namespace Protocol {

namespace {

template <typename Fill>
std::vector<uint8_t> frameOf(FrameType type, Fill fill) {
    std::vector<uint8_t> payload;
    ByteWriter writer(payload);
    fill(writer);
    return encodeFrame(type, payload);
}

char const* frameName(FrameType type) {
    switch (type) {
        case FrameType::Hello:
            return "hello";
        case FrameType::Welcome:
            return "welcome";
        case FrameType::Error:
            return "error";
        case FrameType::Request:
            return "request";
        case FrameType::Response:
            return "response";
        case FrameType::Queued:
            return "queued";
        case FrameType::Heartbeat:
            return "heartbeat";
        case FrameType::Trace:
            return "trace";
        case FrameType::Ended:
            return "ended";
    }
    return "unknown";
}

// Checks the frame's type, reads the fields and requires that nothing is
// left over.
template <typename Read>
bool decodeAs(Frame const& frame, FrameType expected, std::string& error, Read read) {
    if (frame.type != expected) {
        error = std::string("expected a ") + frameName(expected) + " frame, got a " + frameName(frame.type) +
                " frame";
        return false;
    }
    ByteReader reader(frame.payload.data(), frame.payload.size());
    read(reader);
    if (reader.finish()) return true;
    error = std::string("bad ") + frameName(expected) + " frame: " + reader.error();
    return false;
}

}  // namespace

std::vector<uint8_t> encode(Hello const& m) {
    return frameOf(FrameType::Hello, [&](ByteWriter& w) {
        w.u32(m.magic);
        w.u16(m.version);
        w.string(m.token);
    });
}

std::vector<uint8_t> encode(Welcome const& m) {
    return frameOf(FrameType::Welcome, [&](ByteWriter& w) {
        w.u16(m.version);
        w.string(m.server);
        w.u32(m.processor.numPes);
        w.u32(m.processor.numThreads);
        w.u32(m.processor.numSemaphores);
        w.u32(m.processor.numProcessors);
        w.u8(m.processor.endianness);
        w.u32(m.processor.monoMemoryStart);
        w.u32(m.processor.monoMemorySize);
        w.u32(m.processor.maxProgramSize);
    });
}

std::vector<uint8_t> encode(ErrorMessage const& m) {
    return frameOf(FrameType::Error, [&](ByteWriter& w) {
        w.i32(m.code);
        w.string(m.text);
    });
}

std::vector<uint8_t> encode(Request const& m) {
    return frameOf(FrameType::Request, [&](ByteWriter& w) {
        w.u32(m.sequence);
        w.u16(static_cast<uint16_t>(m.operation));
        w.u64(m.a);
        w.u64(m.b);
        w.string(m.text);
        w.bytes(m.data);
    });
}

std::vector<uint8_t> encode(Response const& m) {
    return frameOf(FrameType::Response, [&](ByteWriter& w) {
        w.u32(m.sequence);
        w.i32(m.code);
        w.string(m.text);
        w.u64(m.value);
        w.bytes(m.data);
    });
}

std::vector<uint8_t> encode(Queued const& m) {
    return frameOf(FrameType::Queued, [&](ByteWriter& w) { w.u32(m.position); });
}

std::vector<uint8_t> encode(Heartbeat const& m) {
    return frameOf(FrameType::Heartbeat, [&](ByteWriter& w) { w.u64(m.milliseconds); });
}

std::vector<uint8_t> encode(TraceChunk const& m) {
    return frameOf(FrameType::Trace, [&](ByteWriter& w) { w.bytes(m.bytes); });
}

std::vector<uint8_t> encode(Ended const& m) {
    return frameOf(FrameType::Ended, [&](ByteWriter& w) {
        w.i32(m.code);
        w.u8(static_cast<uint8_t>(m.state));
        w.i32(m.returnValue);
        w.u64(m.cycles);
        w.string(m.text);
    });
}

bool decode(Frame const& frame, Hello& m, std::string& error) {
    return decodeAs(frame, FrameType::Hello, error, [&](ByteReader& r) {
        r.u32(m.magic);
        r.u16(m.version);
        r.string(m.token, "token");
    });
}

bool decode(Frame const& frame, Welcome& m, std::string& error) {
    return decodeAs(frame, FrameType::Welcome, error, [&](ByteReader& r) {
        r.u16(m.version);
        r.string(m.server, "server");
        r.u32(m.processor.numPes);
        r.u32(m.processor.numThreads);
        r.u32(m.processor.numSemaphores);
        r.u32(m.processor.numProcessors);
        r.u8(m.processor.endianness);
        r.u32(m.processor.monoMemoryStart);
        r.u32(m.processor.monoMemorySize);
        r.u32(m.processor.maxProgramSize);
    });
}

bool decode(Frame const& frame, ErrorMessage& m, std::string& error) {
    return decodeAs(frame, FrameType::Error, error, [&](ByteReader& r) {
        r.i32(m.code);
        r.string(m.text, "text");
    });
}

bool decode(Frame const& frame, Request& m, std::string& error) {
    uint16_t operation = 0;
    bool const ok = decodeAs(frame, FrameType::Request, error, [&](ByteReader& r) {
        r.u32(m.sequence);
        r.u16(operation);
        r.u64(m.a);
        r.u64(m.b);
        r.string(m.text, "text");
        r.bytes(m.data, k_max_program_size, "data");
    });
    // An unknown operation is well formed; the server answers it with an
    // error response rather than closing.
    m.operation = static_cast<Operation>(operation);
    return ok;
}

bool decode(Frame const& frame, Response& m, std::string& error) {
    return decodeAs(frame, FrameType::Response, error, [&](ByteReader& r) {
        r.u32(m.sequence);
        r.i32(m.code);
        r.string(m.text, "text");
        r.u64(m.value);
        r.bytes(m.data, k_max_transfer_size, "data");
    });
}

bool decode(Frame const& frame, Queued& m, std::string& error) {
    return decodeAs(frame, FrameType::Queued, error, [&](ByteReader& r) { r.u32(m.position); });
}

bool decode(Frame const& frame, Heartbeat& m, std::string& error) {
    return decodeAs(frame, FrameType::Heartbeat, error, [&](ByteReader& r) { r.u64(m.milliseconds); });
}

bool decode(Frame const& frame, TraceChunk& m, std::string& error) {
    return decodeAs(frame, FrameType::Trace, error,
                    [&](ByteReader& r) { r.bytes(m.bytes, k_max_trace_chunk, "trace chunk"); });
}

bool decode(Frame const& frame, Ended& m, std::string& error) {
    uint8_t state = 0;
    bool ok = decodeAs(frame, FrameType::Ended, error, [&](ByteReader& r) {
        r.i32(m.code);
        r.u8(state);
        r.i32(m.returnValue);
        r.u64(m.cycles);
        r.string(m.text, "text");
    });
    if (ok && state != uint8_t(RunState::Stopped) && state != uint8_t(RunState::Halted) &&
        state != uint8_t(RunState::Faulted)) {
        error = "bad ended frame: unknown run state " + std::to_string(state);
        ok = false;
    }
    m.state = static_cast<RunState>(state);
    return ok;
}

}  // namespace Protocol
