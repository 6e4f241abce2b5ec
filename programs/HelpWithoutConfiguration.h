// Help and version without a system configuration. The option set reads
// target_device.cfg before it scans the command line and ends the process
// when there is none; qxas and qxsim need nothing of the configuration to
// describe themselves, so they answer --help and --version first when no
// configuration can be found, and leave every other case to the option
// set and its messages.
#ifndef PROGRAMS_HELPWITHOUTCONFIGURATION_H
#define PROGRAMS_HELPWITHOUTCONFIGURATION_H

#include <cstring>

#include "configuration/SystemConfiguration.h"
#include "generic/LocateFile.h"

namespace Programs {

enum class SelfDescription { None, Help, Version };

// Help (it wins, as with a configuration) or Version when the command line
// asks for it by its own word ("--help", "-h", "--version", "-V"), no
// "--useconfig" names a configuration and none is found along QXPATH or in
// the working directory; None otherwise.
inline SelfDescription selfDescriptionWithoutConfiguration(int argc, char** argv) {
    bool help = false;
    bool version = false;
    for (int index = 1; index < argc; ++index) {
        char const* argument = argv[index];
        if (std::strncmp(argument, "--useconfig", std::strlen("--useconfig")) == 0)
            return SelfDescription::None;
        help = help || std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
        version = version || std::strcmp(argument, "--version") == 0 || std::strcmp(argument, "-V") == 0;
    }
    if (!help && !version) return SelfDescription::None;
    // The search of the option set: along QXPATH, then the plain name.
    char path[Configuration::k_config_path_buffer_size];
    int pathLength = 0;
    bool const valid =
        Generic::locateFile(path, Configuration::k_config_path_buffer_size, Configuration::k_config_file_name,
                            static_cast<int>(std::strlen(Configuration::k_config_file_name)), nullptr,
                            "QXPATH", ".cfg", &pathLength);
    if (valid && pathLength != 0) return SelfDescription::None;
    return help ? SelfDescription::Help : SelfDescription::Version;
}

}  // namespace Programs

#endif  // PROGRAMS_HELPWITHOUTCONFIGURATION_H
