/*
 * qxapi.h - the host API of the accelerator card.
 *
 * A program drives the card only through the QXAPI_* functions. The
 * loader library provides them and forwards each call to a host library
 * opened at run time (liborvald_lib_direct.so, liborvald_lib_trace.so or
 * liborvald_lib_debugger.so), which implements the same functions under
 * the names QXAPI_EXPORT_* and __qxapi_export_*.
 *
 * Every function, its parameters and its meaning are listed once, in
 * qxapi_entry_points.def; this header expands that list into C
 * prototypes usable from C and C++.
 */
#ifndef QXAPI_QXAPI_H
#define QXAPI_QXAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque handle made by QXAPI_new and released by QXAPI_delete. */
typedef struct QXAPI_handle_s* QXAPI_handle;

/* Version record filled by QXAPI_version. */
typedef struct QXAPI_version_record {
    int32_t major;
    int32_t minor;
    char text[80];
} QXAPI_version_record;

/* Event callback: the processor, the event code and the caller's data. */
typedef void (*QXAPI_callback)(QXAPI_handle handle, uint32_t chip, int event, void* user_data);

/* Load modes of QXAPI_new. */
#define QXAPI_LOAD_DIRECT 1
#define QXAPI_LOAD_TRACE 2
#define QXAPI_LOAD_DEBUGGER 3

/* System parameter code of QXAPI_set_system_param that controls trace. */
#define QXAPI_PARAM_TRACE 16

/* Byte orders reported by QXAPI_endianness. */
#define QXAPI_LITTLE_ENDIAN 1
#define QXAPI_BIG_ENDIAN 2

/* The entry points the loader library provides. */
#define QXAPI_PUBLIC(ret, name, params, args, kind) ret QXAPI_##name params;
#define QXAPI_PRIVATE(ret, name, params, args, guard) ret __qxapi_##name params;
#include "qxapi_entry_points.def"
#undef QXAPI_PUBLIC
#undef QXAPI_PRIVATE

/* The exports a host library implements. */
#define QXAPI_PUBLIC(ret, name, params, args, kind) ret QXAPI_EXPORT_##name params;
#define QXAPI_PRIVATE(ret, name, params, args, guard) ret __qxapi_export_##name params;
#include "qxapi_entry_points.def"
#undef QXAPI_PUBLIC
#undef QXAPI_PRIVATE

/*
 * Binding of the host library, used by QXAPI_new and QXAPI_delete.
 * loadLibStub opens the library for a load mode (or adds a reference)
 * and resolves the public exports; __protected_loadLibStub resolves the
 * private exports of the library already opened in that mode;
 * unloadLibStub gives one reference back and closes the library at the
 * last one. The two binders return 1 on success and 0 on failure.
 */
int loadLibStub(int load_mode);
int __protected_loadLibStub(int load_mode);
void unloadLibStub(void);

#ifdef __cplusplus
}
#endif

#endif /* QXAPI_QXAPI_H */
