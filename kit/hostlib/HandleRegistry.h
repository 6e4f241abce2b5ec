// The live handles of the library. Every call looks its handle up here,
// so that a null, foreign or deleted handle is an error code instead of a
// crash, and holds a reference for the call's duration, so that a handle
// deleted by another thread stays valid until the calls on it return.
#ifndef HOSTLIB_HANDLEREGISTRY_H
#define HOSTLIB_HANDLEREGISTRY_H

#include "hostlib/HandleState.h"

#include <memory>

namespace HostLib {

class HandleRegistry {
public:
    static void add(std::shared_ptr<QXAPI_handle_s> handle);
    // Null when the handle is not live.
    static std::shared_ptr<QXAPI_handle_s> find(QXAPI_handle handle);
    // Takes the handle out; null when it was not live.
    static std::shared_ptr<QXAPI_handle_s> remove(QXAPI_handle handle);
};

}  // namespace HostLib

#endif
