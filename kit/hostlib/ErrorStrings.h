// Texts of the error codes of qxapi_errors.h.
#ifndef HOSTLIB_ERRORSTRINGS_H
#define HOSTLIB_ERRORSTRINGS_H

#include <string>

namespace HostLib {

// The text of a code, or null for a code that qxapi_errors.h does not define.
char const* errorText(int code);

// The text of a code ("unknown error code N" for an undefined one),
// followed by ": " and the detail when there is one.
std::string describeError(int code, std::string const& detail);

}  // namespace HostLib

#endif
