// qxsim serving in the background for end-to-end tests: started on a free
// port (of the loopback address unless --listen says otherwise) with a
// directory as HOME and QXPATH, its port read from the line it prints once
// it listens, its standard error in qxsim.log of that directory. The
// destructor kills it (SIGKILL).
#ifndef TESTS_SUPPORT_BACKGROUNDSERVER_H
#define TESTS_SUPPORT_BACKGROUNDSERVER_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/Subprocess.h"

namespace TestSupport {

class BackgroundServer {
public:
    // arguments: more options after "--port 0".
    BackgroundServer(std::string const& server, std::string const& home,
                     std::vector<std::string> const& arguments = {});
    BackgroundServer(BackgroundServer const&) = delete;
    BackgroundServer& operator=(BackgroundServer const&) = delete;

    // 0 when the server did not start listening.
    uint16_t port() const { return m_port; }
    std::string const& firstLine() const { return m_line; }
    // With --health-port among the arguments: its port (0 when the server
    // did not print it) and the line that gives it.
    uint16_t healthPort() const { return m_health_port; }
    std::string const& healthLine() const { return m_health_line; }
    void signal(int number) const;

    // Waits at most limit for a line of its log (qxsim.log) containing text.
    bool waitForLog(std::string const& text, std::chrono::milliseconds limit) const;

    // The exit status, or -1 when it did not exit within limit or by a signal.
    int waitForExit(std::chrono::milliseconds limit);
    // What it wrote on standard output after the lines read at start, up
    // to the end; call it once it has exited.
    std::string restOfOutput();

private:
    void readPort();
    std::string readLine();

    Subprocess::Running m_child;
    uint16_t m_port = 0;
    std::string m_line;
    uint16_t m_health_port = 0;
    std::string m_health_line;
    std::string m_log;
};

}  // namespace TestSupport

#endif  // TESTS_SUPPORT_BACKGROUNDSERVER_H
