// Handles, connection and program control.
#include "hostlib/Diagnostics.h"
#include "hostlib/Impl.h"
#include "hostlib/ImplSupport.h"
#include "qxx/QxxReader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace HostLib {
namespace Impl {

namespace {

using Simulator::ProcessorState;

char const* const s_default_trace_file = "qxtrace.trc";

// The cycle limit of a run: system parameter 17 of the chip, else
// QX_SIM_CYCLE_LIMIT, else none.
Status cycleLimit(ChipSession const& session, uint64_t& limit) {
    limit = session.hasCycleLimit ? session.cycleLimit : 0;
    if (session.hasCycleLimit) return Status::ok();
    char const* text = std::getenv("QX_SIM_CYCLE_LIMIT");
    if (text == nullptr || *text == '\0') return Status::ok();
    char* end = nullptr;
    limit = std::strtoull(text, &end, 0);
    if (*end != '\0' || *text == '-')
        return Status::error(QXAPI_ERR_BAD_PARAMETER,
                             "QX_SIM_CYCLE_LIMIT: '" + std::string(text) + "' is not a number");
    return Status::ok();
}

// Trace was enabled without a file name: it goes to the default file.
Status startPendingTrace(Target& target, ChipSession& session, uint32_t chip) {
    if (!session.traceEnabled || target.tracing(chip)) return Status::ok();
    return target.startTrace(chip, session.traceFile.empty() ? s_default_trace_file : session.traceFile);
}

Status startRun(HandleState& state, Target& target, ChipSession& session, uint32_t chip) {
    Simulator::RunLimits limits;
    {
        std::lock_guard<std::mutex> lock(state.mutex());
        Status status = cycleLimit(session, limits.maxCycles);
        if (status.failed()) return status;
        status = startPendingTrace(target, session, chip);
        if (status.failed()) return status;
    }
    return target.run(chip, limits);
}

// The end of mono memory that a program's data and bss use.
uint64_t programEnd(Qxx::QxxImage const& image, Simulator::ProcessorConfig const& config) {
    uint64_t end = config.monoMemoryStart;
    if (!image.data.bytes.empty())
        end = std::max<uint64_t>(end, uint64_t(image.data.address) + image.data.bytes.size());
    if (image.bssSize != 0) end = std::max<uint64_t>(end, uint64_t(image.bssAddress) + image.bssSize);
    return end;
}

uint64_t stackBase(Simulator::ProcessorConfig const& config) {
    return uint64_t(config.monoMemoryStart) + config.monoMemorySize - config.monoStackSize;
}

// The name a server logs for a loaded program: the file's name without its
// directories, which are the client's business.
std::string fileName(char const* path) {
    std::string const whole(path);
    std::string::size_type const slash = whole.find_last_of('/');
    return slash == std::string::npos ? whole : whole.substr(slash + 1);
}

Status loadFailure(uint32_t chip, Status const& status) {
    reportSimulator("chip " + std::to_string(chip) + ": cannot load: " + status.detail);
    return status;
}

Status loadImage(HandleState& state, Target& target, ChipSession& session, uint32_t chip,
                 Qxx::QxxImage const& image, std::string const& name) {
    std::lock_guard<std::mutex> lock(state.mutex());
    uint64_t const end = programEnd(image, target.dimensions(chip));
    if (session.allocator.staticBelow(end))
        return Status::error(QXAPI_ERR_LOAD_FAILED,
                             "the program's data would overwrite static shared memory");
    Status const loaded = target.load(chip, image, name);
    if (loaded.failed()) return loaded;
    ++session.program;
    session.loaded = true;
    session.allocator.releaseDynamic();
    session.allocator.setArena(end, stackBase(target.dimensions(chip)));
    return Status::ok();
}

Status forgetProgram(HandleState& state, Target& target, ChipSession& session, uint32_t chip) {
    Status const reset = target.reset(chip);
    if (reset.failed()) return reset;
    std::lock_guard<std::mutex> lock(state.mutex());
    session.loaded = false;
    session.allocator.releaseDynamic();
    Simulator::ProcessorConfig const& config = target.dimensions(chip);
    session.allocator.setArena(config.monoMemoryStart, stackBase(config));
    return Status::ok();
}

Status checkProgram(HandleState& state, ChipSession const& session, uint32_t program) {
    std::lock_guard<std::mutex> lock(state.mutex());
    if (!session.loaded || program != session.program)
        return Status::error(QXAPI_ERR_BAD_PROGRAM, "program " + std::to_string(program) + " is not loaded");
    return Status::ok();
}

}  // namespace

QXAPI_handle do_new(int load_mode) {
    if (load_mode < QXAPI_LOAD_DIRECT || load_mode > QXAPI_LOAD_DEBUGGER) return nullptr;
    try {
        auto state = std::make_shared<QXAPI_handle_s>(libraryVariant(), load_mode);
        QXAPI_handle const handle = state.get();
        HandleRegistry::add(std::move(state));
        return handle;
    } catch (std::bad_alloc const&) {
        return nullptr;
    }
}

// The state goes when the last call still running on it returns; the
// runs end now, so that such calls return soon.
void do_delete(QXAPI_handle handle) {
    std::shared_ptr<QXAPI_handle_s> const state = HandleRegistry::remove(handle);
    if (state) state->close();
}

int do_version(QXAPI_handle, unsigned int kind, QXAPI_version_record* version) {
    if (version == nullptr) return QXAPI_ERR_NULL_POINTER;
    switch (kind) {
        case 3:
            *version = QXAPI_version_record{1, 0, {}};
            std::snprintf(version->text, sizeof version->text, "reference host library 1.0 (%s)",
                          variantName(libraryVariant()));
            return QXAPI_OK;
        case 4:
            *version = QXAPI_version_record{1, 0, {}};
            std::snprintf(version->text, sizeof version->text, "tev simulator 1.0");
            return QXAPI_OK;
        default: return QXAPI_ERR_BAD_ARGUMENT;
    }
}

int do_connect(QXAPI_handle handle, char const* host, uint32_t instance) {
    return withHandle(handle, [&](HandleState& state) { return state.connect(host, instance); });
}

int do_reset(QXAPI_handle handle, uint32_t chip) {
    return withChip(handle, chip, [&](HandleState& state, Target& target, ChipSession& session) {
        return forgetProgram(state, target, session, chip);
    });
}

int do_register_application(QXAPI_handle handle, uint32_t chip) {
    return withChip(handle, chip, [&](HandleState& state, Target&, ChipSession& session) {
        std::lock_guard<std::mutex> lock(state.mutex());
        session.registered = true;
        return Status::ok();
    });
}

int do_load(QXAPI_handle handle, uint32_t chip, char const* path) {
    return withChip(handle, chip, [&](HandleState& state, Target& target, ChipSession& session) {
        if (path == nullptr) return nullPointer("path");
        {
            std::lock_guard<std::mutex> lock(state.mutex());
            if (!session.registered) return Status::error(QXAPI_ERR_NOT_REGISTERED);
        }
        Qxx::QxxImage image;
        std::string error;
        if (!Qxx::readQxxFile(path, image, error))
            return loadFailure(chip, Status::error(QXAPI_ERR_LOAD_FAILED, error));
        Status const loaded = loadImage(state, target, session, chip, image, fileName(path));
        if (loaded.failed()) return loadFailure(chip, loaded);
        state.events().loaded(chip, path);
        return loaded;
    });
}

int do_get_last_loaded_handle(QXAPI_handle handle, uint32_t chip, uint32_t* program) {
    return withChip(handle, chip, [&](HandleState& state, Target&, ChipSession& session) {
        if (program == nullptr) return nullPointer("program");
        std::lock_guard<std::mutex> lock(state.mutex());
        if (!session.loaded) return Status::error(QXAPI_ERR_NO_PROGRAM);
        *program = session.program;
        return Status::ok();
    });
}

int do_unload(QXAPI_handle handle, uint32_t chip, uint32_t program) {
    return withChip(handle, chip, [&](HandleState& state, Target& target, ChipSession& session) {
        Status const known = checkProgram(state, session, program);
        if (known.failed()) return known;
        if (target.state(chip) == ProcessorState::Running) return Status::error(QXAPI_ERR_BUSY);
        return forgetProgram(state, target, session, chip);
    });
}

int do_run(QXAPI_handle handle, uint32_t chip) {
    return withChip(handle, chip, [&](HandleState& state, Target& target, ChipSession& session) {
        return startRun(state, target, session, chip);
    });
}

int do_run_process(QXAPI_handle handle, uint32_t chip, uint32_t program) {
    return withChip(handle, chip, [&](HandleState& state, Target& target, ChipSession& session) {
        Status const known = checkProgram(state, session, program);
        if (known.failed()) return known;
        return startRun(state, target, session, chip);
    });
}

int do_halt(QXAPI_handle handle, uint32_t chip) {
    return withChip(handle, chip,
                    [&](HandleState&, Target& target, ChipSession&) { return target.halt(chip); });
}

int do_start(QXAPI_handle handle, uint32_t chip) {
    return withChip(handle, chip, [&](HandleState& state, Target& target, ChipSession& session) {
        if (target.state(chip) != ProcessorState::Stopped)
            return Status::error(QXAPI_ERR_NOT_RUNNING, "no stopped program to resume");
        return startRun(state, target, session, chip);
    });
}

int do_wait_on_terminate(QXAPI_handle handle, uint32_t chip) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        switch (target.wait(chip)) {
            case ProcessorState::Halted: return Status::ok();
            case ProcessorState::Faulted:
                return Status::error(QXAPI_ERR_FAULT, target.lastEnd(chip).faultText);
            case ProcessorState::Stopped: return Status::error(QXAPI_ERR_STOPPED);
            default: return Status::error(QXAPI_ERR_NO_PROGRAM, "no program has been started");
        }
    });
}

int do_get_return_value(QXAPI_handle handle, uint32_t chip, int32_t* value) {
    return withChip(handle, chip, [&](HandleState&, Target& target, ChipSession&) {
        if (value == nullptr) return nullPointer("value");
        ProgramEnd const end = target.lastEnd(chip);
        switch (end.state) {
            case ProcessorState::Halted: *value = end.returnValue; return Status::ok();
            case ProcessorState::Faulted: return Status::error(QXAPI_ERR_FAULT, end.faultText);
            default:
                if (target.state(chip) == ProcessorState::Running) return Status::error(QXAPI_ERR_BUSY);
                return Status::error(QXAPI_ERR_NO_PROGRAM, "no program has terminated");
        }
    });
}

}  // namespace Impl
}  // namespace HostLib
