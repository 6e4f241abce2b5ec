// System parameters, threads, semaphores, callbacks, inventory, error
// texts and the private entry points.
#include "hostlib/DeviceNodes.h"
#include "hostlib/ErrorStrings.h"
#include "hostlib/Impl.h"
#include "hostlib/ImplSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace HostLib {
namespace Impl {

namespace {

int const s_param_trace = QXAPI_PARAM_TRACE;
int const s_param_cycle_limit = 17;
char const* const s_trace_file_prefix = "qxtracefile=";

Status badValue(int code, char const* value) {
    return Status::error(QXAPI_ERR_BAD_PARAMETER,
                         "parameter " + std::to_string(code) + " does not take '" + std::string(value) + "'");
}

// "enable" and "qxtracefile=NAME" start the trace once both a request and
// a name are there (a run without a name uses the default file);
// "disable" ends it, flushing the file.
Status setTrace(Target& target, ChipSession& session, uint32_t chip, char const* value) {
    size_t const prefixLength = std::strlen(s_trace_file_prefix);
    if (std::strcmp(value, "enable") == 0) {
        session.traceEnabled = true;
        if (session.traceFile.empty() || target.tracing(chip)) return Status::ok();
        return target.startTrace(chip, session.traceFile);
    }
    if (std::strcmp(value, "disable") == 0) {
        session.traceEnabled = false;
        target.stopTrace(chip);
        return Status::ok();
    }
    if (std::strncmp(value, s_trace_file_prefix, prefixLength) == 0 && value[prefixLength] != '\0') {
        session.traceFile = value + prefixLength;
        if (!session.traceEnabled) return Status::ok();
        return target.startTrace(chip, session.traceFile);
    }
    return badValue(s_param_trace, value);
}

// A number of cycles, decimal or 0x hexadecimal; 0 removes the limit.
Status setCycleLimit(ChipSession& session, char const* value) {
    char* end = nullptr;
    unsigned long long const limit = std::strtoull(value, &end, 0);
    if (*value == '\0' || *value == '-' || *end != '\0') return badValue(s_param_cycle_limit, value);
    session.hasCycleLimit = true;
    session.cycleLimit = limit;
    return Status::ok();
}

Status checkSemaphore(Target& target, uint32_t chip, uint32_t semaphore) {
    if (semaphore >= target.dimensions(chip).numberSemaphores)
        return Status::error(QXAPI_ERR_NO_SEMAPHORE,
                             "semaphore " + std::to_string(semaphore) + " (the chip has " +
                                 std::to_string(target.dimensions(chip).numberSemaphores) + ")");
    return Status::ok();
}

Status checkEvent(int event) {
    if (event < Event::First || event > Event::Last)
        return Status::error(QXAPI_ERR_BAD_EVENT, "event " + std::to_string(event));
    return Status::ok();
}

// A count of the chip's dimensions.
template <class Field>
int chipCount(QXAPI_handle handle, uint32_t chip, uint32_t* count, Field field) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        if (count == nullptr) return nullPointer("count");
        *count = target.dimensions(chip).*field;
        return Status::ok();
    });
}

int notSupported(QXAPI_handle handle) {
    return withHandle(handle, [](HandleState&) {
        return Status::error(QXAPI_ERR_NOT_SUPPORTED, "only for connections to a simulator server");
    });
}

}  // namespace

int do_set_system_param(QXAPI_handle handle, int code, uint32_t chip, char const* value) {
    return withChip(handle, chip, [&](HandleState& state, Target& target, ChipSession& session) {
        if (value == nullptr) return nullPointer("value");
        std::lock_guard<std::mutex> lock(state.mutex());
        if (code == s_param_trace) return setTrace(target, session, chip, value);
        if (code == s_param_cycle_limit) return setCycleLimit(session, value);
        return Status::error(QXAPI_ERR_BAD_PARAMETER, "unknown parameter code " + std::to_string(code));
    });
}

int do_set_thread(QXAPI_handle handle, uint32_t chip, uint32_t thread) {
    return withChip(handle, chip, [&](HandleState& state, Target& target, ChipSession& session) {
        if (thread >= target.dimensions(chip).numberThreads)
            return Status::error(QXAPI_ERR_BAD_ARGUMENT, "thread " + std::to_string(thread));
        std::lock_guard<std::mutex> lock(state.mutex());
        session.thread = thread;
        return Status::ok();
    });
}

int do_num_threads(QXAPI_handle handle, uint32_t chip, uint32_t* count) {
    return chipCount(handle, chip, count, &Simulator::ProcessorConfig::numberThreads);
}

int do_register_semaphore(QXAPI_handle handle, uint32_t chip, uint32_t semaphore) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        return checkSemaphore(target, chip, semaphore);
    });
}

int do_semaphore_wait(QXAPI_handle handle, uint32_t chip, uint32_t semaphore) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        Status const known = checkSemaphore(target, chip, semaphore);
        return known.failed() ? known : target.semaphoreWait(chip, semaphore);
    });
}

int do_semaphore_signal(QXAPI_handle handle, uint32_t chip, uint32_t semaphore) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        Status const known = checkSemaphore(target, chip, semaphore);
        return known.failed() ? known : target.semaphoreSignal(chip, semaphore);
    });
}

int do_num_semaphores(QXAPI_handle handle, uint32_t chip, uint32_t* count) {
    return chipCount(handle, chip, count, &Simulator::ProcessorConfig::numberSemaphores);
}

int do_get_callback(QXAPI_handle handle, uint32_t chip, int event, QXAPI_callback* callback,
                    void** user_data) {
    return withChip(handle, chip, [&](HandleState& state, Target&, ChipSession&) {
        if (callback == nullptr) return nullPointer("callback");
        if (user_data == nullptr) return nullPointer("user_data");
        Status const known = checkEvent(event);
        if (known.failed()) return known;
        state.events().getCallback(chip, event, *callback, *user_data);
        return Status::ok();
    });
}

int do_register_callback(QXAPI_handle handle, uint32_t chip, int event, QXAPI_callback callback,
                         void* user_data) {
    return withChip(handle, chip, [&](HandleState& state, Target&, ChipSession&) {
        Status const known = checkEvent(event);
        if (known.failed()) return known;
        state.events().registerCallback(chip, event, callback, user_data);
        return Status::ok();
    });
}

int do_num_cards(QXAPI_handle handle, uint32_t* count) {
    return withHandle(handle, [&](HandleState&) {
        if (count == nullptr) return nullPointer("count");
        *count = uint32_t(DeviceNodes::list().size());
        return Status::ok();
    });
}

int do_num_processors(QXAPI_handle handle, uint32_t* count) {
    return withHandle(handle, [&](HandleState& state) {
        if (count == nullptr) return nullPointer("count");
        Target* target = nullptr;
        Status const connected = state.target(target);
        if (connected.failed()) return connected;
        *count = target->chipCount();
        return Status::ok();
    });
}

int do_num_pes(QXAPI_handle handle, uint32_t chip, uint32_t* count) {
    return chipCount(handle, chip, count, &Simulator::ProcessorConfig::totalNumberPes);
}

// Works without a live handle too; the details of the handle's last
// failure with that code are added when there are any.
int do_get_error_string(QXAPI_handle handle, int code, char* buffer, int size) {
    if (buffer == nullptr) return QXAPI_ERR_NULL_POINTER;
    if (size <= 0) return QXAPI_ERR_BAD_ARGUMENT;
    std::shared_ptr<QXAPI_handle_s> const state = HandleRegistry::find(handle);
    std::string const text = describeError(code, state ? state->detailOf(code) : std::string());
    std::snprintf(buffer, size_t(size), "%s", text.c_str());
    return QXAPI_OK;
}

// The private entry points: the connection table and the call-back
// address of the kit's own tools.
void do_set_reverse_notify_socket(QXAPI_handle handle, int socket) {
    withHandle(handle, [&](HandleState& state) {
        state.setNotifySocket(socket);
        return Status::ok();
    });
}

int do_set_reverse_inet_address(QXAPI_handle handle, char const* address) {
    return withHandle(handle, [&](HandleState& state) {
        if (address == nullptr) return nullPointer("address");
        if (*address == '\0') return Status::error(QXAPI_ERR_BAD_ARGUMENT, "empty address");
        state.setReverseAddress(address);
        return Status::ok();
    });
}

int do_set_reverse_inet_port(QXAPI_handle handle, int port) {
    return withHandle(handle, [&](HandleState& state) {
        if (port < 0 || port > 65535)
            return Status::error(QXAPI_ERR_BAD_ARGUMENT, "port " + std::to_string(port) + " (0 to 65535)");
        state.setReversePort(port);
        return Status::ok();
    });
}

int do_get_reverse_inet_port(QXAPI_handle handle, int* port) {
    return withHandle(handle, [&](HandleState& state) {
        if (port == nullptr) return nullPointer("port");
        *port = state.reversePort();
        return Status::ok();
    });
}

// The simulator's Simulator::Processor of the chip, for the kit's tools.
int do_get_loader(QXAPI_handle handle, uint32_t chip, void** loader) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        if (loader == nullptr) return nullPointer("loader");
        void* const processor = target.processorObject(chip);
        if (processor == nullptr)
            return Status::error(QXAPI_ERR_NOT_SUPPORTED, "the processor is not in this process");
        *loader = processor;
        return Status::ok();
    });
}

int do_change_primary_event_dispatch(QXAPI_handle handle, int) {
    return notSupported(handle);
}

int do_switch_to_connection(QXAPI_handle handle, int connection) {
    return withHandle(handle, [&](HandleState& state) { return state.switchToConnection(connection); });
}

int do_initialize_connection(QXAPI_handle handle, char const* host, uint32_t instance, int* connection) {
    return withHandle(handle, [&](HandleState& state) {
        if (connection == nullptr) return nullPointer("connection");
        return state.initializeConnection(host, instance, *connection);
    });
}

int do_destroy_connection(QXAPI_handle handle, int connection) {
    return withHandle(handle, [&](HandleState& state) { return state.destroyConnection(connection); });
}

int do_get_current_connection(QXAPI_handle handle, int* connection) {
    return withHandle(handle, [&](HandleState& state) {
        if (connection == nullptr) return nullPointer("connection");
        return state.currentConnection(*connection);
    });
}
int do_runtime_malloc(QXAPI_handle handle, uint32_t, uint32_t, uint64_t*) {
    return notSupported(handle);
}
int do_allocate_program_section(QXAPI_handle handle, uint32_t, uint32_t, uint64_t*) {
    return notSupported(handle);
}
int do_allocate_static_program_section(QXAPI_handle handle, uint32_t, uint32_t, uint64_t*) {
    return notSupported(handle);
}

}  // namespace Impl
}  // namespace HostLib
