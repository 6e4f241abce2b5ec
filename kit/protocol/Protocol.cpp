#include "protocol/Protocol.h"

namespace Protocol {

bool isKnownFrameType(uint8_t type) {
    switch (static_cast<FrameType>(type)) {
        case FrameType::Hello:
        case FrameType::Welcome:
        case FrameType::Error:
        case FrameType::Queued:
        case FrameType::Request:
        case FrameType::Response:
        case FrameType::Heartbeat:
        case FrameType::Trace:
        case FrameType::Ended: return true;
    }
    return false;
}

char const* errorName(int code) {
    switch (code) {
        case k_ok: return "success";
        case k_err_connect: return "cannot connect to the simulator server";
        case k_err_timeout: return "no answer from the simulator server in time";
        case k_err_connection_lost: return "the connection to the simulator server was lost";
        case k_err_protocol: return "protocol violation";
        case k_err_version: return "protocol version not supported";
        case k_err_token: return "the token was refused";
        case k_err_busy: return "the simulator server has no free connection";
        case k_err_bad_argument: return "bad argument";
        case k_err_program_too_large: return "the program is too large";
        case k_err_bad_program: return "the program cannot be loaded";
        case k_err_state: return "not possible in the processor's state";
        case k_err_no_such_semaphore: return "no such semaphore";
        case k_err_memory: return "memory access out of range";
        case k_err_no_such_symbol: return "no such symbol";
        case k_err_out_of_memory: return "not enough free device memory";
        case k_err_program_faulted: return "the program faulted";
        case k_err_program_stopped: return "the program was stopped";
        case k_err_shutdown: return "the simulator server is shutting down";
        case k_err_trace_file: return "the trace file cannot be written";
        case k_err_unknown_operation: return "unknown operation";
        case k_err_not_connected: return "not connected";
        case k_err_client_vanished: return "the client went away";
        case k_err_idle: return "the connection was idle too long";
    }
    return "unknown error code";
}

}  // namespace Protocol
