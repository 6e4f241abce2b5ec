// Processors served by a qxsim simulator server: each chip of the
// connection is one qxsim connection (Protocol::SimClient), and the server
// gives each connection a processor of its own.
//
// The end of every run is awaited on a watcher thread of the chip, which
// reports it to the TargetEvents, like the embedded simulator does. A
// connection that breaks, or a server that stops answering (no heartbeat
// within the client's read timeout), ends the run as a fault whose text
// says so; every later operation on that chip fails with
// QXAPI_ERR_CONNECTION_LOST instead of blocking.
//
// The trace file is written on this side: the server streams the trace of
// a run and the client appends it to the file that startTrace names.
#ifndef HOSTLIB_REMOTETARGET_H
#define HOSTLIB_REMOTETARGET_H

#include "hostlib/Target.h"

#include <chrono>
#include "protocol/HostAddress.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace HostLib {

// Where the server is and how to reach it.
struct ServerAddress {
    std::string host;
    uint16_t port = 0;
    std::string token;
    std::chrono::milliseconds connectTimeout{5000};

    std::string text() const { return Protocol::hostAndPort(host, port); }
};

class RemoteTarget final : public Target {
public:
    // One connection per chip; null with the reason in status when the
    // server cannot be reached or refuses a connection.
    static std::unique_ptr<RemoteTarget> connect(ServerAddress const& server, unsigned chips,
                                                 std::shared_ptr<TargetEvents> events, Status& status);
    ~RemoteTarget() override;

    HOSTLIB_TARGET_OPERATIONS(, override);

    // One chip's client and watcher; shared with the watcher thread.
    struct Chip;

private:
    RemoteTarget() = default;

    std::vector<std::shared_ptr<Chip>> m_chips;
};

}  // namespace HostLib

#endif
