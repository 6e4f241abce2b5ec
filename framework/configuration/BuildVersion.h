// The version banner that the kit's tools and libraries print on request.
#ifndef CONFIGURATION_BUILDVERSION_H
#define CONFIGURATION_BUILDVERSION_H

#include "generic/Export.h"

namespace Configuration {

class QX_FRAMEWORK_API BuildVersion {
public:
    static char const* const s_version_message;          // banner of a tool
    static char const* const s_library_version_message;  // banner of a library
    static char const* const s_default_year;             // when the clock cannot be read
    static char const* const s_distribution;             // the kit's version, "2.24"
    static char const* s_build_version_string;           // borrowed, set by initialise
    static char* s_current_year;                         // four digits, set by initialise

    // Records the build version and the current year; only the first call counts.
    static void initialise(char const* buildVersion);

    // A new banner text owned by the caller (delete[]). The version argument
    // only sizes the text; the banner shows the recorded build version.
    static char* getBuildVersion(char const* title, char const* version);
    static char* getBuildVersionLibrary(char const* title, char const* version);
};

// Writes value into buffer in base 10, 8, or else upper-case hexadecimal;
// returns buffer (null for a null buffer). The buffer size is not checked.
QX_FRAMEWORK_API char* itoa(int value, char* buffer, int base);

// Prints a tool's version banner on standard output: the banner of the
// title and version, a blank line, the tool's notice lines and two more
// newlines. The build version is recorded first.
QX_FRAMEWORK_API void printToolVersion(char const* buildVersion, char const* title, char const* version,
                                       char const* notice);

}  // namespace Configuration

#endif  // CONFIGURATION_BUILDVERSION_H
