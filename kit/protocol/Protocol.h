// The qxsim wire protocol: constants shared by the simulator server and
// its client. docs/qxsim-protocol.md describes the frames and messages.
#ifndef PROTOCOL_PROTOCOL_H
#define PROTOCOL_PROTOCOL_H

#include <cstdint>

namespace Protocol {

constexpr uint32_t kMagic = 0x50535851;  // "QXSP" in little-endian bytes
// The newest version this side speaks; servers also serve clients of
// kOldestVersion, without the frames added since.
constexpr uint16_t kVersion = 2;
constexpr uint16_t kOldestVersion = 1;
// The first version whose clients understand a queued frame.
constexpr uint16_t kQueuedFrameVersion = 2;
constexpr uint16_t kDefaultPort = 7411;

// Limits that keep a broken or hostile peer from driving allocation.
constexpr uint32_t kMaxProgramSize = 16u << 20;
constexpr uint32_t kMaxStringLength = 4096;
constexpr uint32_t kMaxTransferSize = 1u << 20;  // memory bytes per request
constexpr uint32_t kMaxTraceChunk = 64u << 10;
constexpr uint32_t kFrameOverhead = 64u << 10;   // room for the fields around a program
constexpr uint32_t kMaxFrameSize = kMaxProgramSize + kFrameOverhead;
constexpr uint32_t kFrameHeaderSize = 4;         // the length field

// The longest token a client may present, and so the longest a server
// may expect.
constexpr uint32_t kMaxTokenLength = kMaxStringLength;

// How often the server tells a waiting client that it is alive.
constexpr uint32_t kHeartbeatMilliseconds = 500;

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

enum class Operation : uint16_t {
    Reset = 1,
    Load = 2,
    Unload = 3,
    Run = 4,  // a = program handle, 0 for the program loaded last
    Halt = 5,
    Start = 6,
    ReturnValue = 7,
    ReadControlRegister = 8,
    WriteControlRegister = 9,
    ReadMonoMemory = 10,
    WriteMonoMemory = 11,
    RegisterSemaphore = 12,
    SemaphoreWait = 13,
    SemaphoreSignal = 14,
    SymbolValue = 15,
    FreeMemory = 16,
    Allocate = 17,
    Free = 18,
    TraceOn = 19,
    TraceOff = 20,
};

// The state a run left, as in the Ended event.
enum class RunState : uint8_t { Stopped = 3, Halted = 4, Faulted = 5 };

// Error codes of responses, error frames, Ended events and the client.
enum Error : int {
    kOk = 0,
    kErrConnect = 1,
    kErrTimeout = 2,
    kErrConnectionLost = 3,
    kErrProtocol = 4,
    kErrVersion = 5,
    kErrToken = 6,
    kErrBusy = 7,
    kErrBadArgument = 8,
    kErrProgramTooLarge = 9,
    kErrBadProgram = 10,
    kErrState = 11,
    kErrNoSuchSemaphore = 12,
    kErrMemory = 13,
    kErrNoSuchSymbol = 14,
    kErrOutOfMemory = 15,
    kErrProgramFaulted = 16,
    kErrProgramStopped = 17,
    kErrShutdown = 18,
    kErrTraceFile = 19,
    kErrUnknownOperation = 20,
    kErrNotConnected = 21,
    kErrClientVanished = 22,
    kErrIdle = 23,
};

// A short fixed text for every code ("unknown error code" otherwise).
char const* errorName(int code);

} // namespace Protocol

#endif
