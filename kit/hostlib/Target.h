// The back end of one connection: the processors (chips) that a handle
// reaches once it is connected. EmbeddedTarget runs them on simulators
// inside this library; RemoteTarget drives the processors of a qxsim
// simulator server, one server connection per chip.
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

// The operations of a back end, declared once: Target declares them pure
// (HOSTLIB_TARGET_OPERATIONS(virtual, = 0)) and each back end overrides
// them all (HOSTLIB_TARGET_OPERATIONS(, override)).
//
// chipCount and dimensions: the processors and their dimensions, which do
// not change while connected.
// load, reset, run: program control. load and reset fail while a program
// runs; load's name is the program file's name, for a server's log; run starts a loaded program or resumes a
// stopped one and returns at once. halt: asks the running program to stop where it is (NOT_RUNNING if none).
// abort: ends a running program with a fault ("aborted by the host"); no
// effect when none runs.
// wait: blocks until no run is active and the end has been reported.
// lastEnd: the end of the last run: return value and fault text.
// readMemory, writeMemory: mono memory as bytes; readControlRegister,
// writeControlRegister: control registers (Simulator::ControlRegister).
// semaphoreWait, semaphoreSignal: the host side of the semaphores; the
// caller has checked the number.
// startTrace, stopTrace, tracing: instruction trace of the processor into
// a file (replaced), until stopTrace, which flushes and closes it.
// processorObject: the object that executes programs on the chip, for the
// kit's own tools (__qxapi_get_loader); null when it lives elsewhere.
#define HOSTLIB_TARGET_OPERATIONS(before, after)                                                     \
    before uint32_t chipCount() const after;                                                         \
    before Simulator::ProcessorConfig const& dimensions(uint32_t chip) const after;                  \
    before Status load(uint32_t chip, Qxx::QxxImage const& image, std::string const& name) after;    \
    before Status reset(uint32_t chip) after;                                                        \
    before Status run(uint32_t chip, Simulator::RunLimits const& limits) after;                      \
    before Status halt(uint32_t chip) after;                                                         \
    before void abort(uint32_t chip) after;                                                          \
    before Simulator::ProcessorState wait(uint32_t chip) after;                                      \
    before Simulator::ProcessorState state(uint32_t chip) const after;                               \
    before ProgramEnd lastEnd(uint32_t chip) const after;                                            \
    before Status readMemory(uint32_t chip, uint64_t address, void* data, size_t size) after;        \
    before Status writeMemory(uint32_t chip, uint64_t address, void const* data, size_t size) after; \
    before Status readControlRegister(uint32_t chip, uint32_t reg, uint32_t& value) after;           \
    before Status writeControlRegister(uint32_t chip, uint32_t reg, uint32_t value) after;           \
    before Status semaphoreWait(uint32_t chip, uint32_t semaphore) after;                            \
    before Status semaphoreSignal(uint32_t chip, uint32_t semaphore) after;                          \
    before bool symbolValue(uint32_t chip, std::string const& name, uint32_t& value) const after;    \
    before Status startTrace(uint32_t chip, std::string const& path) after;                          \
    before void stopTrace(uint32_t chip) after;                                                      \
    before bool tracing(uint32_t chip) const after;                                                  \
    before void* processorObject(uint32_t chip) after

class Target {
public:
    virtual ~Target() = default;

    HOSTLIB_TARGET_OPERATIONS(virtual, = 0);
};

}  // namespace HostLib

#endif
