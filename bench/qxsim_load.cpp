// qxsim_load: puts a qxsim server under the loads that once hurt it and
// prints what a client saw. It starts the server binary it is given (so
// that two builds can be compared) on a free port of the loopback address,
// with QXPATH naming the directory of target_device.cfg.
//
//   qxsim_load QXSIM CONFIG_DIR SCENARIO
//
// QXSIM_LOAD_OLD set: the server is an older build (protocol version 1,
// no --idle-timeout).
//
// Scenarios:
//   parallel  64 clients make 256 runs between them: failures, wall time
//   silent    64 silent sockets, then one client's run: its delay
//   idle      8 clients idle after their handshake (--idle-timeout 2), a
//             9th connects: how many of the 8 were dropped, its wait
//   trace     a traced run read at 64 KiB/s for 5 s: the server's peak RSS
//   sigterm   a traced run nobody reads, SIGTERM: time until the server exits
#include "assembler/Assembler.h"
#include "protocol/Messages.h"
#include "protocol/SimClient.h"
#include "protocol/Socket.h"
#include "qxx/QxxWriter.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Protocol;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<uint8_t> assembled(char const* source) {
    Qxx::QxxImage image;
    std::vector<std::string> errors;
    std::vector<uint8_t> bytes;
    std::string error;
    if (!Assembler::assemble({{"load.qxs", source}}, Assembler::AssemblerOptions(), image, errors) ||
        !Qxx::writeQxx(image, bytes, error)) {
        std::fprintf(stderr, "cannot assemble\n");
        std::exit(2);
    }
    return bytes;
}

class ServerProcess {
public:
    ServerProcess(std::string const& binary, std::string const& configDirectory,
                  std::vector<std::string> options) {
        std::vector<std::string> words = {"qxsim", "--port", "0"};
        words.insert(words.end(), options.begin(), options.end());
        int out[2];
        if (::pipe(out) != 0) std::exit(2);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            int const null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
            ::setenv("QXPATH", configDirectory.c_str(), 1);
            std::vector<char*> argv;
            for (std::string& word : words) argv.push_back(word.data());
            argv.push_back(nullptr);
            ::execv(binary.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
        ::close(out[0]);
        size_t const colon = line.rfind(':');
        if (colon == std::string::npos) {
            std::fprintf(stderr, "the server did not start: %s\n", line.c_str());
            std::exit(2);
        }
        m_port = static_cast<uint16_t>(std::atoi(line.c_str() + colon + 1));
    }
    ~ServerProcess() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }

    uint16_t port() const { return m_port; }
    pid_t pid() const { return m_pid; }

    // Seconds from SIGTERM until the process is gone, at most limit.
    double terminate(std::chrono::seconds limit) {
        Clock::time_point const start = Clock::now();
        ::kill(m_pid, SIGTERM);
        while (Clock::now() - start < limit) {
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return secondsSince(start);
            }
            std::this_thread::sleep_for(1ms);
        }
        return -1;
    }

    // A line of /proc/PID/status in kB, such as VmHWM.
    long statusKilobytes(char const* field) const {
        std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field) + 1);
        return -1;
    }

private:
    pid_t m_pid = -1;
    uint16_t m_port = 0;
};

char const* const k_short =
    "li r1, 0\n li r2, 200\nloop: add r1, r1, r2\n addi r2, r2, -1\n bnez r2, loop\n halt r1\n";
char const* const k_endless = "loop: addi r1, r1, 1\n jmp loop\n";

// One run on a fresh connection, as qxrun --host makes it; "" or the error.
std::string oneRun(uint16_t port, std::vector<uint8_t> const& bytes) {
    SimClient client;
    uint32_t handle = 0;
    int32_t value = 0;
    if (client.connect("127.0.0.1", port, "") != k_ok ||
        client.loadImage("load.qxx", bytes, handle) != k_ok || client.run() != k_ok ||
        client.waitOnTerminate() != k_ok || client.returnValue(value) != k_ok)
        return client.lastError();
    return value == 20100 ? std::string() : "wrong value " + std::to_string(value);
}

int parallel(ServerProcess& server) {
    std::vector<uint8_t> const bytes = assembled(k_short);
    std::atomic<int> failures{0};
    std::atomic<int> next{0};
    std::string firstFailure;
    std::mutex mutex;
    Clock::time_point const start = Clock::now();
    std::vector<std::thread> clients;
    for (int c = 0; c < 64; ++c)
        clients.emplace_back([&] {
            while (next++ < 256) {
                std::string const error = oneRun(server.port(), bytes);
                if (error.empty()) continue;
                ++failures;
                std::lock_guard<std::mutex> lock(mutex);
                if (firstFailure.empty()) firstFailure = error;
            }
        });
    for (std::thread& client : clients) client.join();
    std::printf("parallel: 256 runs from 64 clients: %d failed, %.2f s%s%s\n", failures.load(),
                secondsSince(start), firstFailure.empty() ? "" : "; first failure: ", firstFailure.c_str());
    return 0;
}

int silent(ServerProcess& server) {
    std::vector<Socket> sockets(64);
    std::string error;
    for (Socket& socket : sockets) Socket::connectTo("127.0.0.1", server.port(), 5s, socket, error);
    Clock::time_point const start = Clock::now();
    std::string const failure = oneRun(server.port(), assembled(k_short));
    std::printf("silent: a run behind 64 silent sockets took %.3f s: %s\n", secondsSince(start),
                failure.empty() ? "served" : failure.c_str());
    return 0;
}

int idle(ServerProcess& server) {
    std::vector<std::unique_ptr<SimClient>> idlers;
    for (int c = 0; c < 8; ++c) {
        idlers.push_back(std::make_unique<SimClient>());
        if (idlers.back()->connect("127.0.0.1", server.port(), "") != k_ok)
            std::printf("idle: client %d not served: %s\n", c, idlers.back()->lastError().c_str());
    }
    Clock::time_point const start = Clock::now();
    SimClient ninth;
    ninth.setReadTimeout(30s);
    int const code = ninth.connect("127.0.0.1", server.port(), "");
    double const waited = secondsSince(start);
    std::this_thread::sleep_for(2s);  // the others' timeouts, a little later than the first
    int dropped = 0;
    std::string reason;
    for (auto& client : idlers) {
        uint64_t bytes = 0;
        if (client->freeMemory(bytes) != k_ok) {
            ++dropped;
            reason = client->lastError();
        }
    }
    std::printf("idle: 9th client %s after %.2f s; %d of 8 idle clients dropped%s%s\n",
                code == k_ok ? "served" : ("refused (" + ninth.lastError() + ")").c_str(), waited, dropped,
                reason.empty() ? "" : ": ", reason.c_str());
    return 0;
}

// A traced endless run on a bare socket; the caller decides how to read.
Socket tracedRun(uint16_t port) {
    Socket socket;
    std::string error;
    if (!Socket::connectTo("127.0.0.1", port, 5s, socket, error)) std::exit(2);
    Request load;
    load.sequence = 1;
    load.operation = Operation::Load;
    load.text = "endless.qxx";
    load.data = assembled(k_endless);
    Request trace;
    trace.sequence = 2;
    trace.operation = Operation::TraceOn;
    Request run;
    run.sequence = 3;
    run.operation = Operation::Run;
    Hello hello;
    if (std::getenv("QXSIM_LOAD_OLD") != nullptr) hello.version = 1;  // what an older server speaks
    for (auto const& frame : {encode(hello), encode(load), encode(trace), encode(run)})
        if (!socket.sendAll(frame, error)) std::exit(2);
    return socket;
}

int trace(ServerProcess& server) {
    Socket socket = tracedRun(server.port());
    uint8_t buffer[6554];
    long peak = 0;
    Clock::time_point const start = Clock::now();
    uint64_t read = 0;
    while (Clock::now() - start < 5s) {
        size_t got = 0;
        std::string error;
        if (socket.receive(buffer, sizeof buffer, 0ms, got, error) == Socket::Received::Data) read += got;
        peak = std::max(peak, server.statusKilobytes("VmRSS:"));
        std::this_thread::sleep_for(100ms);  // the load itself: a reader of 64 KiB/s
    }
    std::printf("trace: slow reader took %llu bytes in 5 s; server peak RSS %.1f MB (VmHWM %.1f MB)\n",
                static_cast<unsigned long long>(read), peak / 1024.0,
                server.statusKilobytes("VmHWM:") / 1024.0);
    return 0;
}

int sigterm(ServerProcess& server) {
    Socket socket = tracedRun(server.port());
    std::this_thread::sleep_for(1s);  // the load: let the unread trace fill every buffer
    double const took = server.terminate(60s);
    if (took < 0)
        std::printf("sigterm: the server had not exited 60 s after SIGTERM\n");
    else
        std::printf("sigterm: the server exited %.3f s after SIGTERM\n", took);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: qxsim_load QXSIM CONFIG_DIR parallel|silent|idle|trace|sigterm\n");
        return 2;
    }
    std::string const scenario = argv[3];
    std::vector<std::string> options;
    if (scenario == "idle") options = {"--idle-timeout", "2"};
    if (std::getenv("QXSIM_LOAD_OLD") != nullptr && scenario == "idle") options.clear();
    ServerProcess server(argv[1], argv[2], options);
    if (scenario == "parallel") return parallel(server);
    if (scenario == "silent") return silent(server);
    if (scenario == "idle") return idle(server);
    if (scenario == "trace") return trace(server);
    if (scenario == "sigterm") return sigterm(server);
    std::fprintf(stderr, "qxsim_load: unknown scenario %s\n", scenario.c_str());
    return 2;
}
