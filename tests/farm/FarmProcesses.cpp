#include "tests/farm/FarmProcesses.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace FarmTest {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string readFile(std::string const& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A line of the child's output, read until the deadline; false when none
// came whole.
bool readLine(int descriptor, Clock::time_point deadline, std::string& line) {
    line.clear();
    for (;;) {
        auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd readable{descriptor, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) != 1) return false;
        char c = 0;
        if (::read(descriptor, &c, 1) != 1) return false;
        if (c == '\n') return true;
        line += c;
    }
}

// The port after the last colon of a line that starts with prefix; 0 when
// the line is another.
uint16_t portAfter(std::string const& line, std::string const& prefix) {
    if (line.rfind(prefix, 0) != 0) return 0;
    return static_cast<uint16_t>(std::atoi(line.c_str() + line.rfind(':') + 1));
}

TestSupport::Subprocess::Running startServer(std::string const& qxsim, std::string const& directory,
                                             std::string const& logFile,
                                             std::vector<std::string> const& options) {
    TestSupport::Subprocess server(qxsim);
    server.argv0("qxsim")
        .args({"--port", "0", "--health-port", "0", "--verbose"})
        .args(options)
        .env("HOME", directory)
        .env("QXPATH", directory);
    return server.start(true, logFile);
}

TestSupport::Subprocess::Running startBalancer(std::string const& configFile, std::string const& logFile) {
    TestSupport::Subprocess haproxy(haproxyPath());
    haproxy.args({"-db", "-f", configFile});
    return haproxy.start(false, logFile);
}

std::vector<std::string> split(std::string const& line, char separator) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, separator);) fields.push_back(field);
    return fields;
}

}  // namespace

std::string haproxyPath() {
    for (char const* path : {"/usr/sbin/haproxy", "/usr/local/sbin/haproxy", "/usr/bin/haproxy"})
        if (::access(path, X_OK) == 0) return path;
    return std::string();
}

uint16_t freeLoopbackPort() {
    int const listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (listener >= 0 && ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (listener >= 0) ::close(listener);
    return port;
}

FarmServer::FarmServer(std::string const& qxsim, std::string const& directory, std::string logFile,
                       std::vector<std::string> const& options)
    : m_child(startServer(qxsim, directory, logFile, options)), m_log_file(std::move(logFile)) {
    Clock::time_point const deadline = Clock::now() + 60s;
    std::string listening, health;
    if (m_child.output() < 0 || !readLine(m_child.output(), deadline, listening) ||
        !readLine(m_child.output(), deadline, health))
        m_start_error = "qxsim printed no addresses: " + listening + "\n" + log();
    m_port = portAfter(listening, "qxsim: listening on ");
    m_health_port = portAfter(health, "qxsim: health checks on ");
    if (m_start_error.empty() && (m_port == 0 || m_health_port == 0))
        m_start_error = "unexpected lines: " + listening + "\n" + health;
}

std::string FarmServer::log() const {
    return readFile(m_log_file);
}

size_t FarmServer::count(std::string const& text) const {
    std::istringstream in(log());
    size_t found = 0;
    for (std::string line; std::getline(in, line);)
        if (line.find(text) != std::string::npos) ++found;
    return found;
}

Balancer::Balancer(std::string const& configFile, std::string statsSocket, std::string logFile)
    : m_child(startBalancer(configFile, logFile)),
      m_stats_socket(std::move(statsSocket)),
      m_log_file(std::move(logFile)) {}

bool Balancer::waitUntilReady(std::chrono::milliseconds limit) {
    Clock::time_point const deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (!command("show info\n").empty()) return true;
        if (m_child.waitForEnd(10ms)) return false;
    }
    return false;
}

std::string Balancer::log() const {
    return readFile(m_log_file);
}

std::string Balancer::command(std::string const& text) const {
    int const socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_stats_socket.c_str(), sizeof address.sun_path - 1);
    std::string answer;
    if (socket >= 0 && ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::write(socket, text.data(), text.size()) == static_cast<ssize_t>(text.size())) {
        char buffer[4096];
        for (ssize_t got; (got = ::read(socket, buffer, sizeof buffer)) > 0;)
            answer.append(buffer, static_cast<size_t>(got));
    }
    if (socket >= 0) ::close(socket);
    return answer;
}

std::vector<StatRow> Balancer::servers(std::string const& backend) const {
    std::istringstream in(command("show stat\n"));
    std::string header;
    std::getline(in, header);
    if (header.rfind("# ", 0) != 0) return {};
    std::vector<std::string> const names = split(header.substr(2), ',');
    std::vector<StatRow> rows;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> const fields = split(line, ',');
        StatRow row;
        for (size_t i = 0; i < names.size() && i < fields.size(); ++i) row[names[i]] = fields[i];
        if (row["pxname"] == backend && row["svname"] != "BACKEND") rows.push_back(row);
    }
    return rows;
}

}  // namespace FarmTest
