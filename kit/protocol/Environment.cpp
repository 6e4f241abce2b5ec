#include "protocol/Environment.h"

#include "protocol/Protocol.h"

#include <cstdlib>

namespace Protocol {

namespace {

char const* const k_portVariable = "QXSIM_PORT";
char const* const k_tokenVariable = "QXSIM_TOKEN";

// Long values are cut in messages, which have little room in qxrun.
std::string shown(std::string const& text) {
    return text.size() <= 16 ? text : text.substr(0, 16) + "...";
}

}  // namespace

bool parsePort(std::string const& text, uint16_t& port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (char const c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + unsigned(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

bool portFromEnvironment(uint16_t& port, std::string& error) {
    char const* text = std::getenv(k_portVariable);
    if (text == nullptr || *text == '\0') {
        port = k_default_port;
        return true;
    }
    if (parsePort(text, port)) return true;
    error = std::string(k_portVariable) + "=" + shown(text) + " is not a port number (1 to 65535)";
    return false;
}

bool tokenFromEnvironment(std::string& token, std::string& error) {
    char const* text = std::getenv(k_tokenVariable);
    token = text == nullptr ? std::string() : std::string(text);
    if (token.size() <= k_max_token_length) return true;
    error = std::string(k_tokenVariable) + " is longer than " + std::to_string(k_max_token_length) + " bytes";
    token.clear();
    return false;
}

}  // namespace Protocol
