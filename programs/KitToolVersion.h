// The version banner of the kit's own tools (qxsim, qxinfo): the framework's
// banner with the kit's build version and a notice saying what the tool is.
#ifndef PROGRAMS_KITTOOLVERSION_H
#define PROGRAMS_KITTOOLVERSION_H

#include <string>

#include "configuration/BuildVersion.h"
#include "qx/Version.h"

namespace Programs {

// tool: the program's name; title: the banner's title line; purpose: one
// line on what the tool does.
inline void printKitToolVersion(char const* tool, char const* title, char const* purpose) {
    std::string const notice = std::string(tool) + " is part of the Orvalis accelerator software kit.\n" +
                               purpose + "\nReport problems to your Orvalis support contact.\n";
    Configuration::printToolVersion(QX_BUILD_VERSION, title, QX_VERSION, notice.c_str());
}

}  // namespace Programs

#endif  // PROGRAMS_KITTOOLVERSION_H
