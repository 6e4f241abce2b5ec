// Device events of one handle: a program loaded, started, stopped by the
// host, terminated (with its return value) or ended by a fault.
//
// A fault is always reported on standard error ("qxapi: chip N: fault:
// ..."). The debugger variant also writes every event as a line
// "qxdebug: chip N: ..." on standard error. Callbacks registered with
// register_callback are called in every variant: for loaded and started
// on the thread that made the call, for the end of a run on a thread of
// the simulator before wait_on_terminate returns.
#ifndef HOSTLIB_EVENTREPORTER_H
#define HOSTLIB_EVENTREPORTER_H

#include "hostlib/Target.h"
#include "qxapi/qxapi.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace HostLib {

namespace Event {
constexpr int Loaded = 1;
constexpr int Started = 2;
constexpr int Stopped = 3;
constexpr int Terminated = 4;
constexpr int Faulted = 5;
constexpr int First = Loaded;
constexpr int Last = Faulted;
}  // namespace Event

class EventReporter final : public TargetEvents {
public:
    EventReporter(QXAPI_handle handle, bool debugger) : m_handle(handle), m_debugger(debugger) {}

    void loaded(uint32_t chip, std::string const& path);
    void programStarted(uint32_t chip) override;
    void programEnded(ProgramEnd const& end) override;

    // A null callback removes the registration.
    void registerCallback(uint32_t chip, int event, QXAPI_callback callback, void* userData);
    // Null and null when nothing is registered.
    void getCallback(uint32_t chip, int event, QXAPI_callback& callback, void*& userData) const;

private:
    void emit(uint32_t chip, int event, std::string const& debuggerText);

    QXAPI_handle const m_handle;
    bool const m_debugger;
    mutable std::mutex m_mutex;
    std::map<std::pair<uint32_t, int>, std::pair<QXAPI_callback, void*>> m_callbacks;
};

}  // namespace HostLib

#endif
