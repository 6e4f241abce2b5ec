// The dimensions of the simulated processors: those of the default VORN
// node of the target_device.cfg that the kit's tools use, found and read
// as the tools find and read it (a file of the same name found through
// HOME overrides its values), or the defaults of
// Simulator::ProcessorConfig when there is no such file.
//
// Every problem is reported as a text: the library must never end the
// process.
#ifndef HOSTLIB_NODECONFIGURATION_H
#define HOSTLIB_NODECONFIGURATION_H

#include "isa/ProcessorConfig.h"

#include <string>

namespace Configuration {
class Properties;
}

namespace HostLib {

class NodeConfiguration {
public:
    // Fills config from the configuration files, or leaves the defaults
    // when no file is found. source names what was used: the file's path
    // or "built-in defaults". False with a reason in error.
    static bool read(Simulator::ProcessorConfig& config, std::string& source, std::string& error);

    // The same from a store already read: the section of the current chip
    // and node (the tools' system prefix). Keys the section lacks keep their
    // default; a value that is not a number, an unknown endianness or
    // dimensions the simulator cannot have are errors.
    static bool readFrom(Configuration::Properties& properties, Simulator::ProcessorConfig& config,
                         std::string& error);
};

}  // namespace HostLib

#endif
