// The host library's implementation of every entry point: Impl::do_<name>
// with the arguments of QXAPI_EXPORT_<name> (or __qxapi_export_<name>).
// The exports forward to these; tests call them directly. Every function
// checks its arguments and returns an error code of qxapi_errors.h
// instead of failing in any other way.
#ifndef HOSTLIB_IMPL_H
#define HOSTLIB_IMPL_H

#include "qxapi/qxapi.h"
#include "qxapi/qxapi_errors.h"

namespace HostLib {
namespace Impl {

#define QXAPI_PUBLIC(ret, name, params, args, kind) ret do_##name params;
#define QXAPI_PRIVATE(ret, name, params, args, guard) ret do_##name params;
#include "qxapi/qxapi_entry_points.def"
#undef QXAPI_PUBLIC
#undef QXAPI_PRIVATE

}  // namespace Impl
}  // namespace HostLib

#endif
