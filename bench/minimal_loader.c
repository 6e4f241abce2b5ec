/*
 * The least a loader must do to run a qxx program: open the direct host
 * library, resolve the exports it calls and make the calls qxrun makes for
 * "qxrun [--sim] [--host NAME] program.qxx" (no options framework, no
 * configuration check, no trace). The end-to-end benchmark runs it beside
 * qxrun to show what the framework costs.
 *
 *   minimal_loader [--sim] [--host NAME] program.qxx
 *
 * The library is found by the dynamic loader's search (LD_LIBRARY_PATH).
 * Prints "Return value = N" as qxrun does; exits with 1 after a run
 * without failure and 0 after a failure, as qxrun does.
 */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "qxapi/qxapi.h"

typedef QXAPI_handle (*new_function)(int);
typedef void (*delete_function)(QXAPI_handle);
typedef int (*connect_function)(QXAPI_handle, char const*, uint32_t);
typedef int (*chip_function)(QXAPI_handle, uint32_t);
typedef int (*load_function)(QXAPI_handle, uint32_t, char const*);
typedef int (*return_value_function)(QXAPI_handle, uint32_t, int32_t*);
typedef int (*error_string_function)(QXAPI_handle, int, char*, int);

struct host_api {
    new_function create;
    delete_function destroy;
    connect_function connect;
    chip_function register_application;
    load_function load;
    chip_function run;
    chip_function wait_on_terminate;
    return_value_function get_return_value;
    error_string_function get_error_string;
};

static void* resolve(void* library, char const* name, int* ok) {
    void* address = dlsym(library, name);
    if (address == NULL) {
        printf("Missing function %s in the host library\n", name);
        *ok = 0;
    }
    return address;
}

/* Object pointers from dlsym become function pointers through memcpy,
 * which ISO C allows where a cast would not. */
#define RESOLVE(field, name)                              \
    do {                                                  \
        void* address = resolve(library, name, &ok);      \
        memcpy(&api->field, &address, sizeof api->field); \
    } while (0)

static int bind(void* library, struct host_api* api) {
    int ok = 1;
    RESOLVE(create, "QXAPI_EXPORT_new");
    RESOLVE(destroy, "QXAPI_EXPORT_delete");
    RESOLVE(connect, "QXAPI_EXPORT_connect");
    RESOLVE(register_application, "QXAPI_EXPORT_register_application");
    RESOLVE(load, "QXAPI_EXPORT_load");
    RESOLVE(run, "QXAPI_EXPORT_run");
    RESOLVE(wait_on_terminate, "QXAPI_EXPORT_wait_on_terminate");
    RESOLVE(get_return_value, "QXAPI_EXPORT_get_return_value");
    RESOLVE(get_error_string, "QXAPI_EXPORT_get_error_string");
    return ok;
}

/* The card sequence of qxrun without trace; returns the success flag. */
static int run_program(struct host_api const* api, char const* host, char const* path, int32_t* value) {
    uint32_t const chip = 0;
    int success = 1;
    QXAPI_handle handle = api->create(QXAPI_LOAD_DIRECT);
    if (handle == NULL) {
        printf("Failed to create user handle to the driver API.\n");
        return 0;
    }
    int const result = api->connect(handle, host, 0);
    if (result != 0) {
        char text[100] = "";
        api->get_error_string(handle, result, text, (int)sizeof text);
        printf("Error: cannot connect to instance 0 on host %s\n       %s\n", host ? host : "PCI", text);
        success = 0;
    }
    int const registered = api->register_application(handle, chip) == 0;
    if (!registered) {
        printf("Cannot register application on chip %u\n", chip);
        success = 0;
    }
    if (registered && success && api->load(handle, chip, path) != 0) {
        printf("Failed to load file %s on the processor %u\n", path, chip);
        success = 0;
    }
    if (success) {
        if (api->run(handle, chip) != 0) {
            printf("Failed to run an application on processor %u\n", chip);
            success = 0;
        } else {
            api->wait_on_terminate(handle, chip);
        }
    }
    api->get_return_value(handle, chip, value);
    api->destroy(handle);
    return success;
}

int main(int argc, char** argv) {
    char const* host = NULL;
    char const* path = NULL;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--sim") == 0) {
            if (host == NULL) host = "localhost";
        } else if (strcmp(argv[i], "--host") == 0 && i + 1 < argc) {
            host = argv[++i];
        } else {
            path = argv[i];
        }
    }
    if (path == NULL) {
        printf("Missing argument: full path to the qxx executable.\n");
        return 0;
    }
    void* library = dlopen("liborvald_lib_direct.so", RTLD_NOW);
    if (library == NULL) {
        printf("%s\n", dlerror());
        return 0;
    }
    struct host_api api;
    int32_t value = 0;
    int success = bind(library, &api);
    if (success) success = run_program(&api, host, path, &value);
    printf("Return value = %d\n", (int)value);
    dlclose(library);
    return success;
}
