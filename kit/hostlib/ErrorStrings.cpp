#include "hostlib/ErrorStrings.h"

#include "qxapi/qxapi_errors.h"

namespace HostLib {

namespace {

// Indexed by code; every code up to QXAPI_ERR_LAST has its text.
char const* const s_texts[] = {
    "success",
    "invalid handle",
    "null pointer argument",
    "argument out of range",
    "not connected",
    "already connected",
    "no accelerator card found",
    "accelerator card not supported by the reference host library",
    "simulator not available",
    "invalid target configuration",
    "no such chip",
    "application not registered on the chip",
    "cannot load the executable",
    "no program",
    "unknown program handle",
    "a program is running",
    "no program is running",
    "program stopped by halt",
    "program fault",
    "address out of range",
    "invalid control register",
    "invalid system parameter",
    "cannot write the trace file",
    "no such symbol",
    "no such semaphore",
    "semaphore wait ended: no program runs",
    "not enough free mono memory",
    "unknown asynchronous request",
    "unknown event",
    "not supported",
    "internal error of the host library",
    "connection to the simulator server lost",
    "no such connection",
};

static_assert(sizeof s_texts / sizeof s_texts[0] == QXAPI_ERR_LAST + 1, "one text per error code");

}  // namespace

char const* errorText(int code) {
    if (code < 0 || code > QXAPI_ERR_LAST) return nullptr;
    return s_texts[code];
}

std::string describeError(int code, std::string const& detail) {
    char const* text = errorText(code);
    std::string description = text != nullptr ? text : "unknown error code " + std::to_string(code);
    if (!detail.empty()) description += ": " + detail;
    return description;
}

}  // namespace HostLib
