// What a handle keeps on the host side for one chip of its connection:
// registration, the loaded program, trace settings, the cycle limit, the
// selected thread, allocations and asynchronous requests. Guarded by the
// handle's mutex.
#ifndef HOSTLIB_CHIPSESSION_H
#define HOSTLIB_CHIPSESSION_H

#include "simulator/MonoAllocator.h"

#include <cstdint>
#include <set>
#include <string>

namespace HostLib {

struct ChipSession {
    bool registered = false;

    // Program handles count the loads: 1 for the first program.
    uint32_t program = 0;
    bool loaded = false;

    bool traceEnabled = false;
    std::string traceFile;  // empty: the default name at the next run

    bool hasCycleLimit = false;  // set by system parameter 17
    uint64_t cycleLimit = 0;

    uint32_t thread = 0;
    Simulator::MonoAllocator allocator;

    uint32_t nextRequest = 1;
    std::set<uint32_t> writeRequests;  // completed, not yet waited for
    std::set<uint32_t> readRequests;
};

}  // namespace HostLib

#endif
