// Everything a host API handle owns: its connections (each a Target with
// the host-side state of its chips), which of them is current, the event
// reporter and the details of its last failures. QXAPI_handle points at one of these (QXAPI_handle_s
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
    int loadMode() const { return m_load_mode; }
    std::mutex& mutex() { return m_mutex; }
    EventReporter& events() { return *m_events; }

    // Opens the handle's first connection and makes it current.
    Status connect(char const* host, uint32_t instance);
    // The target and the session of a chip of the current connection.
    Status chip(uint32_t chip, Target*& target, ChipSession*& session);
    Status target(Target*& target);

    // The connection table: connections are numbered from 0 (the one
    // connect opens) in the order they are opened. initializeConnection
    // opens one more without making it current; destroyConnection ends its
    // runs and, when it was current, leaves no connection current.
    Status initializeConnection(char const* host, uint32_t instance, int& id);
    Status switchToConnection(int id);
    Status destroyConnection(int id);
    Status currentConnection(int& id) const;

    // Where a server should call the host back: recorded for the kit's
    // tools; the reference server does not call back.
    void setReverseAddress(std::string const& address);
    void setReversePort(int port);
    int reversePort() const;
    void setNotifySocket(int socket);

    // Ends every run, so that calls blocked in other threads return; the
    // handle is being deleted.
    void close();

    // Remembers the detail of a failure for get_error_string; returns the code.
    int record(Status const& status);
    std::string detailOf(int code) const;

private:
    Variant const m_variant;
    int const m_load_mode;
    struct Connection {
        std::vector<ChipSession> sessions;
        // After the sessions, so that it is destroyed first: its runs end
        // before the sessions go.
        std::unique_ptr<Target> target;
    };

    Status open(char const* host, uint32_t instance, int& id);
    Connection* current();

    mutable std::mutex m_mutex;
    std::shared_ptr<EventReporter> m_events;
    std::map<int, std::string> m_details;
    std::string m_reverse_address;
    int m_reverse_port = 0;
    int m_notify_socket = -1;
    int m_current = -1;  // no connection is current
    int m_next_id = 0;
    // Last, so that they are destroyed first: their runs end before the
    // reporter goes. Destroyed connections stay in m_retired until the
    // handle goes, because a call in another thread may still be using one.
    std::map<int, Connection> m_connections;
    std::vector<Connection> m_retired;
};

}  // namespace HostLib

// The opaque handle type of qxapi.h.
struct QXAPI_handle_s final : HostLib::HandleState {
    QXAPI_handle_s(HostLib::Variant variant, int loadMode) : HandleState(this, variant, loadMode) {}
};

#endif
