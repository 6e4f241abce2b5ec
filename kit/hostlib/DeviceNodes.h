// The device nodes of accelerator cards: /dev/orvald<N> for instance N.
// QX_DEVICE_DIR, when set and not empty, replaces /dev (for tests and
// for machines that keep device nodes elsewhere).
#ifndef HOSTLIB_DEVICENODES_H
#define HOSTLIB_DEVICENODES_H

#include "hostlib/Status.h"

#include <cstdint>
#include <string>
#include <vector>

namespace HostLib {

class DeviceNodes {
public:
    // Paths of all device nodes, in name order.
    static std::vector<std::string> list();

    // The device node of an instance (0: the first available) in path,
    // or NO_DEVICE with the reason.
    static Status find(uint32_t instance, std::string& path);
};

}  // namespace HostLib

#endif
