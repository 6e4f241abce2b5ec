#include "server/Listener.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <cerrno>
#include <cstring>

namespace SimServer {

bool listenOn(std::string const& address, uint16_t port, Protocol::Socket& listener, uint16_t& bound,
              std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string const service = std::to_string(port);
    int const status = ::getaddrinfo(address.c_str(), service.c_str(), &hints, &found);
    if (status != 0) {
        error = "cannot resolve " + address + ": " + ::gai_strerror(status);
        return false;
    }
    Protocol::Socket socket(
        ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, found->ai_protocol));
    int const on = 1;
    bool const listening =
        socket.valid() && ::setsockopt(socket.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
        ::bind(socket.fd(), found->ai_addr, found->ai_addrlen) == 0 && ::listen(socket.fd(), 128) == 0;
    int const failure = errno;
    ::freeaddrinfo(found);
    if (!listening) {
        error = "cannot listen on " + address + " port " + service + ": " + std::strerror(failure);
        return false;
    }
    sockaddr_storage name{};
    socklen_t length = sizeof name;
    ::getsockname(socket.fd(), reinterpret_cast<sockaddr*>(&name), &length);
    bound = ntohs(name.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&name)->sin6_port
                                             : reinterpret_cast<sockaddr_in*>(&name)->sin_port);
    listener = std::move(socket);
    return true;
}

}  // namespace SimServer
