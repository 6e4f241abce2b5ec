// The back end of one connection: the processors (chips) that a handle
// reaches once it is connected. EmbeddedTarget runs them on simulators
// inside this library; a remote back end would talk to a simulator server.
//
// The caller (HandleState) has checked the chip number against
// chipCount() and the plain arguments; a Target checks what only it can
// know (addresses, register numbers, semaphores, the program's state).
// Every operation may be called from any thread; wait and semaphoreWait
// block, and the destructor ends every run (abort) and waits for it, so
// that a blocked wait returns instead of hanging.
#ifndef HOSTLIB_TARGET_H
#define HOSTLIB_TARGET_H

#include "hostlib/Status.h"
#include "isa/ProcessorConfig.h"
#include "qxx/QxxImage.h"
#include "simulator/Processor.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace HostLib {

// How a run of a program ended, as the target reports it.
struct ProgramEnd {
    uint32_t chip = 0;
    Simulator::ProcessorState state = Simulator::ProcessorState::Empty;  // Halted, Faulted or Stopped
    int32_t returnValue = 0;                                             // when Halted
    std::string faultText;                                               // when Faulted
};

// Told when a run starts, on the thread that started it, and when it ends,
// on a thread of the target, after the start and before wait() returns
// for that run. A receiver must not wait for the run itself.
class TargetEvents {
public:
    virtual ~TargetEvents() = default;
    virtual void programStarted(uint32_t chip) = 0;
    virtual void programEnded(ProgramEnd const& end) = 0;
};

class Target {
public:
    virtual ~Target() = default;

    virtual uint32_t chipCount() const = 0;
    // Dimensions of a processor; they do not change while connected.
    virtual Simulator::ProcessorConfig const& dimensions(uint32_t chip) const = 0;

    // Program control. load and reset fail while a program runs; run
    // starts a loaded program or resumes a stopped one and returns at once.
    virtual Status load(uint32_t chip, Qxx::QxxImage const& image) = 0;
    virtual Status reset(uint32_t chip) = 0;
    virtual Status run(uint32_t chip, Simulator::RunLimits const& limits) = 0;
    // Asks the running program to stop where it is (NOT_RUNNING if none).
    virtual Status halt(uint32_t chip) = 0;
    // Ends a running program with a fault ("aborted by the host"); no
    // effect when none runs.
    virtual void abort(uint32_t chip) = 0;
    // Blocks until no run is active and the end has been reported.
    virtual Simulator::ProcessorState wait(uint32_t chip) = 0;
    virtual Simulator::ProcessorState state(uint32_t chip) const = 0;
    // The end of the last run: return value and fault text.
    virtual ProgramEnd lastEnd(uint32_t chip) const = 0;

    // Mono memory as bytes; control registers (Simulator::ControlRegister).
    virtual Status readMemory(uint32_t chip, uint64_t address, void* data, size_t size) = 0;
    virtual Status writeMemory(uint32_t chip, uint64_t address, void const* data, size_t size) = 0;
    virtual Status readControlRegister(uint32_t chip, uint32_t reg, uint32_t& value) = 0;
    virtual Status writeControlRegister(uint32_t chip, uint32_t reg, uint32_t value) = 0;

    // Host side of the semaphores; the caller has checked the number.
    virtual Status semaphoreWait(uint32_t chip, uint32_t semaphore) = 0;
    virtual Status semaphoreSignal(uint32_t chip, uint32_t semaphore) = 0;

    virtual bool symbolValue(uint32_t chip, std::string const& name, uint32_t& value) const = 0;

    // Instruction trace of the processor into a file (replaced), until
    // stopTrace, which flushes and closes it.
    virtual Status startTrace(uint32_t chip, std::string const& path) = 0;
    virtual void stopTrace(uint32_t chip) = 0;
    virtual bool tracing(uint32_t chip) const = 0;

    // The object that executes programs on the chip, for the kit's own
    // tools (__qxapi_get_loader); null when it lives elsewhere.
    virtual void* processorObject(uint32_t chip) = 0;
};

}  // namespace HostLib

#endif
