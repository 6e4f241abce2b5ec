// The outcome of a host library operation: an error code of qxapi_errors.h
// (QXAPI_OK on success) and, for failures, the details that
// QXAPI_get_error_string adds to the code's text.
#ifndef HOSTLIB_STATUS_H
#define HOSTLIB_STATUS_H

#include "qxapi/qxapi_errors.h"

#include <string>
#include <utility>

namespace HostLib {

struct Status {
    int code = QXAPI_OK;
    std::string detail;

    static Status ok() { return Status(); }
    static Status error(int code, std::string detail = std::string()) {
        return Status{code, std::move(detail)};
    }
    bool failed() const { return code != QXAPI_OK; }
};

}  // namespace HostLib

#endif
