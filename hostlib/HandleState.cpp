#include "hostlib/HandleState.h"

#include "hostlib/TargetFactory.h"

namespace HostLib {

HandleState::HandleState(QXAPI_handle self, Variant variant, int loadMode)
    : m_variant(variant),
      m_loadMode(loadMode),
      m_events(std::make_shared<EventReporter>(self, variant == Variant::Debugger))
{
}

HandleState::~HandleState() = default;

Status HandleState::connect(char const* host, uint32_t instance)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_target) return Status::error(QXAPI_ERR_ALREADY_CONNECTED);
    Status status;
    std::unique_ptr<Target> target = connectTarget(host, instance, m_events, status);
    if (!target) return status;
    m_sessions.assign(target->chipCount(), ChipSession());
    for (uint32_t chip = 0; chip < target->chipCount(); ++chip) {
        Simulator::ProcessorConfig const& config = target->dimensions(chip);
        uint64_t const stackBase = uint64_t(config.monoMemoryStart) + config.monoMemorySize - config.monoStackSize;
        m_sessions[chip].allocator.setArena(config.monoMemoryStart, stackBase);
    }
    m_target = std::move(target);
    return Status::ok();
}

Status HandleState::target(Target*& target)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_target) return Status::error(QXAPI_ERR_NOT_CONNECTED);
    target = m_target.get();
    return Status::ok();
}

Status HandleState::chip(uint32_t chip, Target*& target, ChipSession*& session)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_target) return Status::error(QXAPI_ERR_NOT_CONNECTED);
    if (chip >= m_sessions.size())
        return Status::error(QXAPI_ERR_BAD_CHIP, "chip " + std::to_string(chip) + " (the connection has " +
                                                     std::to_string(m_sessions.size()) + ")");
    target = m_target.get();
    session = &m_sessions[chip];
    return Status::ok();
}

void HandleState::close()
{
    Target* connected = nullptr;
    if (target(connected).failed()) return;
    for (uint32_t chip = 0; chip < connected->chipCount(); ++chip) connected->abort(chip);
}

int HandleState::record(Status const& status)
{
    if (status.failed()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_details[status.code] = status.detail;
    }
    return status.code;
}

std::string HandleState::detailOf(int code) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto const found = m_details.find(code);
    return found != m_details.end() ? found->second : std::string();
}

} // namespace HostLib
