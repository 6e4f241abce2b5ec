// One connection's simulated processor and everything the client did with
// it: the loaded program, host allocations, trace, the run on a worker
// thread and a pending host semaphore wait. The connection's thread calls
// every method; the run and the semaphore wait finish on threads of their
// own and report through wake(), after which the connection thread
// collects what they left.
#ifndef SERVER_PROCESSORSESSION_H
#define SERVER_PROCESSORSESSION_H

#include "protocol/Messages.h"
#include "server/ServerSettings.h"
#include "server/TraceBuffer.h"
#include "simulator/ProcessorRunner.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace SimServer {

// What the log says about a run that ended.
struct RunRecord {
    std::string program;
    size_t programSize = 0;
    Protocol::Ended ended;
    std::chrono::milliseconds duration{0};
};

class ProcessorSession {
public:
    // Null with the reason in error when the processor cannot be made.
    static std::unique_ptr<ProcessorSession> create(ServerSettings const& settings,
                                                    std::function<void()> wake, std::string& error);
    // Aborts a run, releases a pending semaphore wait and joins the threads.
    ~ProcessorSession();
    ProcessorSession(ProcessorSession const&) = delete;
    ProcessorSession& operator=(ProcessorSession const&) = delete;

    Protocol::ProcessorInfo info() const;

    // Carries out a request. False when the answer comes later, through
    // takeCompletions (a semaphore wait).
    bool handle(Protocol::Request const& request, Protocol::Response& response);

    // Answers of deferred requests that have completed.
    std::vector<Protocol::Response> takeCompletions();

    // True while a run or a semaphore wait is in progress.
    bool busy() const;
    std::chrono::milliseconds runTime() const;

    // New trace bytes, at most most of them, in chunks the protocol can
    // carry. While the trace buffer is full the run waits for this.
    void takeTrace(std::vector<std::vector<uint8_t>>& chunks, size_t most);
    size_t traceCapacity() const { return m_trace.capacity(); }
    std::string const& programName() const { return m_program_name; }
    bool traceWaiting() const { return m_trace.size() > 0; }
    size_t traceBuffered() const { return m_trace.size(); }

    // When a run has ended: its end, with the trace finished, and true.
    bool takeRunEnd(RunRecord& record);

    // Ends a run from outside (shutdown, client gone) and waits for it; the
    // run's end then carries code and text.
    void abortRun(int code, std::string const& text);

private:
    using Response = Protocol::Response;
    using Request = Protocol::Request;

    ProcessorSession(ServerSettings const& settings, std::unique_ptr<Simulator::Processor> processor,
                     std::function<void()> wake);

    Simulator::Processor& processor() { return m_runner.processor(); }
    bool checkProgram(uint64_t handle, Response& response) const;

    using Handler = void (ProcessorSession::*)(Request const& request, Response& response);
    static Handler handlerOf(Protocol::Operation operation);

    void reset(Request const& request, Response& response);
    void load(Request const& request, Response& response);
    void run(Request const& request, Response& response);
    void halt(Request const& request, Response& response);
    void resume(Request const& request, Response& response);
    void returnValue(Request const& request, Response& response);
    void readControlRegister(Request const& request, Response& response);
    void writeControlRegister(Request const& request, Response& response);
    void readMonoMemory(Request const& request, Response& response);
    void writeMonoMemory(Request const& request, Response& response);
    bool semaphoreWait(Request const& request, Response& response);
    void semaphoreSignal(Request const& request, Response& response);
    void symbolValue(Request const& request, Response& response);
    void freeMemory(Request const& request, Response& response);
    void traceOn(Request const& request, Response& response);
    void traceOff(Request const& request, Response& response);

    bool startRun(Response& response);
    void startTrace();
    void stopTrace();
    void onRunEnd();
    void captureRunEnd();

    ServerSettings const& m_settings;
    std::function<void()> m_wake;
    TraceBuffer m_trace;  // outlives the processor, which writes into it
    Simulator::ProcessorRunner m_runner;

    uint32_t m_program = 0;  // handle of the resident program, 0: none
    uint32_t m_next_program = 1;
    std::string m_program_name;
    size_t m_program_size = 0;
    uint64_t m_program_end = 0;  // first mono byte after its data and bss

    bool m_trace_on = false;

    bool m_running = false;
    std::chrono::steady_clock::time_point m_run_start;
    RunRecord m_ended_run;
    bool m_have_ended_run = false;
    int m_abort_code = Protocol::k_ok;
    std::string m_abort_text;

    mutable std::mutex m_event_mutex;  // the fields below
    bool m_run_ended = false;
    bool m_wait_pending = false;
    std::vector<Response> m_completions;
    std::thread m_waiter;
};

}  // namespace SimServer

#endif
