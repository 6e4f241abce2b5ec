// A blocking client of the qxsim simulator server, for one connection and
// the one simulated processor the server gives it.
//
// Every operation returns 0 on success or a Protocol::Error code; the text
// of the last failure is lastError() (errorName(code) gives a fixed text
// per code). No reply within the read timeout is k_err_timeout; a broken
// connection is k_err_connection_lost and every later call fails the same way.
//
// Threads: make one call at a time, except that halt, semaphoreSignal (and
// any other call) may be made from a second thread while waitOnTerminate or
// semaphoreWait blocks on the first. Requests go out under a send lock; the
// thread that waits reads the connection and hands each response to the
// thread that asked for it, so no second connection is needed.
//
// Trace: enableTrace asks the server to trace the next runs; the server
// sends the trace while the program runs and the client appends it to the
// file named by setTraceFile (default "qxtrace.txt" in the working
// directory), which setTraceFile creates or empties.
#ifndef PROTOCOL_SIMCLIENT_H
#define PROTOCOL_SIMCLIENT_H

#include "protocol/FrameDecoder.h"
#include "protocol/Messages.h"
#include "protocol/Socket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace Protocol {

// How the last run ended.
struct RunResult {
    bool ended = false;   // false until a run has ended
    int32_t code = k_ok;  // k_ok, or why the server ended it (k_err_shutdown)
    RunState state = RunState::Halted;
    int32_t returnValue = 0;
    uint64_t cycles = 0;
    std::string text;  // the fault text, or the text of code
};

class SimClient {
public:
    static constexpr std::chrono::milliseconds k_default_connect_timeout{5000};
    static constexpr std::chrono::milliseconds k_default_read_timeout{10000};

    SimClient() = default;
    ~SimClient();
    SimClient(SimClient const&) = delete;
    SimClient& operator=(SimClient const&) = delete;

    // Connects and shakes hands; the server answers with the processor's
    // description or refuses (version, token, no free connection). While
    // every connection of the server is busy, the server may queue the
    // client and say so every half second: connect waits on, as long as
    // those notices come. A server that speaks only version 1 of the
    // protocol is asked again in version 1.
    int connect(std::string const& host, uint16_t port, std::string const& token,
                std::chrono::milliseconds connectTimeout = k_default_connect_timeout);
    // Closes the connection; the server aborts a run still going.
    void close();
    bool connected() const;

    // The longest wait for any frame from the server. While a program
    // runs the server sends a heartbeat every half second, so waits that
    // last longer than this still end only when the run does.
    void setReadTimeout(std::chrono::milliseconds timeout);
    std::string lastError() const;

    // Known from the handshake; no round trip.
    ProcessorInfo const& processorInfo() const { return m_info; }

    // Stops any program, clears memories and forgets the program.
    int reset();
    // Sends a qxx file; program receives the handle of the loaded program
    // (the last loaded program is the only one resident).
    int loadImage(std::string const& name, std::vector<uint8_t> const& bytes, uint32_t& program);
    // Starts the program loaded last; returns at once.
    int run();
    int halt();   // stops a run where it is; the run ends with RunState::Stopped
    int start();  // resumes a stopped program
    // Blocks until the run ends. 0 when the program halted; otherwise
    // k_err_program_faulted (the fault in lastError), k_err_program_stopped, or
    // the code the server ended it with, or a connection failure.
    int waitOnTerminate();
    RunResult lastRun() const;
    // How long the current or last run has been going, as the server's
    // last heartbeat said.
    std::chrono::milliseconds runTime() const;
    int returnValue(int32_t& value);

    int readControlRegister(uint32_t reg, uint32_t& value);
    int writeControlRegister(uint32_t reg, uint32_t value);
    // Byte copies of mono memory, in pieces of at most k_max_transfer_size.
    int readMonoMemory(uint64_t address, void* data, uint32_t size);
    int writeMonoMemory(uint64_t address, void const* data, uint32_t size);

    int semaphoreWait(uint32_t semaphore);  // blocks until taken or the program ends
    int semaphoreSignal(uint32_t semaphore);

    // program 0: the program loaded last.
    int symbolValue(uint32_t program, std::string const& name, uint64_t& value);
    // The mono memory between the program and the stack.
    int freeMemory(uint64_t& bytes);

    int enableTrace();
    int disableTrace();
    int setTraceFile(std::string const& path);

private:
    struct Answer {
        bool arrived = false;
        Response response;
    };

    int call(Request request, Response& response);
    int fail(int code, std::string const& text);
    int failLocked(int code, std::string const& text);
    int handshake(std::string const& token, uint16_t version);
    int readFrame(Frame& frame, std::string& error);
    std::chrono::milliseconds readTimeout() const {
        return std::chrono::milliseconds(m_read_timeout_ms.load());
    }
    int pump(std::unique_lock<std::mutex>& lock, std::function<bool()> const& done);
    void dispatch(Frame const& frame);
    void dispatchResponse(Response&& response);
    void dispatchEnded(Ended const& ended);
    void appendTrace(std::vector<uint8_t> const& bytes);
    void breakConnection(int code, std::string const& text);
    int runResultCode();

    Socket m_socket;
    FrameDecoder m_decoder;
    ProcessorInfo m_info;
    std::atomic<long long> m_read_timeout_ms{k_default_read_timeout.count()};

    mutable std::mutex m_mutex;  // everything below
    std::condition_variable m_changed;
    std::mutex m_send_mutex;
    bool m_connected = false;
    bool m_reading = false;
    int m_broken_code = k_ok;
    std::string m_broken_text;
    uint64_t m_frames_seen = 0;
    uint32_t m_next_sequence = 1;
    std::map<uint32_t, Answer> m_pending;
    std::map<uint32_t, Operation> m_operations;
    bool m_run_active = false;
    uint64_t m_run_milliseconds = 0;
    RunResult m_last_run;
    std::string m_trace_file = "qxtrace.txt";
    std::ofstream m_trace;
    std::string m_last_error;
};

}  // namespace Protocol

#endif
