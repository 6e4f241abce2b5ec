// qxsim's own command-line options and the settings made from them.
#ifndef SERVER_SERVEROPTIONS_H
#define SERVER_SERVEROPTIONS_H

#include "configuration/CommandOptions.h"
#include "configuration/Options.h"
#include "server/ServerSettings.h"

#include <string>

namespace SimServer {

// The null-terminated table of qxsim's own options, made on first call and
// kept for the whole process, as the option set keeps pointers to them.
Configuration::Options** serverOptionTable();

// Reads the options into settings (which start from their defaults; the
// port from QXSIM_PORT when set). False with the reason for a bad value,
// an empty one, a bad QXSIM_PORT or a token longer than a client can
// present.
bool readServerSettings(Configuration::CommandOptions& options, ServerSettings& settings, std::string& error);

}  // namespace SimServer

#endif
