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
    void signal(int number) const;

    // Waits at most limit for a line of its log (qxsim.log) containing text.
    bool waitForLog(std::string const& text, std::chrono::milliseconds limit) const;

    // The exit status, or -1 when it did not exit within limit or by a signal.
    int waitForExit(std::chrono::milliseconds limit);

private:
    void readPort();

    Subprocess::Running m_child;
    uint16_t m_port = 0;
    std::string m_line;
    std::string m_log;
};

}  // namespace TestSupport

#endif  // TESTS_SUPPORT_BACKGROUNDSERVER_H
