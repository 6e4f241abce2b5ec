#include "protocol/Messages.h"

#include "protocol/ByteCodec.h"

#include <utility>

namespace Protocol {

namespace {

char const* frameName(FrameType type) {
    static std::pair<FrameType, char const*> const k_names[] = {
        {FrameType::Hello, "hello"},         {FrameType::Welcome, "welcome"},   {FrameType::Error, "error"},
        {FrameType::Request, "request"},     {FrameType::Response, "response"}, {FrameType::Queued, "queued"},
        {FrameType::Heartbeat, "heartbeat"}, {FrameType::Trace, "trace"},       {FrameType::Ended, "ended"},
    };
    for (auto const& [known, name] : k_names)
        if (known == type) return name;
    return "unknown";
}

// Each message lists its fields once, in wire order, for both directions:
// Out writes them from a const message, In reads them into a message. The
// names are those a decoding error gives.
struct Out {
    template <typename M>
    using Of = M const&;

    ByteWriter& w;
    void u8(uint8_t value) { w.u8(value); }
    void u16(uint16_t value) { w.u16(value); }
    void u32(uint32_t value) { w.u32(value); }
    void u64(uint64_t value) { w.u64(value); }
    void i32(int32_t value) { w.i32(value); }
    template <typename E>
    void enum16(E value) {
        w.u16(static_cast<uint16_t>(value));
    }
    template <typename E>
    void enum8(E value) {
        w.u8(static_cast<uint8_t>(value));
    }
    void text(std::string const& value, char const*) { w.string(value); }
    void bytes(std::vector<uint8_t> const& value, uint32_t, char const*) { w.bytes(value); }
};

struct In {
    template <typename M>
    using Of = M&;

    ByteReader& r;
    void u8(uint8_t& value) { r.u8(value); }
    void u16(uint16_t& value) { r.u16(value); }
    void u32(uint32_t& value) { r.u32(value); }
    void u64(uint64_t& value) { r.u64(value); }
    void i32(int32_t& value) { r.i32(value); }
    // An unknown value is well formed here; the message's user judges it.
    template <typename E>
    void enum16(E& value) {
        uint16_t number = 0;
        r.u16(number);
        value = static_cast<E>(number);
    }
    template <typename E>
    void enum8(E& value) {
        uint8_t number = 0;
        r.u8(number);
        value = static_cast<E>(number);
    }
    void text(std::string& value, char const* field) { r.string(value, field); }
    void bytes(std::vector<uint8_t>& value, uint32_t limit, char const* field) {
        r.bytes(value, limit, field);
    }
};

template <typename Io>
void fields(Io& io, typename Io::template Of<Hello> m) {
    io.u32(m.magic);
    io.u16(m.version);
    io.text(m.token, "token");
}

template <typename Io>
void fields(Io& io, typename Io::template Of<Welcome> m) {
    io.u16(m.version);
    io.text(m.server, "server");
    io.u32(m.processor.numPes);
    io.u32(m.processor.numThreads);
    io.u32(m.processor.numSemaphores);
    io.u32(m.processor.numProcessors);
    io.u8(m.processor.endianness);
    io.u32(m.processor.monoMemoryStart);
    io.u32(m.processor.monoMemorySize);
    io.u32(m.processor.maxProgramSize);
}

template <typename Io>
void fields(Io& io, typename Io::template Of<ErrorMessage> m) {
    io.i32(m.code);
    io.text(m.text, "text");
}

// An unknown operation is well formed; the server answers it with an
// error response rather than closing.
template <typename Io>
void fields(Io& io, typename Io::template Of<Request> m) {
    io.u32(m.sequence);
    io.enum16(m.operation);
    io.u64(m.a);
    io.u64(m.b);
    io.text(m.text, "text");
    io.bytes(m.data, k_max_program_size, "data");
}

template <typename Io>
void fields(Io& io, typename Io::template Of<Response> m) {
    io.u32(m.sequence);
    io.i32(m.code);
    io.text(m.text, "text");
    io.u64(m.value);
    io.bytes(m.data, k_max_transfer_size, "data");
}

template <typename Io>
void fields(Io& io, typename Io::template Of<Queued> m) {
    io.u32(m.position);
}

template <typename Io>
void fields(Io& io, typename Io::template Of<Heartbeat> m) {
    io.u64(m.milliseconds);
}

template <typename Io>
void fields(Io& io, typename Io::template Of<TraceChunk> m) {
    io.bytes(m.bytes, k_max_trace_chunk, "trace chunk");
}

template <typename Io>
void fields(Io& io, typename Io::template Of<Ended> m) {
    io.i32(m.code);
    io.enum8(m.state);
    io.i32(m.returnValue);
    io.u64(m.cycles);
    io.text(m.text, "text");
}

template <typename M>
std::vector<uint8_t> encodeAs(FrameType type, M const& message) {
    std::vector<uint8_t> payload;
    ByteWriter writer(payload);
    Out out{writer};
    fields<Out>(out, message);
    return encodeFrame(type, payload);
}

// Checks the frame's type, reads the fields and requires that nothing is
// left over.
template <typename M>
bool decodeAs(Frame const& frame, FrameType expected, M& message, std::string& error) {
    if (frame.type != expected) {
        error = std::string("expected a ") + frameName(expected) + " frame, got a " + frameName(frame.type) +
                " frame";
        return false;
    }
    ByteReader reader(frame.payload.data(), frame.payload.size());
    In in{reader};
    fields<In>(in, message);
    if (reader.finish()) return true;
    error = std::string("bad ") + frameName(expected) + " frame: " + reader.error();
    return false;
}

}  // namespace

std::vector<uint8_t> encode(Hello const& m) {
    return encodeAs(FrameType::Hello, m);
}

std::vector<uint8_t> encode(Welcome const& m) {
    return encodeAs(FrameType::Welcome, m);
}

std::vector<uint8_t> encode(ErrorMessage const& m) {
    return encodeAs(FrameType::Error, m);
}

std::vector<uint8_t> encode(Request const& m) {
    return encodeAs(FrameType::Request, m);
}

std::vector<uint8_t> encode(Response const& m) {
    return encodeAs(FrameType::Response, m);
}

std::vector<uint8_t> encode(Queued const& m) {
    return encodeAs(FrameType::Queued, m);
}

std::vector<uint8_t> encode(Heartbeat const& m) {
    return encodeAs(FrameType::Heartbeat, m);
}

std::vector<uint8_t> encode(TraceChunk const& m) {
    return encodeAs(FrameType::Trace, m);
}

std::vector<uint8_t> encode(Ended const& m) {
    return encodeAs(FrameType::Ended, m);
}

bool decode(Frame const& frame, Hello& m, std::string& error) {
    return decodeAs(frame, FrameType::Hello, m, error);
}

bool decode(Frame const& frame, Welcome& m, std::string& error) {
    return decodeAs(frame, FrameType::Welcome, m, error);
}

bool decode(Frame const& frame, ErrorMessage& m, std::string& error) {
    return decodeAs(frame, FrameType::Error, m, error);
}

bool decode(Frame const& frame, Request& m, std::string& error) {
    return decodeAs(frame, FrameType::Request, m, error);
}

bool decode(Frame const& frame, Response& m, std::string& error) {
    return decodeAs(frame, FrameType::Response, m, error);
}

bool decode(Frame const& frame, Queued& m, std::string& error) {
    return decodeAs(frame, FrameType::Queued, m, error);
}

bool decode(Frame const& frame, Heartbeat& m, std::string& error) {
    return decodeAs(frame, FrameType::Heartbeat, m, error);
}

bool decode(Frame const& frame, TraceChunk& m, std::string& error) {
    return decodeAs(frame, FrameType::Trace, m, error);
}

bool decode(Frame const& frame, Ended& m, std::string& error) {
    if (!decodeAs(frame, FrameType::Ended, m, error)) return false;
    if (m.state == RunState::Stopped || m.state == RunState::Halted || m.state == RunState::Faulted)
        return true;
    error = "bad ended frame: unknown run state " + std::to_string(unsigned(m.state));
    return false;
}

}  // namespace Protocol
