// The environment variables that name a qxsim server's port and token,
// read the same way by the server and by its clients: QXSIM_PORT unset or
// empty means the default port, otherwise it must be a decimal port
// number from 1 to 65535; QXSIM_TOKEN unset or empty means no token,
// otherwise it must fit in a hello (k_max_token_length bytes). Anything else
// is an error whose text names the variable and its value.
#ifndef PROTOCOL_ENVIRONMENT_H
#define PROTOCOL_ENVIRONMENT_H

#include <cstdint>
#include <string>

namespace Protocol {

// A port number from 1 to 65535 in decimal, nothing else.
bool parsePort(std::string const& text, uint16_t& port);

bool portFromEnvironment(uint16_t& port, std::string& error);
bool tokenFromEnvironment(std::string& token, std::string& error);

}  // namespace Protocol

#endif
