// The qxsim wire protocol: constants shared by the simulator server and
// its client. docs/qxsim-protocol.md describes the frames and messages.
#ifndef PROTOCOL_PROTOCOL_H
#define PROTOCOL_PROTOCOL_H

#include <cstdint>

namespace Protocol {

constexpr uint32_t k_magic = 0x50535851;  // "QXSP" in little-endian bytes
// The newest version this side speaks; servers also serve clients of
// k_oldest_version, without the frames added since.
constexpr uint16_t k_version = 2;
constexpr uint16_t k_oldest_version = 1;
// The first version whose clients understand a queued frame.
constexpr uint16_t k_queued_frame_version = 2;
constexpr uint16_t k_default_port = 7411;

// Limits that keep a broken or hostile peer from driving allocation.
constexpr uint32_t k_max_program_size = 16u << 20;
constexpr uint32_t k_max_string_length = 4096;
constexpr uint32_t k_max_transfer_size = 1u << 20;  // memory bytes per request
constexpr uint32_t k_max_trace_chunk = 64u << 10;
constexpr uint32_t k_frame_overhead = 64u << 10;  // room for the fields around a program
constexpr uint32_t k_max_frame_size = k_max_program_size + k_frame_overhead;
constexpr uint32_t k_frame_header_size = 4;  // the length field

// The longest token a client may present, and so the longest a server
// may expect.
constexpr uint32_t k_max_token_length = k_max_string_length;

// How often the server tells a waiting client that it is alive.
constexpr uint32_t k_heartbeat_milliseconds = 500;

enum class FrameType : uint8_t {
    Hello = 0x01,      // client: magic, version, token
    Welcome = 0x02,    // server: version, processor description
    Error = 0x03,      // server: code and text; the connection closes after it
    Queued = 0x04,     // server, version 2: no free connection yet, the client waits
    Request = 0x10,    // client: one operation
    Response = 0x11,   // server: the answer to one request
    Heartbeat = 0x20,  // server: a run or a semaphore wait is in progress
    Trace = 0x21,      // server: a chunk of the instruction trace
    Ended = 0x22,      // server: a run ended
};

bool isKnownFrameType(uint8_t type);

// The numbers are the wire format. 3, 12, 17 and 18 named operations that
// are gone; the server answers them as unknown operations.
enum class Operation : uint16_t {
    Reset = 1,
    Load = 2,
    Run = 4,  // a = program handle, 0 for the program loaded last
    Halt = 5,
    Start = 6,
    ReturnValue = 7,
    ReadControlRegister = 8,
    WriteControlRegister = 9,
    ReadMonoMemory = 10,
    WriteMonoMemory = 11,
    SemaphoreWait = 13,
    SemaphoreSignal = 14,
    SymbolValue = 15,
    FreeMemory = 16,
    TraceOn = 19,
    TraceOff = 20,
};

// The state a run left, as in the Ended event.
enum class RunState : uint8_t { Stopped = 3, Halted = 4, Faulted = 5 };

// Error codes of responses, error frames, Ended events and the client.
enum Error : int {
    k_ok = 0,
    k_err_connect = 1,
    k_err_timeout = 2,
    k_err_connection_lost = 3,
    k_err_protocol = 4,
    k_err_version = 5,
    k_err_token = 6,
    k_err_busy = 7,
    k_err_bad_argument = 8,
    k_err_program_too_large = 9,
    k_err_bad_program = 10,
    k_err_state = 11,
    k_err_no_such_semaphore = 12,
    k_err_memory = 13,
    k_err_no_such_symbol = 14,
    k_err_out_of_memory = 15,
    k_err_program_faulted = 16,
    k_err_program_stopped = 17,
    k_err_shutdown = 18,
    k_err_trace_file = 19,
    k_err_unknown_operation = 20,
    k_err_not_connected = 21,
    k_err_client_vanished = 22,
    k_err_idle = 23,
};

// A short fixed text for every code ("unknown error code" otherwise).
char const* errorName(int code);

}  // namespace Protocol

#endif
