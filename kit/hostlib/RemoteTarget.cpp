#include "hostlib/RemoteTarget.h"

#include "hostlib/RunWatch.h"
#include "protocol/SimClient.h"
#include "qxx/QxxWriter.h"

#include <limits>
#include <mutex>

namespace HostLib {

using Simulator::ProcessorState;

// A chip: its connection and the watch of its runs. `aborting` turns the
// stop that abort() asks for into a fault.
struct RemoteTarget::Chip : RunWatch {
    std::string server;  // host:port, for messages
    Protocol::SimClient client;
    Simulator::ProcessorConfig config;

    bool aborting = false;
    bool loaded = false;
    bool tracing = false;

    // Under the mutex.
    ProcessorState currentState() const {
        if (running) return ProcessorState::Running;
        if (last.state != ProcessorState::Empty) return last.state;
        return loaded ? ProcessorState::Ready : ProcessorState::Empty;
    }
};

namespace {

using Chip = RemoteTarget::Chip;

// The client's codes that mean the connection is gone or unusable.
bool connectionFailure(int code) {
    switch (code) {
        case Protocol::k_err_connect:
        case Protocol::k_err_timeout:
        case Protocol::k_err_connection_lost:
        case Protocol::k_err_protocol:
        case Protocol::k_err_version:
        case Protocol::k_err_token:
        case Protocol::k_err_not_connected:
        case Protocol::k_err_shutdown:
        case Protocol::k_err_client_vanished:
        case Protocol::k_err_idle: return true;
        default: return false;
    }
}

// What a refusal of the server means for the operation that was refused:
// a request in the wrong state, or an argument the server does not take.
struct Refusal {
    int state = QXAPI_ERR_BUSY;
    int argument = QXAPI_ERR_BAD_ARGUMENT;
};

int libraryCode(int code, Refusal const& refusal) {
    if (connectionFailure(code)) return QXAPI_ERR_CONNECTION_LOST;
    switch (code) {
        case Protocol::k_err_busy: return QXAPI_ERR_BUSY;
        case Protocol::k_err_state: return refusal.state;
        case Protocol::k_err_bad_argument: return refusal.argument;
        case Protocol::k_err_program_too_large:
        case Protocol::k_err_bad_program: return QXAPI_ERR_LOAD_FAILED;
        case Protocol::k_err_no_such_semaphore: return QXAPI_ERR_NO_SEMAPHORE;
        case Protocol::k_err_memory: return QXAPI_ERR_BAD_ADDRESS;
        case Protocol::k_err_no_such_symbol: return QXAPI_ERR_NO_SYMBOL;
        case Protocol::k_err_out_of_memory: return QXAPI_ERR_OUT_OF_MEMORY;
        case Protocol::k_err_program_faulted: return QXAPI_ERR_FAULT;
        case Protocol::k_err_program_stopped: return QXAPI_ERR_STOPPED;
        case Protocol::k_err_trace_file: return QXAPI_ERR_TRACE_FILE;
        case Protocol::k_err_unknown_operation: return QXAPI_ERR_NOT_SUPPORTED;
        default: return QXAPI_ERR_INTERNAL;
    }
}

// The status of a client call: ok, or the code and the client's text.
Status outcome(Chip& chip, int code, Refusal const& refusal = Refusal()) {
    if (code == Protocol::k_ok) return Status::ok();
    std::string detail = chip.client.lastError();
    if (connectionFailure(code)) detail = "the simulator server at " + chip.server + ": " + detail;
    return Status::error(libraryCode(code, refusal), detail);
}

Simulator::ProcessorConfig dimensionsOf(Protocol::ProcessorInfo const& info) {
    Simulator::ProcessorConfig config;
    config.totalNumberPes = info.numPes;
    config.numberThreads = info.numThreads;
    config.numberSemaphores = info.numSemaphores;
    config.monoMemoryStart = info.monoMemoryStart;
    config.monoMemorySize = info.monoMemorySize;
    config.byteOrder = info.endianness == 2 ? Qxx::ByteOrder::Big : Qxx::ByteOrder::Little;
    return config;
}

// How the run ended, from the result of waiting for it. A wait that did
// not end with the program (the connection broke, the server fell silent
// or shut down) ends it as a fault that names the server.
ProgramEnd endOfRun(Chip& chip, int code) {
    ProgramEnd end;
    end.chip = chip.number;
    bool const ranToItsEnd = code == Protocol::k_ok || code == Protocol::k_err_program_faulted ||
                             code == Protocol::k_err_program_stopped;
    if (!ranToItsEnd) {
        end.state = ProcessorState::Faulted;
        end.faultText = "lost the simulator server at " + chip.server + ": " + chip.client.lastError();
        return end;
    }
    Protocol::RunResult const run = chip.client.lastRun();
    switch (run.state) {
        case Protocol::RunState::Halted:
            end.state = ProcessorState::Halted;
            end.returnValue = run.returnValue;
            break;
        case Protocol::RunState::Faulted:
            end.state = ProcessorState::Faulted;
            end.faultText = run.text;
            break;
        case Protocol::RunState::Stopped: {
            std::lock_guard<std::mutex> lock(chip.mutex);
            end.state = chip.aborting ? ProcessorState::Faulted : ProcessorState::Stopped;
            if (chip.aborting) end.faultText = "aborted by the host";
            break;
        }
    }
    return end;
}

Status connectChip(Chip& chip, ServerAddress const& server) {
    int const code = chip.client.connect(server.host, server.port, server.token, server.connectTimeout);
    if (code == Protocol::k_ok) return Status::ok();
    // Short enough for the 100 bytes that qxrun gives the error text; the
    // client's text names host and port when the server cannot be reached.
    bool const unreachable = code == Protocol::k_err_connect || code == Protocol::k_err_timeout;
    std::string const refused = unreachable ? std::string() : chip.server + " refused: ";
    return Status::error(QXAPI_ERR_HOST_UNSUPPORTED, refused + chip.client.lastError());
}

}  // namespace

std::unique_ptr<RemoteTarget> RemoteTarget::connect(ServerAddress const& server, unsigned chips,
                                                    std::shared_ptr<TargetEvents> events, Status& status) {
    std::unique_ptr<RemoteTarget> target(new RemoteTarget());
    for (unsigned number = 0; number < chips; ++number) {
        auto chip = std::make_shared<Chip>();
        chip->number = number;
        chip->server = server.text();
        chip->events = events;
        status = connectChip(*chip, server);
        if (status.failed()) return nullptr;
        chip->config = dimensionsOf(chip->client.processorInfo());
        target->m_chips.push_back(std::move(chip));
    }
    status = Status::ok();
    return target;
}

RemoteTarget::~RemoteTarget() {
    for (uint32_t chip = 0; chip < m_chips.size(); ++chip) {
        abort(chip);
        m_chips[chip]->releaseWatcher();
    }
}

uint32_t RemoteTarget::chipCount() const {
    return uint32_t(m_chips.size());
}

Simulator::ProcessorConfig const& RemoteTarget::dimensions(uint32_t chip) const {
    return m_chips[chip]->config;
}

Status RemoteTarget::load(uint32_t chip, Qxx::QxxImage const& image, std::string const& name) {
    Chip& slot = *m_chips[chip];
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        if (slot.running) return Status::error(QXAPI_ERR_BUSY, "cannot load while a program runs");
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!Qxx::writeQxx(image, bytes, error)) return Status::error(QXAPI_ERR_LOAD_FAILED, error);
    uint32_t program = 0;
    Status const loaded = outcome(slot, slot.client.loadImage(name, bytes, program));
    if (loaded.failed()) return loaded;
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.loaded = true;
    slot.last = ProgramEnd();
    slot.last.chip = chip;
    return Status::ok();
}

Status RemoteTarget::reset(uint32_t chip) {
    Chip& slot = *m_chips[chip];
    abort(chip);
    if (!slot.onWatcherThread()) wait(chip);
    Status const reset = outcome(slot, slot.client.reset());
    if (reset.failed()) return reset;
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.loaded = false;
    slot.last = ProgramEnd();
    slot.last.chip = chip;
    return Status::ok();
}

// The server applies its own cycle limit (qxsim --max-cycles); the
// protocol carries none, so limits are not sent.
Status RemoteTarget::run(uint32_t chip, Simulator::RunLimits const&) {
    std::shared_ptr<Chip> const& slot = m_chips[chip];
    bool resume = false;
    bool loaded = false;
    {
        std::lock_guard<std::mutex> lock(slot->mutex);
        if (slot->running) return Status::error(QXAPI_ERR_BUSY, "a program is already running");
        if (slot->onWatcherThread())
            return Status::error(QXAPI_ERR_BUSY, "cannot start a program from its own end event");
        resume = slot->last.state == ProcessorState::Stopped;
        loaded = slot->loaded;
    }
    Refusal const refusal{loaded ? QXAPI_ERR_BUSY : QXAPI_ERR_NO_PROGRAM, QXAPI_ERR_BAD_ARGUMENT};
    Status const started = outcome(*slot, resume ? slot->client.start() : slot->client.run(), refusal);
    if (started.failed()) return started;
    {
        std::lock_guard<std::mutex> lock(slot->mutex);
        slot->aborting = false;
        slot->startWatcher([slot] { return endOfRun(*slot, slot->client.waitOnTerminate()); });
    }
    slot->announceStart();
    return Status::ok();
}

Status RemoteTarget::halt(uint32_t chip) {
    Chip& slot = *m_chips[chip];
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        if (!slot.running) return Status::error(QXAPI_ERR_NOT_RUNNING, "no program is running");
    }
    return outcome(slot, slot.client.halt(), Refusal{QXAPI_ERR_NOT_RUNNING, QXAPI_ERR_BAD_ARGUMENT});
}

// A halt whose stop the watcher reports as a fault. When the connection
// is gone the halt fails at once and the watcher has ended the run already.
void RemoteTarget::abort(uint32_t chip) {
    Chip& slot = *m_chips[chip];
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        if (!slot.running) return;
        slot.aborting = true;
    }
    slot.client.halt();
}

ProcessorState RemoteTarget::wait(uint32_t chip) {
    Chip& slot = *m_chips[chip];
    // On the watcher (an end event's callback) the run has ended already.
    if (!slot.onWatcherThread()) slot.awaitEnd();
    std::lock_guard<std::mutex> lock(slot.mutex);
    return slot.onWatcherThread() ? slot.last.state : slot.currentState();
}

ProcessorState RemoteTarget::state(uint32_t chip) const {
    Chip const& slot = *m_chips[chip];
    std::lock_guard<std::mutex> lock(slot.mutex);
    return slot.currentState();
}

ProgramEnd RemoteTarget::lastEnd(uint32_t chip) const {
    Chip const& slot = *m_chips[chip];
    std::lock_guard<std::mutex> lock(slot.mutex);
    return slot.last;
}

Status RemoteTarget::readMemory(uint32_t chip, uint64_t address, void* data, size_t size) {
    if (size > std::numeric_limits<uint32_t>::max())
        return Status::error(QXAPI_ERR_BAD_ADDRESS, std::to_string(size) + " bytes in one transfer");
    Chip& slot = *m_chips[chip];
    return outcome(slot, slot.client.readMonoMemory(address, data, uint32_t(size)),
                   Refusal{QXAPI_ERR_BUSY, QXAPI_ERR_BAD_ADDRESS});
}

Status RemoteTarget::writeMemory(uint32_t chip, uint64_t address, void const* data, size_t size) {
    if (size > std::numeric_limits<uint32_t>::max())
        return Status::error(QXAPI_ERR_BAD_ADDRESS, std::to_string(size) + " bytes in one transfer");
    Chip& slot = *m_chips[chip];
    return outcome(slot, slot.client.writeMonoMemory(address, data, uint32_t(size)),
                   Refusal{QXAPI_ERR_BUSY, QXAPI_ERR_BAD_ADDRESS});
}

Status RemoteTarget::readControlRegister(uint32_t chip, uint32_t reg, uint32_t& value) {
    Chip& slot = *m_chips[chip];
    return outcome(slot, slot.client.readControlRegister(reg, value),
                   Refusal{QXAPI_ERR_BUSY, QXAPI_ERR_BAD_REGISTER});
}

Status RemoteTarget::writeControlRegister(uint32_t chip, uint32_t reg, uint32_t value) {
    Chip& slot = *m_chips[chip];
    return outcome(slot, slot.client.writeControlRegister(reg, value),
                   Refusal{QXAPI_ERR_BUSY, QXAPI_ERR_BAD_REGISTER});
}

// The server answers a wait when the semaphore is taken, or refuses it
// when no program runs that could signal it.
Status RemoteTarget::semaphoreWait(uint32_t chip, uint32_t semaphore) {
    Chip& slot = *m_chips[chip];
    return outcome(slot, slot.client.semaphoreWait(semaphore),
                   Refusal{QXAPI_ERR_PROGRAM_ENDED, QXAPI_ERR_NO_SEMAPHORE});
}

Status RemoteTarget::semaphoreSignal(uint32_t chip, uint32_t semaphore) {
    Chip& slot = *m_chips[chip];
    return outcome(slot, slot.client.semaphoreSignal(semaphore),
                   Refusal{QXAPI_ERR_BUSY, QXAPI_ERR_NO_SEMAPHORE});
}

bool RemoteTarget::symbolValue(uint32_t chip, std::string const& name, uint32_t& value) const {
    uint64_t found = 0;
    if (m_chips[chip]->client.symbolValue(0, name, found) != Protocol::k_ok) return false;
    value = uint32_t(found);
    return true;
}

// The file is made (or emptied) here at once, as the embedded simulator
// does; the server traces the runs that follow.
Status RemoteTarget::startTrace(uint32_t chip, std::string const& path) {
    Chip& slot = *m_chips[chip];
    if (slot.client.setTraceFile(path) != Protocol::k_ok)
        return Status::error(QXAPI_ERR_TRACE_FILE, slot.client.lastError());
    Status const enabled = outcome(slot, slot.client.enableTrace());
    if (enabled.failed()) return enabled;
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.tracing = true;
    return Status::ok();
}

void RemoteTarget::stopTrace(uint32_t chip) {
    Chip& slot = *m_chips[chip];
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        if (!slot.tracing) return;
        slot.tracing = false;
    }
    slot.client.disableTrace();
}

bool RemoteTarget::tracing(uint32_t chip) const {
    Chip const& slot = *m_chips[chip];
    std::lock_guard<std::mutex> lock(slot.mutex);
    return slot.tracing;
}

// The processor lives in the server.
void* RemoteTarget::processorObject(uint32_t) {
    return nullptr;
}

}  // namespace HostLib
