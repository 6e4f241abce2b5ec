// The host API entry points. All but three only forward to the slot that
// the binding filled; they are generated from the entry-point list.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "generic/Distribution.h"
#include "hostapi/Binding.h"

using namespace HostApi;

// Forwarding rule: pass the arguments through, return the result
// unchanged, check nothing. Private entry points test their slot first
// when their guard says so, because they are bound separately.
#define QXAPI_FORWARD_FORWARD(ret, name, params, args) \
    extern "C" ret QXAPI_##name params {               \
        return s_QXAPI_##name args;                    \
    }
#define QXAPI_FORWARD_CUSTOM(ret, name, params, args)
#define QXAPI_GUARD_VOID(slot) \
    if (slot == nullptr) return;
#define QXAPI_GUARD_ZERO(slot) \
    if (slot == nullptr) return 0;
#define QXAPI_GUARD_NONE(slot)

#define QXAPI_PUBLIC(ret, name, params, args, kind) QXAPI_FORWARD_##kind(ret, name, params, args)
#define QXAPI_PRIVATE(ret, name, params, args, guard)                     \
    extern "C" ret __qxapi_##name params {                                \
        QXAPI_GUARD_##guard(s__qxapi_##name) return s__qxapi_##name args; \
    }
#include "qxapi/qxapi_entry_points.def"
#undef QXAPI_PUBLIC
#undef QXAPI_PRIVATE

extern "C" QXAPI_handle QXAPI_new(int load_mode) {
    if (!loadLibStub(load_mode)) return nullptr;
    return s_QXAPI_new(load_mode);
}

extern "C" void QXAPI_delete(QXAPI_handle handle) {
    if (handle == nullptr) return;
    s_QXAPI_delete(handle);
    unloadLibStub();
}

namespace {

char const* const s_binding_build = "1.153.3.1 build at Wed Feb 28 17:42:22 GMT 2007 on linux_x86_64";

// Major and minor number of a dotted version text, each read as strtol
// with base 0 reads it.
void splitVersion(QXAPI_version_record* version) {
    char* end = nullptr;
    version->major = static_cast<int32_t>(std::strtol(version->text, &end, 0));
    char const* dot = std::strchr(version->text, '.');
    version->minor = dot ? static_cast<int32_t>(std::strtol(dot + 1, nullptr, 0)) : 0;
}

}  // namespace

// Kinds 0 to 2 describe this binding and work without a host library;
// later kinds are the host library's.
extern "C" int QXAPI_version(QXAPI_handle handle, unsigned int kind, QXAPI_version_record* version) {
    version->text[0] = '\0';
    switch (kind) {
        case 0:
            version->major = 1;
            version->minor = 1;
            std::snprintf(version->text, sizeof version->text, "%d.%d", 1, 1);
            return 0;
        case 1:
            std::memset(version->text, 0, sizeof version->text);
            std::strncpy(version->text, Generic::k_distribution, sizeof version->text - 1);
            splitVersion(version);
            return 0;
        case 2:
            version->major = 0;
            version->minor = 0;
            std::snprintf(version->text, sizeof version->text, "%s", s_binding_build);
            return 0;
        default:
            version->major = 0;
            version->minor = 0;
            if (s_QXAPI_version != nullptr) return s_QXAPI_version(handle, kind, version);
            return 1;
    }
}
