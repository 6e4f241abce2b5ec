#include "tests/support/BackgroundServer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

namespace TestSupport {

namespace {

Subprocess::Running startServer(std::string const& server, std::string const& home,
                                std::vector<std::string> const& arguments) {
    Subprocess program(server);
    program.argv0("qxsim").args({"--port", "0"}).args(arguments).env("HOME", home).env("QXPATH", home);
    return program.start(true, home + "/qxsim.log");
}

}  // namespace

BackgroundServer::BackgroundServer(std::string const& server, std::string const& home,
                                   std::vector<std::string> const& arguments)
    : m_child(startServer(server, home, arguments)), m_log(home + "/qxsim.log") {
    readPort();
    if (m_port == 0 || std::find(arguments.begin(), arguments.end(), "--health-port") == arguments.end())
        return;
    m_health_line = readLine();
    std::string const prefix = "qxsim: health checks on ";
    if (m_health_line.rfind(prefix, 0) == 0)
        m_health_port =
            static_cast<uint16_t>(std::atoi(m_health_line.c_str() + m_health_line.rfind(':') + 1));
}

void BackgroundServer::signal(int number) const {
    m_child.signal(number);
}

int BackgroundServer::waitForExit(std::chrono::milliseconds limit) {
    std::optional<int> const status = m_child.waitForEnd(limit);
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

bool BackgroundServer::waitForLog(std::string const& text, std::chrono::milliseconds limit) const {
    auto const deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::ifstream file(m_log);
        std::string line;
        while (std::getline(file, line))
            if (line.find(text) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string BackgroundServer::readLine() {
    std::string line;
    char c = 0;
    while (m_child.output() >= 0 && ::read(m_child.output(), &c, 1) == 1 && c != '\n') line += c;
    return line;
}

std::string BackgroundServer::restOfOutput() {
    std::string rest;
    char buffer[256];
    ssize_t got = 0;
    while (m_child.output() >= 0 && (got = ::read(m_child.output(), buffer, sizeof buffer)) > 0)
        rest.append(buffer, size_t(got));
    return rest;
}

void BackgroundServer::readPort() {
    m_line = readLine();
    std::string const prefix = "qxsim: listening on ";
    if (m_line.rfind(prefix, 0) == 0)
        m_port = static_cast<uint16_t>(std::atoi(m_line.c_str() + m_line.rfind(':') + 1));
}

}  // namespace TestSupport
