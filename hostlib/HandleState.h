// Everything a host API handle owns: its connection (a Target), the
// host-side state of each chip, the event reporter and the details of its
// last failures. QXAPI_handle points at one of these (QXAPI_handle_s
// derives from it); HandleRegistry keeps the live ones.
//
// Threads: the mutex guards the sessions, the details and the target
// pointer; blocking calls into the target (wait, semaphore wait) are made
// without it.
#ifndef HOSTLIB_HANDLESTATE_H
#define HOSTLIB_HANDLESTATE_H

#include "hostlib/ChipSession.h"
#include "hostlib/EventReporter.h"
#include "hostlib/Status.h"
#include "hostlib/Target.h"
#include "hostlib/Variant.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace HostLib {

class HandleState {
public:
    // self: the handle that callbacks receive, the object being made.
    HandleState(QXAPI_handle self, Variant variant, int loadMode);
    virtual ~HandleState();
    HandleState(HandleState const&) = delete;
    HandleState& operator=(HandleState const&) = delete;

    Variant variant() const { return m_variant; }
    int loadMode() const { return m_loadMode; }
    std::mutex& mutex() { return m_mutex; }
    EventReporter& events() { return *m_events; }

    Status connect(char const* host, uint32_t instance);
    // The target and the session of a chip of the connection.
    Status chip(uint32_t chip, Target*& target, ChipSession*& session);
    Status target(Target*& target);

    // Ends every run, so that calls blocked in other threads return; the
    // handle is being deleted.
    void close();

    // Remembers the detail of a failure for get_error_string; returns the code.
    int record(Status const& status);
    std::string detailOf(int code) const;

private:
    Variant const m_variant;
    int const m_loadMode;
    mutable std::mutex m_mutex;
    std::shared_ptr<EventReporter> m_events;
    std::vector<ChipSession> m_sessions;
    std::map<int, std::string> m_details;
    // Last, so that it is destroyed first: its runs end before the
    // sessions and the reporter go.
    std::unique_ptr<Target> m_target;
};

} // namespace HostLib

// The opaque handle type of qxapi.h.
struct QXAPI_handle_s final : HostLib::HandleState {
    QXAPI_handle_s(HostLib::Variant variant, int loadMode) : HandleState(this, variant, loadMode) {}
};

#endif
