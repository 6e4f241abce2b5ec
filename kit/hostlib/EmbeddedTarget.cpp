#include "hostlib/EmbeddedTarget.h"

#include "hostlib/RunWatch.h"

#include <mutex>

namespace HostLib {

using Simulator::ProcessorState;

// A chip: its runner and the watch of its runs.
struct EmbeddedTarget::Chip : RunWatch {
    std::unique_ptr<Simulator::ProcessorRunner> runner;

    Simulator::Processor& processor() { return runner->processor(); }
    Simulator::Processor const& processor() const { return runner->processor(); }
};

namespace {

using Chip = EmbeddedTarget::Chip;

// Waits for the run on the runner's worker and gives its end.
ProgramEnd endOfRun(Chip& chip) {
    ProgramEnd end;
    end.chip = chip.number;
    end.state = chip.runner->wait();
    end.returnValue = chip.processor().returnValue();
    end.faultText = chip.processor().faultText();
    return end;
}

Status failure(int code, std::string const& error) {
    return Status::error(code, error);
}

}  // namespace

std::unique_ptr<EmbeddedTarget> EmbeddedTarget::create(Simulator::ProcessorConfig const& config,
                                                       unsigned chips, std::shared_ptr<TargetEvents> events,
                                                       Status& status) {
    std::unique_ptr<EmbeddedTarget> target(new EmbeddedTarget());
    for (unsigned number = 0; number < chips; ++number) {
        std::string error;
        std::unique_ptr<Simulator::Processor> processor = Simulator::Processor::create(config, error);
        if (!processor) {
            status = failure(QXAPI_ERR_CONFIGURATION, error);
            return nullptr;
        }
        auto chip = std::make_shared<Chip>();
        chip->number = number;
        chip->runner = std::make_unique<Simulator::ProcessorRunner>(std::move(processor));
        chip->events = events;
        target->m_chips.push_back(std::move(chip));
    }
    status = Status::ok();
    return target;
}

EmbeddedTarget::~EmbeddedTarget() {
    for (std::shared_ptr<Chip> const& chip : m_chips) {
        if (chip->runner->active()) chip->runner->abort();
        chip->releaseWatcher();
    }
}

uint32_t EmbeddedTarget::chipCount() const {
    return uint32_t(m_chips.size());
}

Simulator::ProcessorConfig const& EmbeddedTarget::dimensions(uint32_t chip) const {
    return m_chips[chip]->processor().config();
}

Status EmbeddedTarget::load(uint32_t chip, Qxx::QxxImage const& image, std::string const&) {
    Chip& slot = *m_chips[chip];
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (slot.running) return failure(QXAPI_ERR_BUSY, "cannot load while a program runs");
    std::string error;
    if (!slot.processor().load(image, error)) return failure(QXAPI_ERR_LOAD_FAILED, error);
    slot.last = ProgramEnd();
    slot.last.chip = chip;
    return Status::ok();
}

Status EmbeddedTarget::reset(uint32_t chip) {
    Chip& slot = *m_chips[chip];
    if (slot.runner->active()) slot.runner->abort();
    if (!slot.onWatcherThread()) wait(chip);
    std::lock_guard<std::mutex> lock(slot.mutex);
    std::string error;
    if (!slot.processor().reset(error)) return failure(QXAPI_ERR_BUSY, error);
    slot.last = ProgramEnd();
    slot.last.chip = chip;
    return Status::ok();
}

Status EmbeddedTarget::run(uint32_t chip, Simulator::RunLimits const& limits) {
    std::shared_ptr<Chip> const& slot = m_chips[chip];
    {
        std::lock_guard<std::mutex> lock(slot->mutex);
        if (slot->running) return failure(QXAPI_ERR_BUSY, "a program is already running");
        if (slot->onWatcherThread())
            return failure(QXAPI_ERR_BUSY, "cannot start a program from its own end event");
        std::string error;
        if (!slot->runner->start(limits, error)) {
            int const code =
                slot->processor().state() == ProcessorState::Empty ? QXAPI_ERR_NO_PROGRAM : QXAPI_ERR_BUSY;
            return failure(code, error);
        }
        slot->startWatcher([slot] { return endOfRun(*slot); });
    }
    slot->announceStart();
    return Status::ok();
}

Status EmbeddedTarget::halt(uint32_t chip) {
    Chip& slot = *m_chips[chip];
    if (!slot.runner->active()) return failure(QXAPI_ERR_NOT_RUNNING, "no program is running");
    slot.runner->halt();
    return Status::ok();
}

void EmbeddedTarget::abort(uint32_t chip) {
    if (m_chips[chip]->runner->active()) m_chips[chip]->runner->abort();
}

ProcessorState EmbeddedTarget::wait(uint32_t chip) {
    Chip& slot = *m_chips[chip];
    // On the watcher (an end event's callback) the run has ended already.
    if (slot.onWatcherThread()) return slot.runner->wait();
    slot.awaitEnd();
    return slot.processor().state();
}

ProcessorState EmbeddedTarget::state(uint32_t chip) const {
    return m_chips[chip]->processor().state();
}

ProgramEnd EmbeddedTarget::lastEnd(uint32_t chip) const {
    Chip const& slot = *m_chips[chip];
    std::lock_guard<std::mutex> lock(slot.mutex);
    return slot.last;
}

Status EmbeddedTarget::readMemory(uint32_t chip, uint64_t address, void* data, size_t size) {
    std::string error;
    if (!m_chips[chip]->processor().readMonoMemory(address, data, size, error))
        return failure(QXAPI_ERR_BAD_ADDRESS, error);
    return Status::ok();
}

Status EmbeddedTarget::writeMemory(uint32_t chip, uint64_t address, void const* data, size_t size) {
    std::string error;
    if (!m_chips[chip]->processor().writeMonoMemory(address, data, size, error))
        return failure(QXAPI_ERR_BAD_ADDRESS, error);
    return Status::ok();
}

// Registers change under a running program, so they are only read and
// written between runs.
Status EmbeddedTarget::readControlRegister(uint32_t chip, uint32_t reg, uint32_t& value) {
    Chip& slot = *m_chips[chip];
    if (slot.runner->active())
        return failure(QXAPI_ERR_BUSY, "registers cannot be read while a program runs");
    std::string error;
    if (!slot.processor().readControlRegister(reg, value, error))
        return failure(QXAPI_ERR_BAD_REGISTER, error);
    return Status::ok();
}

Status EmbeddedTarget::writeControlRegister(uint32_t chip, uint32_t reg, uint32_t value) {
    Chip& slot = *m_chips[chip];
    if (slot.runner->active())
        return failure(QXAPI_ERR_BUSY, "registers cannot be written while a program runs");
    std::string error;
    if (!slot.processor().writeControlRegister(reg, value, error))
        return failure(QXAPI_ERR_BAD_REGISTER, error);
    return Status::ok();
}

Status EmbeddedTarget::semaphoreWait(uint32_t chip, uint32_t semaphore) {
    switch (m_chips[chip]->processor().semaphoreWait(semaphore)) {
        case Simulator::HostWait::Acquired: return Status::ok();
        case Simulator::HostWait::Ended:
            return failure(QXAPI_ERR_PROGRAM_ENDED, "semaphore " + std::to_string(semaphore) +
                                                        " is zero and no program runs that could signal it");
        case Simulator::HostWait::NoSuchSemaphore: break;
    }
    return failure(QXAPI_ERR_NO_SEMAPHORE, "no semaphore " + std::to_string(semaphore));
}

Status EmbeddedTarget::semaphoreSignal(uint32_t chip, uint32_t semaphore) {
    std::string error;
    if (!m_chips[chip]->processor().semaphoreSignal(semaphore, error))
        return failure(QXAPI_ERR_NO_SEMAPHORE, error);
    return Status::ok();
}

bool EmbeddedTarget::symbolValue(uint32_t chip, std::string const& name, uint32_t& value) const {
    return m_chips[chip]->processor().symbolValue(name, value);
}

Status EmbeddedTarget::startTrace(uint32_t chip, std::string const& path) {
    std::string error;
    if (!m_chips[chip]->processor().startTrace(path, error)) return failure(QXAPI_ERR_TRACE_FILE, error);
    return Status::ok();
}

void EmbeddedTarget::stopTrace(uint32_t chip) {
    m_chips[chip]->processor().stopTrace();
}

bool EmbeddedTarget::tracing(uint32_t chip) const {
    return m_chips[chip]->processor().tracing();
}

void* EmbeddedTarget::processorObject(uint32_t chip) {
    return &m_chips[chip]->processor();
}

}  // namespace HostLib
