// Helpers of the Impl functions: find the live state of a handle, check
// the chip, run the body and record its failure for get_error_string.
#ifndef HOSTLIB_IMPLSUPPORT_H
#define HOSTLIB_IMPLSUPPORT_H

#include "hostlib/HandleRegistry.h"
#include "hostlib/Status.h"

#include <cstdint>

namespace HostLib {
namespace Impl {

// body(HandleState&) -> Status, for a live handle.
template <class Body>
int withHandle(QXAPI_handle handle, Body body) {
    std::shared_ptr<QXAPI_handle_s> const state = HandleRegistry::find(handle);
    if (!state) return QXAPI_ERR_INVALID_HANDLE;
    return state->record(body(*state));
}

// body(HandleState&, Target&, ChipSession&) -> Status, for a chip of the
// handle's connection.
template <class Body>
int withChip(QXAPI_handle handle, uint32_t chip, Body body) {
    return withHandle(handle, [&](HandleState& state) {
        Target* target = nullptr;
        ChipSession* session = nullptr;
        Status const found = state.chip(chip, target, session);
        if (found.failed()) return found;
        return body(state, *target, *session);
    });
}

inline Status nullPointer(char const* argument) {
    return Status::error(QXAPI_ERR_NULL_POINTER, argument);
}

}  // namespace Impl
}  // namespace HostLib

#endif
