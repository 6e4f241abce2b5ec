// Runs a Processor's program on a worker thread of its own, the way a host
// library and the simulator server need it: start returns at once, wait
// blocks until the program has halted, faulted or been stopped, and the
// destructor ends a running program instead of leaving a thread behind.
#ifndef SIMULATOR_PROCESSORRUNNER_H
#define SIMULATOR_PROCESSORRUNNER_H

#include "simulator/Processor.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace Simulator {

class ProcessorRunner {
public:
    // Called on the worker thread with the state the run left, after the
    // run has ended and before waiters are released; it must not call
    // back into the runner.
    using EndHandler = std::function<void(ProcessorState)>;

    explicit ProcessorRunner(std::unique_ptr<Processor> processor);
    ~ProcessorRunner();  // aborts a running program and joins its thread
    ProcessorRunner(ProcessorRunner const&) = delete;
    ProcessorRunner& operator=(ProcessorRunner const&) = delete;

    // The processor: memory, registers and loading while no run is active;
    // stop requests and semaphores at any time.
    Processor& processor() { return *m_processor; }

    // Starts (or resumes) the program on the worker thread. Fails with a
    // reason when a run is already active or nothing is loaded or the
    // program has already ended.
    bool start(RunLimits const& limits, std::string& error);

    // Blocks until no run is active and gives the processor's state.
    ProcessorState wait();
    // As wait, for at most timeout; false when the run is still active.
    bool waitFor(std::chrono::milliseconds timeout, ProcessorState& state);

    // Stops an active run where it is (start resumes it) or ends it.
    void halt() { m_processor->requestStop(StopRequest::Halt); }
    void abort() { m_processor->requestStop(StopRequest::Abort); }

    bool active() const;
    void setEndHandler(EndHandler handler);

private:
    void joinFinished();

    std::unique_ptr<Processor> m_processor;
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_active = false;
    EndHandler m_on_end;
    std::thread m_worker;
};

}  // namespace Simulator

#endif
