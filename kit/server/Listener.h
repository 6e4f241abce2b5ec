// A non-blocking TCP listener on an address and port, for the simulator
// port and the health port alike.
#ifndef SERVER_LISTENER_H
#define SERVER_LISTENER_H

#include "protocol/Socket.h"

#include <cstdint>
#include <string>

namespace SimServer {

// Binds and listens on address (a name or a numeric address, IPv4 or
// IPv6) and port (0: any free port); gives the port bound. False with the
// reason on failure.
bool listenOn(std::string const& address, uint16_t port, Protocol::Socket& listener, uint16_t& bound,
              std::string& error);

}  // namespace SimServer

#endif
