#include "hostlib/HandleState.h"

#include "hostlib/TargetFactory.h"

namespace HostLib {

HandleState::HandleState(QXAPI_handle self, Variant variant, int loadMode)
    : m_variant(variant),
      m_load_mode(loadMode),
      m_events(std::make_shared<EventReporter>(self, variant == Variant::Debugger)) {}

HandleState::~HandleState() = default;

Status HandleState::connect(char const* host, uint32_t instance) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_current >= 0) return Status::error(QXAPI_ERR_ALREADY_CONNECTED);
    }
    int id = 0;
    Status const opened = open(host, instance, id);
    if (opened.failed()) return opened;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_current = id;
    return Status::ok();
}

// Connects outside the lock (a server may take seconds to answer), then
// enters the connection in the table.
Status HandleState::open(char const* host, uint32_t instance, int& id) {
    Status status;
    std::unique_ptr<Target> target = connectTarget(host, instance, m_events, status);
    if (!target) return status;
    Connection connection;
    connection.sessions.assign(target->chipCount(), ChipSession());
    for (uint32_t chip = 0; chip < target->chipCount(); ++chip) {
        Simulator::ProcessorConfig const& config = target->dimensions(chip);
        uint64_t const stackBase =
            uint64_t(config.monoMemoryStart) + config.monoMemorySize - config.monoStackSize;
        connection.sessions[chip].allocator.setArena(config.monoMemoryStart, stackBase);
    }
    connection.target = std::move(target);
    std::lock_guard<std::mutex> lock(m_mutex);
    id = m_next_id++;
    m_connections.emplace(id, std::move(connection));
    return Status::ok();
}

HandleState::Connection* HandleState::current() {
    auto const found = m_connections.find(m_current);
    return found != m_connections.end() ? &found->second : nullptr;
}

Status HandleState::target(Target*& target) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Connection* const connection = current();
    if (!connection) return Status::error(QXAPI_ERR_NOT_CONNECTED);
    target = connection->target.get();
    return Status::ok();
}

Status HandleState::chip(uint32_t chip, Target*& target, ChipSession*& session) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Connection* const connection = current();
    if (!connection) return Status::error(QXAPI_ERR_NOT_CONNECTED);
    if (chip >= connection->sessions.size())
        return Status::error(QXAPI_ERR_BAD_CHIP, "chip " + std::to_string(chip) + " (the connection has " +
                                                     std::to_string(connection->sessions.size()) + ")");
    target = connection->target.get();
    session = &connection->sessions[chip];
    return Status::ok();
}

Status HandleState::initializeConnection(char const* host, uint32_t instance, int& id) {
    return open(host, instance, id);
}

// Aborting happens outside the lock: the end of a run reports events.
static void abortAll(Target& target) {
    for (uint32_t chip = 0; chip < target.chipCount(); ++chip) target.abort(chip);
}

static Status noConnection(int id) {
    return Status::error(QXAPI_ERR_NO_CONNECTION, "connection " + std::to_string(id));
}

Status HandleState::switchToConnection(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_connections.count(id) == 0) return noConnection(id);
    m_current = id;
    return Status::ok();
}

Status HandleState::destroyConnection(int id) {
    Target* target = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto const found = m_connections.find(id);
        if (found == m_connections.end()) return noConnection(id);
        target = found->second.target.get();
        m_retired.push_back(std::move(found->second));
        m_connections.erase(found);
        if (m_current == id) m_current = -1;
    }
    abortAll(*target);
    return Status::ok();
}

Status HandleState::currentConnection(int& id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_current < 0) return Status::error(QXAPI_ERR_NO_CONNECTION, "no connection is current");
    id = m_current;
    return Status::ok();
}

void HandleState::setReverseAddress(std::string const& address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reverse_address = address;
}

void HandleState::setReversePort(int port) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reverse_port = port;
}

int HandleState::reversePort() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reverse_port;
}

void HandleState::setNotifySocket(int socket) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_notify_socket = socket;
}

void HandleState::close() {
    std::vector<Target*> targets;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& entry : m_connections) targets.push_back(entry.second.target.get());
    }
    for (Target* target : targets) abortAll(*target);
}

int HandleState::record(Status const& status) {
    if (status.failed()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_details[status.code] = status.detail;
    }
    return status.code;
}

std::string HandleState::detailOf(int code) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto const found = m_details.find(code);
    return found != m_details.end() ? found->second : std::string();
}

}  // namespace HostLib
