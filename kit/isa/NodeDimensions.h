// The processor dimensions of a VORN node, read from the node's section of
// the configuration: the one mapping of the node's keys to a
// ProcessorConfig that the host libraries, qxsim and qxas share.
#ifndef ISA_NODEDIMENSIONS_H
#define ISA_NODEDIMENSIONS_H

#include "isa/ProcessorConfig.h"

#include <string>

namespace Configuration {
class Properties;
}

namespace Simulator {

// Fills config from the keys of section (names without the section's
// prefix: "total-number-pes", "endianness", ...). A key the section lacks
// keeps the value config has. False with the reason in error for a value
// that is not a 32-bit number or an endianness other than little or big;
// config.validate() then checks the dimensions against the processor's
// limits.
bool readNodeDimensions(Configuration::Properties& section, ProcessorConfig& config, std::string& error);

}  // namespace Simulator

#endif  // ISA_NODEDIMENSIONS_H
