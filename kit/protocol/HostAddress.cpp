#include "protocol/HostAddress.h"

#include "protocol/Environment.h"

namespace Protocol {

namespace {

// Reasons go into qxrun's 100-byte message buffer after the code's text:
// a long host text is cut.
std::string shown(std::string const& text) {
    return text.size() <= 32 ? text : text.substr(0, 32) + "...";
}

bool fail(std::string const& reason, std::string const& text, std::string& error) {
    error = reason + " in host " + shown(text);
    return false;
}

// "[address]" or "[address]:PORT".
bool parseBracketed(std::string const& text, HostAddress& address, std::string& error) {
    std::string::size_type const close = text.find(']');
    if (close == std::string::npos) return fail("no ']' after '['", text, error);
    if (close == 1) return fail("no address in '[]'", text, error);
    address.host = text.substr(1, close - 1);
    std::string const rest = text.substr(close + 1);
    if (rest.empty()) return true;
    if (rest[0] != ':') return fail("only ':PORT' may follow ']'", text, error);
    if (!parsePort(rest.substr(1), address.port)) return fail("no port from 1 to 65535", text, error);
    address.hasPort = true;
    return true;
}

}  // namespace

bool parseHostAddress(std::string const& text, HostAddress& address, std::string& error) {
    address = HostAddress();
    if (text.empty()) return fail("no name", text, error);
    if (text[0] == '[') return parseBracketed(text, address, error);
    std::string::size_type const colon = text.find(':');
    if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos) {
        address.host = text;  // a name, or an IPv6 address without a port
        return true;
    }
    if (colon == 0) return fail("no name before ':'", text, error);
    if (!parsePort(text.substr(colon + 1), address.port)) return fail("no port from 1 to 65535", text, error);
    address.host = text.substr(0, colon);
    address.hasPort = true;
    return true;
}

bool hostAddressFromText(std::string const& text, HostAddress& address, std::string& error) {
    if (!parseHostAddress(text, address, error)) return false;
    return address.hasPort || portFromEnvironment(address.port, error);
}

std::string hostAndPort(std::string const& host, uint16_t port) {
    bool const ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace Protocol
