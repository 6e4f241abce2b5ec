// The simulator inside the library: each chip of the connection is a
// Simulator::Processor driven by a ProcessorRunner on a worker thread.
//
// The end of every run is reported to the TargetEvents on a watcher
// thread of the chip, outside the runner's lock, so that an event
// callback may read the processor's state, memory and return value.
#ifndef HOSTLIB_EMBEDDEDTARGET_H
#define HOSTLIB_EMBEDDEDTARGET_H

#include "hostlib/Target.h"
#include "simulator/ProcessorRunner.h"

#include <memory>
#include <vector>

namespace HostLib {

class EmbeddedTarget final : public Target {
public:
    // Processors of the given dimensions; null with the reason in status
    // when the dimensions are not valid.
    static std::unique_ptr<EmbeddedTarget> create(Simulator::ProcessorConfig const& config, unsigned chips,
                                                  std::shared_ptr<TargetEvents> events, Status& status);
    ~EmbeddedTarget() override;

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

    void* processorObject(uint32_t chip) override;

    // One chip's runner and watcher; shared with the watcher thread.
    struct Chip;

private:
    EmbeddedTarget() = default;

    std::vector<std::shared_ptr<Chip>> m_chips;
};

}  // namespace HostLib

#endif
