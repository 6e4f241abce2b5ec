// What a qxsim server is told at start: where it listens, its limits, the
// token it expects and the dimensions of the processors it simulates.
#ifndef SERVER_SERVERSETTINGS_H
#define SERVER_SERVERSETTINGS_H

#include "protocol/Protocol.h"
#include "simulator/ProcessorConfig.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace SimServer {

struct ServerSettings {
    std::string listenAddress = "127.0.0.1";
    uint16_t port = Protocol::kDefaultPort;  // 0: any free port
    unsigned maxConnections = 8;
    uint32_t maxProgramSize = Protocol::kMaxProgramSize;
    uint64_t maxCycles = 0;  // per run; 0: no limit
    std::string token;       // empty: none required
    bool verbose = false;
    // A client must finish the handshake within this time.
    std::chrono::milliseconds handshakeTimeout{10000};
    // A client that accepts no data for this long is dropped.
    std::chrono::milliseconds sendTimeout{10000};
    Simulator::ProcessorConfig processor;
};

} // namespace SimServer

#endif
