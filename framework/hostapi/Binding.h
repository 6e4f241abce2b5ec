// The binding state of the host library: the opened library, its load
// mode and reference count, and one slot per entry point, all generated
// from the entry-point list. Private to the binding layer and its tests.
#ifndef HOSTAPI_BINDING_H
#define HOSTAPI_BINDING_H

#include "qxapi/qxapi.h"

namespace HostApi {

extern void* s_qxapi_lib_handle;
extern int s_library_load_mode;
extern int s_library_ref_count;

#define QXAPI_PUBLIC(ret, name, params, args, kind) extern ret(*s_QXAPI_##name) params;
#define QXAPI_PRIVATE(ret, name, params, args, guard) extern ret(*s__qxapi_##name) params;
#include "qxapi/qxapi_entry_points.def"
#undef QXAPI_PUBLIC
#undef QXAPI_PRIVATE

// One row per slot, in resolution order: the exported name to look up
// and how to store what was found into the slot.
struct SlotEntry {
    char const* entry_name;   // "QXAPI_connect", "__qxapi_get_loader", ...
    char const* export_name;  // "QXAPI_EXPORT_connect", "__qxapi_export_get_loader", ...
    void (*store)(void* symbol);
    void* (*load)();  // the slot's current content, for tests
};

extern SlotEntry const s_public_slots[];
extern SlotEntry const s_private_slots[];
extern int const s_public_slot_count;   // 50
extern int const s_private_slot_count;  // 13

}  // namespace HostApi

#endif  // HOSTAPI_BINDING_H
