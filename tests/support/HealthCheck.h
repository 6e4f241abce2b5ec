// A client of qxsim's health port for tests: sends a request and reads
// the answer until the server closes the connection.
#ifndef TESTS_SUPPORT_HEALTHCHECK_H
#define TESTS_SUPPORT_HEALTHCHECK_H

#include "protocol/Socket.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace TestSupport {

char const* const k_health_request = "GET /health HTTP/1.0\r\n\r\n";

// Reads what comes on socket until the other side closes it (or thirty
// seconds pass).
inline std::string readToEnd(Protocol::Socket& socket) {
    std::string answer;
    uint8_t buffer[1024];
    size_t got = 0;
    std::string error;
    while (socket.receive(buffer, sizeof buffer, std::chrono::seconds(30), got, error) ==
           Protocol::Socket::Received::Data)
        answer.append(reinterpret_cast<char const*>(buffer), got);
    return answer;
}

// The whole answer of the health port to request; "" when the connection
// could not be made or was closed without an answer.
inline std::string healthCheck(uint16_t port, std::string const& request = k_health_request,
                               std::string const& host = "127.0.0.1") {
    Protocol::Socket socket;
    std::string error;
    if (!Protocol::Socket::connectTo(host, port, std::chrono::seconds(10), socket, error)) return "";
    if (!socket.sendAll(reinterpret_cast<uint8_t const*>(request.data()), request.size(), error)) return "";
    return readToEnd(socket);
}

}  // namespace TestSupport

#endif
