/*
 * qxapi_errors.h - error codes of the kit's reference host library.
 *
 * Every int result of a QXAPI_* call is 0 on success and otherwise one of
 * these codes; QXAPI_get_error_string gives its text, followed by the
 * details of the handle's last failure with that code when there are any
 * (for example the qxx reader's reason for a failed load).
 */
#ifndef QXAPI_QXAPI_ERRORS_H
#define QXAPI_QXAPI_ERRORS_H

#define QXAPI_OK 0                     /* success */
#define QXAPI_ERR_INVALID_HANDLE 1     /* the handle is null or was not made by QXAPI_new (or is deleted) */
#define QXAPI_ERR_NULL_POINTER 2       /* a pointer argument that must not be null is null */
#define QXAPI_ERR_BAD_ARGUMENT 3       /* an argument is outside its range (size, element size, kind, ...) */
#define QXAPI_ERR_NOT_CONNECTED 4      /* the handle is not connected */
#define QXAPI_ERR_ALREADY_CONNECTED 5  /* the handle is connected already */
#define QXAPI_ERR_NO_DEVICE 6          /* no accelerator card found */
#define QXAPI_ERR_DEVICE_UNSUPPORTED 7 /* a card is present but this library cannot drive it */
#define QXAPI_ERR_HOST_UNSUPPORTED 8   /* no simulator can be reached on that host */
#define QXAPI_ERR_CONFIGURATION 9      /* the target configuration is unreadable or invalid */
#define QXAPI_ERR_BAD_CHIP 10          /* no processor with that chip number on this connection */
#define QXAPI_ERR_NOT_REGISTERED 11    /* the application is not registered on the processor */
#define QXAPI_ERR_LOAD_FAILED 12       /* the executable cannot be read or does not fit the processor */
#define QXAPI_ERR_NO_PROGRAM 13        /* no program is loaded, or none has run */
#define QXAPI_ERR_BAD_PROGRAM 14       /* the program handle is not the one loaded on the processor */
#define QXAPI_ERR_BUSY 15              /* a program is running on the processor */
#define QXAPI_ERR_NOT_RUNNING 16       /* no program is running on the processor */
#define QXAPI_ERR_STOPPED 17           /* the program was stopped by halt; start resumes it */
#define QXAPI_ERR_FAULT 18             /* the program ended with a fault */
#define QXAPI_ERR_BAD_ADDRESS 19       /* the address range is outside the memory, or misaligned */
#define QXAPI_ERR_BAD_REGISTER 20      /* no such control register, or it is read only */
#define QXAPI_ERR_BAD_PARAMETER 21     /* unknown system parameter code or value */
#define QXAPI_ERR_TRACE_FILE 22        /* the trace file cannot be written */
#define QXAPI_ERR_NO_SYMBOL 23         /* the program has no symbol of that name */
#define QXAPI_ERR_NO_SEMAPHORE 24      /* no semaphore of that number */
#define QXAPI_ERR_PROGRAM_ENDED 25     /* a semaphore wait gave up: no program runs that could signal it */
#define QXAPI_ERR_OUT_OF_MEMORY 26     /* not enough free mono memory for the allocation */
#define QXAPI_ERR_BAD_REQUEST 27       /* no asynchronous transfer with that request number */
#define QXAPI_ERR_BAD_EVENT 28         /* unknown event code */
#define QXAPI_ERR_NOT_SUPPORTED 29     /* the call is not supported on this connection */
#define QXAPI_ERR_INTERNAL 30          /* the library failed inside (out of host resources) */
#define QXAPI_ERR_CONNECTION_LOST \
    31                             /* the connection to the simulator server broke or it stopped answering */
#define QXAPI_ERR_NO_CONNECTION 32 /* no connection of the handle has that id */

/* The highest code defined above. */
#define QXAPI_ERR_LAST QXAPI_ERR_NO_CONNECTION

#endif /* QXAPI_QXAPI_ERRORS_H */
