// What a qxsim server is told at start: where it listens, its limits, the
// token it expects and the dimensions of the processors it simulates.
#ifndef SERVER_SERVERSETTINGS_H
#define SERVER_SERVERSETTINGS_H

#include "isa/ProcessorConfig.h"
#include "protocol/Protocol.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace SimServer {

struct ServerSettings {
    std::string listenAddress = "127.0.0.1";
    uint16_t port = Protocol::k_default_port;  // 0: any free port
    unsigned maxConnections = 8;
    // Clients that arrive while every connection is busy wait in a queue
    // of this many, each at most queueTimeout; beyond, they are refused.
    unsigned queueLength = 64;
    std::chrono::milliseconds queueTimeout{60000};
    // A connection with no run and no request for this long is closed;
    // 0: never.
    std::chrono::milliseconds idleTimeout{60000};
    // Trace bytes held per connection while the client reads them.
    size_t traceBufferSize = 4u << 20;
    uint32_t maxProgramSize = Protocol::k_max_program_size;
    uint64_t maxCycles = 0;  // per run; 0: no limit
    std::string token;       // empty: none required
    bool verbose = false;
    // The health port (HealthPort), on listenAddress too; 0: any free port.
    bool healthChecks = false;
    uint16_t healthPort = 0;
    // A drain waits this long for the connections it serves to close,
    // then ends them as stop() does; 0: at once.
    std::chrono::milliseconds drainGrace{60000};
    // A client must finish the handshake within this time.
    std::chrono::milliseconds handshakeTimeout{10000};
    // A client that accepts no data for this long is dropped.
    std::chrono::milliseconds sendTimeout{10000};
    Simulator::ProcessorConfig processor;
};

}  // namespace SimServer

#endif
