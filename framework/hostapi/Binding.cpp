// Opens the host library chosen by load mode and environment and resolves
// its exports into the entry-point slots; shared by reference count.
#include "hostapi/Binding.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace HostApi {

void* s_qxapi_lib_handle = nullptr;
int s_library_load_mode = 0;
int s_library_ref_count = 0;

#define QXAPI_PUBLIC(ret, name, params, args, kind) ret(*s_QXAPI_##name) params = nullptr;
#define QXAPI_PRIVATE(ret, name, params, args, guard) ret(*s__qxapi_##name) params = nullptr;
#include "qxapi/qxapi_entry_points.def"
#undef QXAPI_PUBLIC
#undef QXAPI_PRIVATE

// A symbol from dlsym is an object pointer; POSIX guarantees that it can
// be converted to the function pointer type of the slot.
#define QXAPI_SLOT_ROW(slot, entry, exported)                                                \
    {entry, exported, [](void* symbol) { slot = reinterpret_cast<decltype(slot)>(symbol); }, \
     []() { return reinterpret_cast<void*>(slot); }},

SlotEntry const s_public_slots[] = {
#define QXAPI_PUBLIC(ret, name, params, args, kind) \
    QXAPI_SLOT_ROW(s_QXAPI_##name, "QXAPI_" #name, "QXAPI_EXPORT_" #name)
#define QXAPI_PRIVATE(ret, name, params, args, guard)
#include "qxapi/qxapi_entry_points.def"
#undef QXAPI_PUBLIC
#undef QXAPI_PRIVATE
};

SlotEntry const s_private_slots[] = {
#define QXAPI_PUBLIC(ret, name, params, args, kind)
#define QXAPI_PRIVATE(ret, name, params, args, guard) \
    QXAPI_SLOT_ROW(s__qxapi_##name, "__qxapi_" #name, "__qxapi_export_" #name)
#include "qxapi/qxapi_entry_points.def"
#undef QXAPI_PUBLIC
#undef QXAPI_PRIVATE
};

#undef QXAPI_SLOT_ROW

int const s_public_slot_count = sizeof(s_public_slots) / sizeof(s_public_slots[0]);
int const s_private_slot_count = sizeof(s_private_slots) / sizeof(s_private_slots[0]);

namespace {

char const* const s_direct_dll_name = "liborvald_lib_direct.so";
char const* const s_trace_dll_name = "liborvald_lib_trace.so";
char const* const s_debugger_dll_name = "liborvald_lib_debugger.so";

// The library file for a load mode, or null for an invalid mode. The
// environment is read at every call; a variable that exists counts as
// set whatever its value, and the debugger variable wins over the trace
// variable, either over the mode.
char const* chooseLibrary(int load_mode) {
    char const* file = nullptr;
    switch (load_mode) {
        case QXAPI_LOAD_DIRECT: file = s_direct_dll_name; break;
        case QXAPI_LOAD_TRACE: file = s_trace_dll_name; break;
        case QXAPI_LOAD_DEBUGGER: file = s_debugger_dll_name; break;
        default: return nullptr;
    }
    if (std::getenv("QX_QXAPI_TRACE") != nullptr) file = s_trace_dll_name;
    if (std::getenv("QX_QXAPI_DEBUGGER") != nullptr) file = s_debugger_dll_name;
    return file;
}

// Looks up every public export, even after a missing one, so the slots
// reflect the whole library; only the first missing one is reported.
bool resolvePublicSlots(void* library) {
    bool complete = true;
    for (int i = 0; i < s_public_slot_count; ++i) {
        void* symbol = dlsym(library, s_public_slots[i].export_name);
        s_public_slots[i].store(symbol);
        if (symbol == nullptr && complete) {
            std::printf("Failed to load library function %s (%d)\n", s_public_slots[i].entry_name, 0);
            complete = false;
        }
    }
    return complete;
}

void clearAllSlots() {
    for (int i = 0; i < s_public_slot_count; ++i) s_public_slots[i].store(nullptr);
    for (int i = 0; i < s_private_slot_count; ++i) s_private_slots[i].store(nullptr);
}

}  // namespace
}  // namespace HostApi

using namespace HostApi;

extern "C" int loadLibStub(int load_mode) {
    char const* file = chooseLibrary(load_mode);
    if (file == nullptr) return 0;

    // Handles made in the same load mode share the open library; the
    // environment is not consulted again for an open library.
    if (s_qxapi_lib_handle != nullptr) {
        if (load_mode != s_library_load_mode) return 0;
        ++s_library_ref_count;
        return 1;
    }

    void* library = dlopen(file, RTLD_NOW);
    if (library == nullptr) {
        std::printf("Error : failed to load shared library.\n %s\n", dlerror());
        return 0;
    }
    if (!resolvePublicSlots(library)) {
        dlclose(library);
        s_qxapi_lib_handle = nullptr;
        return 0;
    }
    s_qxapi_lib_handle = library;
    ++s_library_ref_count;
    s_library_load_mode = load_mode;
    return 1;
}

extern "C" int __protected_loadLibStub(int load_mode) {
    if (chooseLibrary(load_mode) == nullptr) return 0;
    if (s_qxapi_lib_handle == nullptr || load_mode != s_library_load_mode) return 0;
    for (int i = 0; i < s_private_slot_count; ++i) {
        void* symbol = dlsym(s_qxapi_lib_handle, s_private_slots[i].export_name);
        s_private_slots[i].store(symbol);
        if (symbol == nullptr) return 0;
    }
    return 1;
}

extern "C" void unloadLibStub(void) {
    if (--s_library_ref_count != 0) return;
    if (s_qxapi_lib_handle != nullptr) dlclose(s_qxapi_lib_handle);
    s_qxapi_lib_handle = nullptr;
    s_library_load_mode = 0;
    clearAllSlots();
    s_library_ref_count = 0;
}
