#include "hostlib/EventReporter.h"

#include "hostlib/Diagnostics.h"

namespace HostLib {

void EventReporter::loaded(uint32_t chip, std::string const& path) {
    emit(chip, Event::Loaded, "loaded " + path);
}

void EventReporter::programStarted(uint32_t chip) {
    emit(chip, Event::Started, "started");
}

void EventReporter::programEnded(ProgramEnd const& end) {
    switch (end.state) {
        case Simulator::ProcessorState::Halted:
            emit(end.chip, Event::Terminated, "terminated, return value " + std::to_string(end.returnValue));
            break;
        case Simulator::ProcessorState::Faulted:
            reportSimulator("chip " + std::to_string(end.chip) + ": fault: " + end.faultText);
            emit(end.chip, Event::Faulted, "terminated by a fault");
            break;
        case Simulator::ProcessorState::Stopped: emit(end.chip, Event::Stopped, "stopped by the host"); break;
        default: break;
    }
}

void EventReporter::registerCallback(uint32_t chip, int event, QXAPI_callback callback, void* userData) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (callback == nullptr)
        m_callbacks.erase({chip, event});
    else
        m_callbacks[{chip, event}] = {callback, userData};
}

void EventReporter::getCallback(uint32_t chip, int event, QXAPI_callback& callback, void*& userData) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto const found = m_callbacks.find({chip, event});
    callback = found != m_callbacks.end() ? found->second.first : nullptr;
    userData = found != m_callbacks.end() ? found->second.second : nullptr;
}

// The callback is called without the lock, so that it may register or
// query callbacks itself.
void EventReporter::emit(uint32_t chip, int event, std::string const& debuggerText) {
    if (m_debugger) writeErrorLine("qxdebug: chip " + std::to_string(chip) + ": " + debuggerText);
    QXAPI_callback callback = nullptr;
    void* userData = nullptr;
    getCallback(chip, event, callback, userData);
    if (callback != nullptr) callback(m_handle, chip, event, userData);
}

}  // namespace HostLib
