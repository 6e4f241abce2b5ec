// The processes of a test farm: qxsim servers on free ports of the
// loopback address, and HAProxy in front of them. Each is a child of the
// test, killed (SIGKILL) and reaped when its object goes, also when the
// test fails.
#ifndef TESTS_FARM_FARMPROCESSES_H
#define TESTS_FARM_FARMPROCESSES_H

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/Subprocess.h"

namespace FarmTest {

// Where haproxy is installed (/usr/sbin is not on every user's PATH);
// empty when it is not.
std::string haproxyPath();

// A port of the loopback address that was free a moment ago.
uint16_t freeLoopbackPort();

// qxsim --port 0 --health-port 0 --verbose and the given options, with
// directory as HOME and QXPATH and its log in logFile.
class FarmServer {
public:
    FarmServer(std::string const& qxsim, std::string const& directory, std::string logFile,
               std::vector<std::string> const& options);

    // Empty when the server printed both of its addresses; else what it
    // printed instead.
    std::string const& startError() const { return m_start_error; }
    uint16_t port() const { return m_port; }
    uint16_t healthPort() const { return m_health_port; }

    std::string log() const;
    // The lines of its log that contain text.
    size_t count(std::string const& text) const;
    void signal(int number) const { m_child.signal(number); }
    // The wait status once it has ended within limit.
    std::optional<int> waitForEnd(std::chrono::milliseconds limit) { return m_child.waitForEnd(limit); }

private:
    TestSupport::Subprocess::Running m_child;
    std::string m_log_file;
    std::string m_start_error;
    uint16_t m_port = 0;
    uint16_t m_health_port = 0;
};

// One row of HAProxy's "show stat", by column name.
using StatRow = std::map<std::string, std::string>;

// haproxy -db -f configFile, its log in logFile; answers on its stats
// socket.
class Balancer {
public:
    Balancer(std::string const& configFile, std::string statsSocket, std::string logFile);

    // Waits until the stats socket answers; false, when haproxy ended
    // first or the deadline passed.
    bool waitUntilReady(std::chrono::milliseconds limit);
    std::string log() const;
    // The answer to a command of the stats socket, empty when none came.
    std::string command(std::string const& text) const;
    // The servers' rows of "show stat" for backend.
    std::vector<StatRow> servers(std::string const& backend) const;

private:
    TestSupport::Subprocess::Running m_child;
    std::string m_stats_socket;
    std::string m_log_file;
};

}  // namespace FarmTest

#endif  // TESTS_FARM_FARMPROCESSES_H
