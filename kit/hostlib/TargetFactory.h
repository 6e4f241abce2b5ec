// Makes the back end of a connection from the host given to connect:
// null selects the hardware, "localhost" the simulator inside this
// library, any other host text ("NAME[:PORT]", "[IPv6][:PORT]", also
// "localhost:PORT") a qxsim server there (QXSIM_PORT, QXSIM_TOKEN).
#ifndef HOSTLIB_TARGETFACTORY_H
#define HOSTLIB_TARGETFACTORY_H

#include "hostlib/Target.h"

#include <cstdint>
#include <memory>

namespace HostLib {

// The connected target, or null with the reason in status.
std::unique_ptr<Target> connectTarget(char const* host, uint32_t instance,
                                      std::shared_ptr<TargetEvents> events, Status& status);

}  // namespace HostLib

#endif
