// Lines the host library writes to standard error: its diagnostics (with
// the "qxapi: " prefix, the same as the call log's, never the server's "qxsim: "), the debugger's events and
// the trace variant's call log. A host library never writes to standard output, and each line is written with
// one call so that lines of different threads do not interleave.
#ifndef HOSTLIB_DIAGNOSTICS_H
#define HOSTLIB_DIAGNOSTICS_H

#include <string>

namespace HostLib {

// Writes text and a newline to standard error.
void writeErrorLine(std::string const& text);

// Appends text and a newline to the file at path; false when it cannot.
bool appendLine(std::string const& path, std::string const& text);

// "qxapi: " + text, on standard error.
void reportSimulator(std::string const& text);

}  // namespace HostLib

#endif
