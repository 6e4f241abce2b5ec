// The typed messages carried in frames, with their encoders and decoders.
// Every decoder reads through a ByteReader: a short, long or malformed
// payload gives false and a text naming the fault.
#ifndef PROTOCOL_MESSAGES_H
#define PROTOCOL_MESSAGES_H

#include "protocol/FrameDecoder.h"
#include "protocol/Protocol.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Protocol {

struct Hello {
    uint32_t magic = k_magic;
    uint16_t version = k_version;
    std::string token;  // empty when the client has none
};

// The simulated processor behind a connection, sent in the welcome.
struct ProcessorInfo {
    uint32_t numPes = 0;
    uint32_t numThreads = 0;
    uint32_t numSemaphores = 0;
    uint32_t numProcessors = 1;
    uint8_t endianness = 1;  // 1 little, 2 big, as QXAPI_endianness
    uint32_t monoMemoryStart = 0;
    uint32_t monoMemorySize = 0;
    uint32_t maxProgramSize = k_max_program_size;
};

struct Welcome {
    uint16_t version = k_version;
    std::string server;  // name and version of the server, for logs
    ProcessorInfo processor;
};

struct ErrorMessage {
    int32_t code = k_ok;
    std::string text;
};

// One operation. Which of the generic arguments an operation uses is
// listed in docs/qxsim-protocol.md; unused ones are zero or empty.
struct Request {
    uint32_t sequence = 0;
    Operation operation = Operation::Reset;
    uint64_t a = 0;
    uint64_t b = 0;
    std::string text;
    std::vector<uint8_t> data;
};

struct Response {
    uint32_t sequence = 0;
    int32_t code = k_ok;
    std::string text;  // empty on success
    uint64_t value = 0;
    std::vector<uint8_t> data;
};

// Sent to a client of version 2 or later while it waits for a free
// connection, first when it is queued and then every heartbeat period.
struct Queued {
    uint32_t position = 0;  // 1: next to be served
};

struct Heartbeat {
    uint64_t milliseconds = 0;  // since the run started
};

struct TraceChunk {
    std::vector<uint8_t> bytes;
};

struct Ended {
    int32_t code = k_ok;  // k_ok, or why the run was ended from outside
    RunState state = RunState::Halted;
    int32_t returnValue = 0;
    uint64_t cycles = 0;
    std::string text;  // the fault, or the text of code
};

std::vector<uint8_t> encode(Hello const& message);
std::vector<uint8_t> encode(Welcome const& message);
std::vector<uint8_t> encode(ErrorMessage const& message);
std::vector<uint8_t> encode(Request const& message);
std::vector<uint8_t> encode(Response const& message);
std::vector<uint8_t> encode(Queued const& message);
std::vector<uint8_t> encode(Heartbeat const& message);
std::vector<uint8_t> encode(TraceChunk const& message);
std::vector<uint8_t> encode(Ended const& message);

bool decode(Frame const& frame, Hello& message, std::string& error);
bool decode(Frame const& frame, Welcome& message, std::string& error);
bool decode(Frame const& frame, ErrorMessage& message, std::string& error);
bool decode(Frame const& frame, Request& message, std::string& error);
bool decode(Frame const& frame, Response& message, std::string& error);
bool decode(Frame const& frame, Queued& message, std::string& error);
bool decode(Frame const& frame, Heartbeat& message, std::string& error);
bool decode(Frame const& frame, TraceChunk& message, std::string& error);
bool decode(Frame const& frame, Ended& message, std::string& error);

}  // namespace Protocol

#endif
