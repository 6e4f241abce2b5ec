// Runs a program as a child process for end-to-end tests: given arguments,
// a clean environment with only the variables a test names, a working
// directory and an optional timeout; collects standard output, standard
// error and how the child ended.
#ifndef TESTS_SUPPORT_SUBPROCESS_H
#define TESTS_SUPPORT_SUBPROCESS_H

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace TestSupport {

class Subprocess {
public:
    struct Result {
        std::string out;
        std::string err;
        int exit_status = -1;    // the status passed to exit, -1 when the child did not exit
        int signal = 0;          // the signal that ended the child, 0 when it exited
        bool timed_out = false;  // the child was killed because the timeout passed
        std::string error;       // why the program could not be started, empty when it ran
    };

    // The program is run by path (no search along PATH); argv[0] is the
    // path unless argv0 sets it.
    explicit Subprocess(std::string program);

    Subprocess& argv0(std::string name);
    Subprocess& arg(std::string argument);
    Subprocess& args(std::vector<std::string> const& arguments);
    // Adds or replaces a variable of the child's environment. The child
    // starts from a minimal environment (PATH, and the sanitizers' options
    // when set here), never from the caller's own.
    Subprocess& env(std::string const& name, std::string value);
    Subprocess& unsetEnv(std::string const& name);
    Subprocess& workingDirectory(std::string directory);
    // Zero waits for ever.
    Subprocess& timeout(std::chrono::milliseconds limit);

    // Starts the child, reads both of its outputs until it closes them and
    // waits for it. Standard input is /dev/null. When the environment
    // variable QX_TEST_WRAPPER holds a command prefix (e.g. "valgrind
    // --quiet --error-exitcode=99"), the program runs under it, with ten
    // times the timeout.
    Result run() const;

    // A child running in the background. The destructor kills it
    // (SIGKILL) and waits for it unless it has been waited for.
    class Running {
    public:
        Running(pid_t pid, int output) : m_pid(pid), m_output(output) {}
        ~Running();
        Running(Running&& other) noexcept;
        Running& operator=(Running&&) = delete;
        Running(Running const&) = delete;
        Running& operator=(Running const&) = delete;

        // -1 when the child could not be started.
        pid_t pid() const { return m_pid; }
        // The read end of the child's standard output, -1 unless piped.
        int output() const { return m_output; }
        void signal(int number) const;
        // Waits at most limit for the child to end; its wait status then,
        // nothing when it is still running.
        std::optional<int> waitForEnd(std::chrono::milliseconds limit);

    private:
        pid_t m_pid;
        int m_output;
        bool m_reaped = false;
    };

    // Starts the child and returns at once. Standard input is /dev/null;
    // standard output goes to a pipe the caller reads when pipeOutput
    // holds, to /dev/null otherwise; standard error goes to the file
    // errorFile (made or emptied), to /dev/null when it is empty. The
    // timeout does not apply.
    Running start(bool pipeOutput, std::string const& errorFile = "") const;

private:
    // What is executed: the program, its argument vector, its environment.
    struct Launch {
        std::string program;
        std::vector<std::string> argv;
        std::map<std::string, std::string> environment;
        std::chrono::milliseconds timeout;
    };
    void wrap(Launch& launch) const;

    std::string m_program;
    std::string m_argv0;
    std::vector<std::string> m_arguments;
    std::map<std::string, std::string> m_environment;
    std::string m_working_directory;
    std::chrono::milliseconds m_timeout{0};
};

}  // namespace TestSupport

#endif  // TESTS_SUPPORT_SUBPROCESS_H
