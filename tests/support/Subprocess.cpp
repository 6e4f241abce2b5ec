#include "tests/support/Subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace TestSupport {

namespace {

using Clock = std::chrono::steady_clock;

// Variables the child inherits: the sanitizers' settings belong to the
// build under test, not to the developer's configuration of the tool.
char const* const s_inherited[] = {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"};

// QX_TEST_WRAPPER holds a command prefix, e.g. "valgrind --quiet
// --error-exitcode=99", put before every program the tests start, so that
// the whole end-to-end suite can run under a checker. The checker is slow,
// so timeouts grow by this factor under it.
char const* const s_wrapper_variable = "QX_TEST_WRAPPER";
int const s_wrapped_timeout_factor = 10;

std::vector<std::string> wrapperWords() {
    std::vector<std::string> words;
    char const* text = std::getenv(s_wrapper_variable);
    std::string word;
    for (char const* c = text ? text : "";; ++c) {
        if (*c == ' ' || *c == '\t' || *c == '\0') {
            if (!word.empty()) words.push_back(word);
            word.clear();
            if (*c == '\0') break;
        } else {
            word += *c;
        }
    }
    return words;
}

// The wrapper's own program is looked up along the tests' PATH.
std::string findProgram(std::string const& name) {
    if (name.find('/') != std::string::npos) return name;
    char const* path = std::getenv("PATH");
    std::string directories = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= directories.size()) {
        std::size_t end = directories.find(':', start);
        if (end == std::string::npos) end = directories.size();
        std::string const candidate = directories.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return name;
}

std::string directoryOf(std::string const& path) {
    std::size_t const slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string baseNameOf(std::string const& path) {
    std::size_t const slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Both ends of a pipe, closed when it goes out of scope.
struct Pipe {
    int read_end = -1;
    int write_end = -1;
    Pipe() {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) == 0) {
            read_end = ends[0];
            write_end = ends[1];
        }
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(Pipe const&) = delete;
    Pipe& operator=(Pipe const&) = delete;
    bool ok() const { return read_end >= 0; }
    void closeRead() {
        if (read_end >= 0) close(read_end);
        read_end = -1;
    }
    void closeWrite() {
        if (write_end >= 0) close(write_end);
        write_end = -1;
    }
};

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// In the child between fork and exec: only async-signal-safe calls. A
// failure is reported as errno through the error pipe (when there is one).
[[noreturn]] void execChild(char const* program, char* const* argv, char* const* envp, char const* directory,
                            int out, int err, int failure) {
    int const input = open("/dev/null", O_RDONLY);
    bool const ready = input >= 0 && out >= 0 && err >= 0 && dup2(input, STDIN_FILENO) >= 0 &&
                       dup2(out, STDOUT_FILENO) >= 0 && dup2(err, STDERR_FILENO) >= 0 &&
                       (directory == nullptr || chdir(directory) == 0);
    if (ready) execve(program, argv, envp);
    int const error = errno;
    if (failure >= 0) {
        ssize_t const written = write(failure, &error, sizeof error);
        (void)written;
    }
    _exit(127);
}

// Reads whatever one descriptor has; false at end of file.
bool drain(int descriptor, std::string& into) {
    char buffer[4096];
    ssize_t const count = read(descriptor, buffer, sizeof buffer);
    if (count < 0) return errno == EINTR || errno == EAGAIN;
    into.append(buffer, static_cast<std::size_t>(count));
    return count > 0;
}

// Reads both outputs until both are closed or the deadline passes;
// returns false on timeout.
bool collect(Pipe& out, Pipe& err, Subprocess::Result& result, Clock::time_point const* deadline) {
    while (out.ok() || err.ok()) {
        pollfd descriptors[2] = {{out.read_end, POLLIN, 0}, {err.read_end, POLLIN, 0}};
        int wait = -1;
        if (deadline != nullptr) {
            auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left.count() <= 0) return false;
            wait = static_cast<int>(left.count());
        }
        int const ready = poll(descriptors, 2, wait);
        if (ready < 0 && errno != EINTR) return true;
        if (ready <= 0) continue;
        if (descriptors[0].revents != 0 && !drain(out.read_end, result.out)) out.closeRead();
        if (descriptors[1].revents != 0 && !drain(err.read_end, result.err)) err.closeRead();
    }
    return true;
}

void waitFor(pid_t child, Subprocess::Result& result) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
}

}  // namespace

Subprocess::Subprocess(std::string program) : m_program(std::move(program)) {
    m_environment["PATH"] = "/usr/local/bin:/usr/bin:/bin";
    for (char const* name : s_inherited)
        if (char const* value = std::getenv(name)) m_environment[name] = value;
}

Subprocess& Subprocess::argv0(std::string name) {
    m_argv0 = std::move(name);
    return *this;
}

Subprocess& Subprocess::arg(std::string argument) {
    m_arguments.push_back(std::move(argument));
    return *this;
}

Subprocess& Subprocess::args(std::vector<std::string> const& arguments) {
    m_arguments.insert(m_arguments.end(), arguments.begin(), arguments.end());
    return *this;
}

Subprocess& Subprocess::env(std::string const& name, std::string value) {
    m_environment[name] = std::move(value);
    return *this;
}

Subprocess& Subprocess::unsetEnv(std::string const& name) {
    m_environment.erase(name);
    return *this;
}

Subprocess& Subprocess::workingDirectory(std::string directory) {
    m_working_directory = std::move(directory);
    return *this;
}

Subprocess& Subprocess::timeout(std::chrono::milliseconds limit) {
    m_timeout = limit;
    return *this;
}

Subprocess::Result Subprocess::run() const {
    Result result;
    // Everything the child needs is built before fork.
    Launch launch{m_program, {m_argv0.empty() ? m_program : m_argv0}, m_environment, m_timeout};
    launch.argv.insert(launch.argv.end(), m_arguments.begin(), m_arguments.end());
    wrap(launch);
    std::vector<std::string> envTexts;
    for (auto const& [name, value] : launch.environment) envTexts.push_back(name + "=" + value);
    std::vector<char*> const argv = pointersTo(launch.argv);
    std::vector<char*> const envp = pointersTo(envTexts);
    char const* directory = m_working_directory.empty() ? nullptr : m_working_directory.c_str();

    Pipe out, err, failure;
    if (!out.ok() || !err.ok() || !failure.ok()) {
        result.error = std::string("pipe: ") + std::strerror(errno);
        return result;
    }
    pid_t const child = fork();
    if (child < 0) {
        result.error = std::string("fork: ") + std::strerror(errno);
        return result;
    }
    if (child == 0)
        execChild(launch.program.c_str(), argv.data(), envp.data(), directory, out.write_end, err.write_end,
                  failure.write_end);

    out.closeWrite();
    err.closeWrite();
    failure.closeWrite();
    // The error pipe closes on a successful exec and carries errno otherwise.
    int error = 0;
    if (read(failure.read_end, &error, sizeof error) == static_cast<ssize_t>(sizeof error)) {
        waitFor(child, result);
        result.exit_status = -1;
        result.error = "cannot run " + launch.program + ": " + std::strerror(error);
        return result;
    }

    Clock::time_point const deadline = Clock::now() + launch.timeout;
    if (!collect(out, err, result, launch.timeout.count() > 0 ? &deadline : nullptr)) {
        kill(child, SIGKILL);
        result.timed_out = true;
    }
    waitFor(child, result);
    return result;
}

Subprocess::Running Subprocess::start(bool pipeOutput, std::string const& errorFile) const {
    Launch launch{m_program, {m_argv0.empty() ? m_program : m_argv0}, m_environment, m_timeout};
    launch.argv.insert(launch.argv.end(), m_arguments.begin(), m_arguments.end());
    wrap(launch);
    std::vector<std::string> envTexts;
    for (auto const& [name, value] : launch.environment) envTexts.push_back(name + "=" + value);
    std::vector<char*> const argv = pointersTo(launch.argv);
    std::vector<char*> const envp = pointersTo(envTexts);
    char const* directory = m_working_directory.empty() ? nullptr : m_working_directory.c_str();

    Pipe out;
    int const null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    int const err =
        errorFile.empty() ? null : open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_t const child = fork();
    if (child == 0)
        execChild(launch.program.c_str(), argv.data(), envp.data(), directory,
                  pipeOutput ? out.write_end : null, err, -1);
    if (err != null && err >= 0) close(err);
    if (null >= 0) close(null);
    int output = -1;
    if (pipeOutput && child > 0) {
        output = out.read_end;
        out.read_end = -1;
    }
    return Running(child > 0 ? child : -1, output);
}

Subprocess::Running::Running(Running&& other) noexcept
    : m_pid(other.m_pid), m_output(other.m_output), m_reaped(other.m_reaped) {
    other.m_pid = -1;
    other.m_output = -1;
}

Subprocess::Running::~Running() {
    if (m_pid > 0 && !m_reaped) {
        kill(m_pid, SIGKILL);
        while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {}
    }
    if (m_output >= 0) close(m_output);
}

void Subprocess::Running::signal(int number) const {
    if (m_pid > 0 && !m_reaped) kill(m_pid, number);
}

std::optional<int> Subprocess::Running::waitForEnd(std::chrono::milliseconds limit) {
    if (m_pid <= 0 || m_reaped) return std::nullopt;
    // A process descriptor becomes readable when the child ends, so the
    // wait wakes at the end itself; without one (an old kernel) the wait
    // blocks until the end.
    int const descriptor = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
    if (descriptor >= 0) {
        pollfd ended{descriptor, POLLIN, 0};
        int const ready = poll(&ended, 1, static_cast<int>(limit.count()));
        close(descriptor);
        if (ready != 1) return std::nullopt;
    }
    int status = 0;
    if (waitpid(m_pid, &status, 0) != m_pid) return std::nullopt;
    m_reaped = true;
    return status;
}

// A program that cannot be run is left as it is, so that the failure to
// start it is reported as without a wrapper. The checker is given the
// program by name and finds it along PATH when the test chose its base
// name as argv[0]: it then runs the program with that argv[0], as the
// test expects (the program's directory comes first in the child's PATH).
void Subprocess::wrap(Launch& launch) const {
    std::vector<std::string> wrapper = wrapperWords();
    if (wrapper.empty() || access(m_program.c_str(), X_OK) != 0) return;
    std::string name = m_program;
    if (!m_argv0.empty() && m_argv0 == baseNameOf(m_program)) {
        name = m_argv0;
        std::string& path = launch.environment["PATH"];
        path = directoryOf(m_program) + (path.empty() ? "" : ":" + path);
    }
    launch.program = findProgram(wrapper.front());
    launch.argv.front() = name;
    launch.argv.insert(launch.argv.begin(), wrapper.begin(), wrapper.end());
    launch.timeout *= s_wrapped_timeout_factor;
}

}  // namespace TestSupport
