#include "simulator/ProcessorRunner.h"

namespace Simulator {

ProcessorRunner::ProcessorRunner(std::unique_ptr<Processor> processor) : m_processor(std::move(processor)) {}

ProcessorRunner::~ProcessorRunner() {
    if (active()) abort();
    wait();
    joinFinished();
}

bool ProcessorRunner::start(RunLimits const& limits, std::string& error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_active) {
        error = "a program is already running";
        return false;
    }
    ProcessorState const state = m_processor->state();
    if (state != ProcessorState::Ready && state != ProcessorState::Stopped) {
        error = state == ProcessorState::Empty ? "no program is loaded" : "the program has already ended";
        return false;
    }
    // The previous worker has finished its run; reap it before the next.
    if (m_worker.joinable()) m_worker.join();
    m_active = true;
    m_worker = std::thread([this, limits] {
        ProcessorState const left = m_processor->run(limits);
        std::lock_guard<std::mutex> done(m_mutex);
        if (m_on_end) m_on_end(left);
        m_active = false;
        m_ended.notify_all();
    });
    return true;
}

ProcessorState ProcessorRunner::wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ended.wait(lock, [this] { return !m_active; });
    return m_processor->state();
}

bool ProcessorRunner::waitFor(std::chrono::milliseconds timeout, ProcessorState& state) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_ended.wait_for(lock, timeout, [this] { return !m_active; })) return false;
    state = m_processor->state();
    return true;
}

bool ProcessorRunner::active() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_active;
}

void ProcessorRunner::setEndHandler(EndHandler handler) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_on_end = std::move(handler);
}

void ProcessorRunner::joinFinished() {
    if (m_worker.joinable()) m_worker.join();
}

}  // namespace Simulator
