// The generic call of an implementation function by an export: the
// direct and debugger variants just call it; the trace variant also logs
// the call with its arguments, result and duration (CallLog).
#ifndef HOSTLIB_CALLWRAPPER_H
#define HOSTLIB_CALLWRAPPER_H

#include "hostlib/CallLog.h"
#include "hostlib/Variant.h"

#include <chrono>
#include <type_traits>

namespace HostLib {

template <Variant variant, class Ret, class... Params, class... Args>
Ret callEntry(char const* name, char const* argumentNames, Ret (*implementation)(Params...), Args... args) {
    if constexpr (variant != Variant::Trace) {
        return implementation(args...);
    } else {
        auto const start = std::chrono::steady_clock::now();
        auto elapsed = [start] {
            return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                         start)
                .count();
        };
        // Arguments are shown as they were passed, before the call may
        // invalidate them (delete frees the handle).
        std::vector<std::string> const values{CallLog::value(args)...};
        if constexpr (std::is_void_v<Ret>) {
            implementation(args...);
            CallLog::write(CallLog::line(name, argumentNames, values, std::string(), elapsed()));
        } else {
            Ret const result = implementation(args...);
            CallLog::write(CallLog::line(name, argumentNames, values, CallLog::value(result), elapsed()));
            return result;
        }
    }
}

}  // namespace HostLib

#endif
