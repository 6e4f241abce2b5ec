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

    HOSTLIB_TARGET_OPERATIONS(, override);

    // One chip's runner and watcher; shared with the watcher thread.
    struct Chip;

private:
    EmbeddedTarget() = default;

    std::vector<std::shared_ptr<Chip>> m_chips;
};

}  // namespace HostLib

#endif
