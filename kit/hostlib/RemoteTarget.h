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

    std::string text() const { return host + ":" + std::to_string(port); }
};

class RemoteTarget final : public Target {
public:
    // One connection per chip; null with the reason in status when the
    // server cannot be reached or refuses a connection.
    static std::unique_ptr<RemoteTarget> connect(ServerAddress const& server, unsigned chips,
                                                 std::shared_ptr<TargetEvents> events, Status& status);
    ~RemoteTarget() override;

    uint32_t chipCount() const override;
    Simulator::ProcessorConfig const& dimensions(uint32_t chip) const override;

    Status load(uint32_t chip, Qxx::QxxImage const& image) override;
    Status reset(uint32_t chip) override;
    Status run(uint32_t chip, Simulator::RunLimits const& limits) override;
    Status halt(uint32_t chip) override;
    void abort(uint32_t chip) override;
    Simulator::ProcessorState wait(uint32_t chip) override;
    Simulator::ProcessorState state(uint32_t chip) const override;
    ProgramEnd lastEnd(uint32_t chip) const override;

    Status readMemory(uint32_t chip, uint64_t address, void* data, size_t size) override;
    Status writeMemory(uint32_t chip, uint64_t address, void const* data, size_t size) override;
    Status readControlRegister(uint32_t chip, uint32_t reg, uint32_t& value) override;
    Status writeControlRegister(uint32_t chip, uint32_t reg, uint32_t value) override;

    Status semaphoreWait(uint32_t chip, uint32_t semaphore) override;
    Status semaphoreSignal(uint32_t chip, uint32_t semaphore) override;

    bool symbolValue(uint32_t chip, std::string const& name, uint32_t& value) const override;

    Status startTrace(uint32_t chip, std::string const& path) override;
    void stopTrace(uint32_t chip) override;
    bool tracing(uint32_t chip) const override;

    // The processor lives in the server.
    void* processorObject(uint32_t chip) override;

    // One chip's client and watcher; shared with the watcher thread.
    struct Chip;

private:
    RemoteTarget() = default;

    std::vector<std::shared_ptr<Chip>> m_chips;
};

}  // namespace HostLib

#endif
