#include "protocol/Protocol.h"

namespace Protocol {

bool isKnownFrameType(uint8_t type)
{
    switch (static_cast<FrameType>(type)) {
    case FrameType::Hello:
    case FrameType::Welcome:
    case FrameType::Error:
    case FrameType::Queued:
    case FrameType::Request:
    case FrameType::Response:
    case FrameType::Heartbeat:
    case FrameType::Trace:
    case FrameType::Ended:
        return true;
    }
    return false;
}

char const* errorName(int code)
{
    switch (code) {
    case kOk: return "success";
    case kErrConnect: return "cannot connect to the simulator server";
    case kErrTimeout: return "no answer from the simulator server in time";
    case kErrConnectionLost: return "the connection to the simulator server was lost";
    case kErrProtocol: return "protocol violation";
    case kErrVersion: return "protocol version not supported";
    case kErrToken: return "the token was refused";
    case kErrBusy: return "the simulator server has no free connection";
    case kErrBadArgument: return "bad argument";
    case kErrProgramTooLarge: return "the program is too large";
    case kErrBadProgram: return "the program cannot be loaded";
    case kErrState: return "not possible in the processor's state";
    case kErrNoSuchSemaphore: return "no such semaphore";
    case kErrMemory: return "memory access out of range";
    case kErrNoSuchSymbol: return "no such symbol";
    case kErrOutOfMemory: return "not enough free device memory";
    case kErrProgramFaulted: return "the program faulted";
    case kErrProgramStopped: return "the program was stopped";
    case kErrShutdown: return "the simulator server is shutting down";
    case kErrTraceFile: return "the trace file cannot be written";
    case kErrUnknownOperation: return "unknown operation";
    case kErrNotConnected: return "not connected";
    case kErrClientVanished: return "the client went away";
    case kErrIdle: return "the connection was idle too long";
    }
    return "unknown error code";
}

} // namespace Protocol
