/*
 * A host program as a user of the installed kit writes it: it runs a qxx
 * program on the simulator built into the direct host library and reads
 * back its return value and the data word "total".
 *
 *   host_program program.qxx
 *
 * Prints "Return value = N" and "total = N"; exits with 0 when every call
 * succeeded, 1 otherwise (with the host library's text for the failure).
 */
#include <stdint.h>
#include <stdio.h>

#include "qxapi/qxapi.h"

static int report(QXAPI_handle handle, char const* call, int code) {
    char text[100] = "";
    QXAPI_get_error_string(handle, code, text, (int)sizeof text);
    printf("%s failed: %s\n", call, text);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        printf("usage: host_program program.qxx\n");
        return 1;
    }
    uint32_t const chip = 0;
    QXAPI_handle handle = QXAPI_new(QXAPI_LOAD_DIRECT);
    if (handle == NULL) {
        printf("QXAPI_new failed\n");
        return 1;
    }
    int failed = 0;
    int code = QXAPI_connect(handle, "localhost", 0);
    if (code != 0) failed = report(handle, "connect", code);
    if (!failed && (code = QXAPI_register_application(handle, chip)) != 0)
        failed = report(handle, "register_application", code);
    if (!failed && (code = QXAPI_load(handle, chip, argv[1])) != 0) failed = report(handle, "load", code);
    if (!failed && (code = QXAPI_run(handle, chip)) != 0) failed = report(handle, "run", code);
    if (!failed && (code = QXAPI_wait_on_terminate(handle, chip)) != 0)
        failed = report(handle, "wait_on_terminate", code);
    int32_t value = 0;
    if (!failed && (code = QXAPI_get_return_value(handle, chip, &value)) != 0)
        failed = report(handle, "get_return_value", code);
    if (!failed) printf("Return value = %d\n", (int)value);
    uint64_t address = 0;
    if (!failed && (code = QXAPI_get_symbol_value(handle, chip, "total", &address)) != 0)
        failed = report(handle, "get_symbol_value", code);
    uint32_t word = 0;
    if (!failed && (code = QXAPI_read_mono_memory(handle, chip, address, &word, sizeof word)) != 0)
        failed = report(handle, "read_mono_memory", code);
    if (!failed) printf("total = %u\n", (unsigned)word);
    QXAPI_delete(handle);
    return failed;
}
