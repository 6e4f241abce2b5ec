// Plays arbitrary bytes to the server as one client's side of a
// connection: the handshake, then every request frame, each carried out
// on a processor of its own as a connection does it, with the events a
// run leaves (answers of semaphore waits, trace, its end) collected after
// each request. Runs are cut short by a cycle limit, and whatever is still
// going at the end is aborted, as when a client vanishes. Nothing may
// crash, hang, or hold more memory than the limits allow.
#include "protocol/FrameDecoder.h"
#include "protocol/Messages.h"
#include "server/Handshake.h"
#include "server/ProcessorSession.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

namespace {

SimServer::ServerSettings const& settings() {
    static SimServer::ServerSettings const fuzzing = [] {
        SimServer::ServerSettings s;
        s.maxCycles = 20000;
        s.maxProgramSize = 1u << 20;
        s.traceBufferSize = 256u << 10;
        return s;
    }();
    return fuzzing;
}

void collectEvents(SimServer::ProcessorSession& session) {
    std::vector<Protocol::Response> const completions = session.takeCompletions();
    std::vector<std::vector<uint8_t>> chunks;
    session.takeTrace(chunks, std::numeric_limits<size_t>::max());
    SimServer::RunRecord record;
    session.takeRunEnd(record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    Protocol::FrameDecoder decoder(SimServer::k_handshake_frame_size);
    decoder.feed(data, size);
    Protocol::Frame frame;
    if (decoder.next(frame) != Protocol::FrameDecoder::Result::Frame) return 0;
    Protocol::Hello hello;
    Protocol::ErrorMessage refusal;
    if (!SimServer::acceptHello(frame, std::string(), hello, refusal)) return 0;

    std::string error;
    auto session = SimServer::ProcessorSession::create(
        settings(), [] {}, error);
    if (!session) return 0;
    decoder.setMaxFrameSize(settings().maxProgramSize + Protocol::k_frame_overhead);
    while (decoder.next(frame) == Protocol::FrameDecoder::Result::Frame) {
        Protocol::Request request;
        if (!Protocol::decode(frame, request, error)) break;
        Protocol::Response response;
        bool const answered = session->handle(request, response);
        if (answered) {
            std::vector<uint8_t> const bytes = Protocol::encode(response);
            (void)bytes;
        }
        collectEvents(*session);
    }
    session->abortRun(Protocol::k_err_client_vanished, "the client went away");
    collectEvents(*session);
    return 0;
}
