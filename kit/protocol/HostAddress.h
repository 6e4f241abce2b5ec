// The host text a client is given to reach a qxsim server ("--host" of
// qxrun, the host of QXAPI_connect), read in one place:
//
//   NAME  NAME:PORT  1.2.3.4:PORT  [IPv6]  [IPv6]:PORT
//
// and a text with two or more colons and no brackets is an IPv6 address
// without a port ("::1"). PORT is decimal, 1 to 65535. The port of the
// text comes first, then QXSIM_PORT, then the default port.
#ifndef PROTOCOL_HOSTADDRESS_H
#define PROTOCOL_HOSTADDRESS_H

#include <cstdint>
#include <string>

namespace Protocol {

struct HostAddress {
    std::string host;  // a name or an address, without brackets
    uint16_t port = 0;
    bool hasPort = false;  // the text gave the port
};

// Splits text into host and port; false with the reason when it is
// malformed (the text is shortened in the reason, which must stay short).
bool parseHostAddress(std::string const& text, HostAddress& address, std::string& error);

// parseHostAddress, then the port from QXSIM_PORT or the default when the
// text has none; false with the reason when either is bad.
bool hostAddressFromText(std::string const& text, HostAddress& address, std::string& error);

// "host:port", with an IPv6 address in brackets: "[::1]:7411".
std::string hostAndPort(std::string const& host, uint16_t port);

}  // namespace Protocol

#endif
