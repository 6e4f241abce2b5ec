// The trace variant's log of host API calls: one line per call,
//   qxapi: connect(handle=0x5581c0, host="localhost", instance=0) = 0 (35 us)
// written only when QX_QXAPI_TRACE is set: on standard error when it is
// empty, else appended to the file it names.
#ifndef HOSTLIB_CALLLOG_H
#define HOSTLIB_CALLLOG_H

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace HostLib {

class CallLog {
public:
    // The line of one call. argumentNames is the argument list as the
    // entry-point list writes it: "(handle, host, instance)". An empty
    // result is a call without result.
    static std::string line(char const* name, char const* argumentNames,
                            std::vector<std::string> const& values, std::string const& result,
                            long long microseconds);
    static void write(std::string const& line);

    // Texts of argument and result values: numbers in decimal, texts in
    // quotes, other pointers in hexadecimal.
    static std::string value(char const* text);
    static std::string value(void const* pointer);
    template <class T>
    static std::string value(T number) {
        if constexpr (std::is_pointer_v<T>) {
            return value(reinterpret_cast<void const*>(number));
        } else if constexpr (std::is_signed_v<T>) {
            return std::to_string(static_cast<long long>(number));
        } else {
            return std::to_string(static_cast<unsigned long long>(number));
        }
    }
};

}  // namespace HostLib

#endif
