/*
 * A stand-in for the accelerator's host library, for the tests of the
 * binding and of qxrun. It implements every QXAPI_EXPORT_* and
 * __qxapi_export_* function of qxapi.h; the build makes it once per
 * variant (liborvald_lib_direct.so, _trace.so, _debugger.so), each
 * knowing its name from the compile definition QXTEST_VARIANT.
 *
 * It never touches a card and never writes to standard output. What it
 * answers is steered by the environment, read at every call:
 *
 *   QXTEST_LOG           file to which every call appends one line:
 *                        "<variant> <entry point>[ <arguments>]", e.g.
 *                        "direct connect host=(null) instance=0". Unset: no log.
 *   QXTEST_FAIL          comma-separated entry points that fail, by name
 *                        without prefix ("connect,run"). An entry of the form
 *                        "set_system_param:enable" fails only the calls whose
 *                        value text begins with the text after the colon.
 *   QXTEST_FAIL_CODE     the code a failing call returns (default 1).
 *   QXTEST_ERROR_TEXT    the text get_error_string serves for any code
 *                        (default "test host library error <code>").
 *   QXTEST_RETURN_VALUE  the value get_return_value writes; unset: it
 *                        writes nothing.
 *   QXTEST_NEW_NULL      when set, new returns a null handle.
 *
 * Exports without behaviour of their own log their bare name and return 0
 * (or the failure code when QXTEST_FAIL names them).
 */
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

#include "qxapi/qxapi.h"

#ifndef QXTEST_VARIANT
#error "QXTEST_VARIANT must name the library variant"
#endif

// The handle this library hands out: it remembers the load mode it was made for.
struct QXAPI_handle_s {
    int load_mode;
};

namespace {

char const* const s_variant = QXTEST_VARIANT;

std::string format(char const* format, ...) __attribute__((format(printf, 1, 2)));
std::string format(char const* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

char const* orNull(char const* text) {
    return text != nullptr ? text : "(null)";
}

// Opened and closed for every line, so that the log is complete even when
// the calling process dies right after the call.
void logCall(char const* entry, std::string const& arguments) {
    char const* path = std::getenv("QXTEST_LOG");
    if (path == nullptr) return;
    std::FILE* log = std::fopen(path, "a");
    if (log == nullptr) return;
    std::fprintf(log, "%s %s%s%s\n", s_variant, entry, arguments.empty() ? "" : " ", arguments.c_str());
    std::fclose(log);
}

// Whether QXTEST_FAIL lists this entry point, either bare or qualified by
// a prefix of the call's text argument.
bool isFailing(char const* entry, char const* argument) {
    char const* list = std::getenv("QXTEST_FAIL");
    if (list == nullptr) return false;
    std::string const failures = std::string(list) + ",";
    std::string::size_type start = 0;
    for (std::string::size_type end; (end = failures.find(',', start)) != std::string::npos;
         start = end + 1) {
        std::string const item = failures.substr(start, end - start);
        std::string::size_type const colon = item.find(':');
        if (item.compare(0, colon, entry) != 0) continue;
        if (colon == std::string::npos) return true;
        std::string const qualifier = item.substr(colon + 1);
        if (argument != nullptr && std::strncmp(argument, qualifier.c_str(), qualifier.size()) == 0)
            return true;
    }
    return false;
}

int failureCode() {
    char const* code = std::getenv("QXTEST_FAIL_CODE");
    return code != nullptr ? std::atoi(code) : 1;
}

int result(char const* entry, char const* argument = nullptr) {
    return isFailing(entry, argument) ? failureCode() : 0;
}

// What an export does unless it is specialised below: log its bare name
// and succeed, or fail when asked to.
template <auto Function>
struct Export;

template <class Ret, class... Args, Ret (*Function)(Args...)>
struct Export<Function> {
    static Ret call(char const* entry, Args...) {
        logCall(entry, "");
        if constexpr (std::is_same_v<Ret, int>) {
            return result(entry);
        } else if constexpr (!std::is_void_v<Ret>) {
            return Ret{};
        }
    }
};

// The exports that the loader calls, with the arguments that matter logged.
template <>
struct Export<&QXAPI_EXPORT_new> {
    static QXAPI_handle call(char const* entry, int load_mode) {
        logCall(entry, format("mode=%d", load_mode));
        if (std::getenv("QXTEST_NEW_NULL") != nullptr) return nullptr;
        return new QXAPI_handle_s{load_mode};
    }
};

template <>
struct Export<&QXAPI_EXPORT_delete> {
    static void call(char const* entry, QXAPI_handle handle) {
        logCall(entry, "");
        delete handle;
    }
};

template <>
struct Export<&QXAPI_EXPORT_connect> {
    static int call(char const* entry, QXAPI_handle, char const* host, uint32_t instance) {
        logCall(entry, format("host=%s instance=%u", orNull(host), instance));
        return result(entry);
    }
};

template <>
struct Export<&QXAPI_EXPORT_get_error_string> {
    static int call(char const* entry, QXAPI_handle, int code, char* buffer, int size) {
        logCall(entry, format("code=%d size=%d", code, size));
        if (buffer == nullptr || size <= 0) return result(entry);
        char const* text = std::getenv("QXTEST_ERROR_TEXT");
        if (text != nullptr)
            std::snprintf(buffer, static_cast<std::size_t>(size), "%s", text);
        else
            std::snprintf(buffer, static_cast<std::size_t>(size), "test host library error %d", code);
        return result(entry);
    }
};

// Entry points whose only argument after the handle is the chip.
template <auto Function>
struct ChipExport {
    static int call(char const* entry, QXAPI_handle, uint32_t chip) {
        logCall(entry, format("chip=%u", chip));
        return result(entry);
    }
};

template <>
struct Export<&QXAPI_EXPORT_register_application> : ChipExport<&QXAPI_EXPORT_register_application> {};
template <>
struct Export<&QXAPI_EXPORT_run> : ChipExport<&QXAPI_EXPORT_run> {};
template <>
struct Export<&QXAPI_EXPORT_wait_on_terminate> : ChipExport<&QXAPI_EXPORT_wait_on_terminate> {};

template <>
struct Export<&QXAPI_EXPORT_load> {
    static int call(char const* entry, QXAPI_handle, uint32_t chip, char const* path) {
        logCall(entry, format("chip=%u path=%s", chip, orNull(path)));
        return result(entry);
    }
};

template <>
struct Export<&QXAPI_EXPORT_set_system_param> {
    static int call(char const* entry, QXAPI_handle, int code, uint32_t chip, char const* value) {
        logCall(entry, format("code=%d chip=%u value=%s", code, chip, orNull(value)));
        return result(entry, value);
    }
};

template <>
struct Export<&QXAPI_EXPORT_get_return_value> {
    static int call(char const* entry, QXAPI_handle, uint32_t chip, int32_t* value) {
        logCall(entry, format("chip=%u", chip));
        char const* written = std::getenv("QXTEST_RETURN_VALUE");
        if (written != nullptr && value != nullptr)
            *value = static_cast<int32_t>(std::strtol(written, nullptr, 0));
        return result(entry);
    }
};

}  // namespace

#ifdef QXTEST_UNRESOLVED
// Makes a library that the dynamic loader refuses under RTLD_NOW: nothing
// defines this symbol.
extern "C" void qxtest_unresolved_symbol();
extern "C" void qxtest_needs_unresolved_symbol() {
    qxtest_unresolved_symbol();
}
#endif

#define QXAPI_UNPACK(...) __VA_ARGS__
#define QXAPI_PUBLIC(ret, name, params, args, kind)                          \
    extern "C" ret QXAPI_EXPORT_##name params {                              \
        return Export<&QXAPI_EXPORT_##name>::call(#name, QXAPI_UNPACK args); \
    }
#define QXAPI_PRIVATE(ret, name, params, args, guard)                          \
    extern "C" ret __qxapi_export_##name params {                              \
        return Export<&__qxapi_export_##name>::call(#name, QXAPI_UNPACK args); \
    }
#include "qxapi/qxapi_entry_points.def"
#undef QXAPI_PUBLIC
#undef QXAPI_PRIVATE
#undef QXAPI_UNPACK
