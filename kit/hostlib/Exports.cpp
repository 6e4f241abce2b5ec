// The exports of a host library, generated from the entry-point list:
// QXAPI_EXPORT_<name> and __qxapi_export_<name> each forward to
// Impl::do_<name> through callEntry. Built once per variant; QXHOST_VARIANT
// (1 direct, 2 trace, 3 debugger) says which. A version script keeps
// every other symbol inside the library.
#include "hostlib/CallWrapper.h"
#include "hostlib/Impl.h"

#ifndef QXHOST_VARIANT
#error "QXHOST_VARIANT must name the library variant"
#endif

namespace {

constexpr HostLib::Variant s_variant = HostLib::Variant(QXHOST_VARIANT);

// The implementation asks for the variant when it makes a handle.
struct VariantSetter {
    VariantSetter() { HostLib::setLibraryVariant(s_variant); }
} const s_variant_setter;

}  // namespace

#define QXAPI_EXPORT(ret, exported, name, params, args)                                                     \
    extern "C" ret exported params {                                                                        \
        return HostLib::callEntry<s_variant>(#name, #args, &HostLib::Impl::do_##name QXAPI_ARGUMENTS args); \
    }
#define QXAPI_ARGUMENTS(...) , __VA_ARGS__
#define QXAPI_PUBLIC(ret, name, params, args, kind) QXAPI_EXPORT(ret, QXAPI_EXPORT_##name, name, params, args)
#define QXAPI_PRIVATE(ret, name, params, args, guard) \
    QXAPI_EXPORT(ret, __qxapi_export_##name, name, params, args)
#include "qxapi/qxapi_entry_points.def"
#undef QXAPI_PUBLIC
#undef QXAPI_PRIVATE
#undef QXAPI_ARGUMENTS
#undef QXAPI_EXPORT
