#include "hostlib/TargetFactory.h"

#include "hostlib/DeviceNodes.h"
#include "hostlib/Diagnostics.h"
#include "hostlib/EmbeddedTarget.h"
#include "hostlib/ErrorStrings.h"
#include "hostlib/NodeConfiguration.h"
#include "hostlib/RemoteTarget.h"
#include "protocol/Environment.h"
#include "protocol/HostAddress.h"
#include "protocol/SimClient.h"

#include <cstdlib>
#include <cstring>

namespace HostLib {

namespace {

char const* const s_local_host = "localhost";
unsigned const s_max_chips = 16;

// The number of chips of a simulated connection: QX_SIM_CHIPS, default 1.
bool simulatedChips(unsigned& chips, std::string& error) {
    chips = 1;
    char const* text = std::getenv("QX_SIM_CHIPS");
    if (text == nullptr || *text == '\0') return true;
    char* end = nullptr;
    unsigned long const value = std::strtoul(text, &end, 10);
    if (*end != '\0' || value < 1 || value > s_max_chips) {
        error = "QX_SIM_CHIPS: '" + std::string(text) + "' is not a number from 1 to " +
                std::to_string(s_max_chips);
        return false;
    }
    chips = unsigned(value);
    return true;
}

// The card itself is driven by the closed host library; this one can only
// tell whether there is one.
std::unique_ptr<Target> connectHardware(uint32_t instance, Status& status) {
    std::string path;
    status = DeviceNodes::find(instance, path);
    if (!status.failed())
        status = Status::error(
            QXAPI_ERR_DEVICE_UNSUPPORTED,
            "device node " + path + " found, but only the simulator can be used with this library");
    return nullptr;
}

std::unique_ptr<Target> connectEmbedded(std::shared_ptr<TargetEvents> events, Status& status) {
    Simulator::ProcessorConfig config;
    std::string source;
    std::string error;
    unsigned chips = 1;
    if (!NodeConfiguration::read(config, source, error) || !simulatedChips(chips, error)) {
        reportSimulator("configuration: " + error);
        status = Status::error(QXAPI_ERR_CONFIGURATION, error);
        return nullptr;
    }
    std::unique_ptr<Target> target = EmbeddedTarget::create(config, chips, std::move(events), status);
    if (!target) reportSimulator("configuration: " + source + ": " + status.detail);
    return target;
}

// A qxsim server: one connection per chip, at the host and port of the
// host text (the port by default from QXSIM_PORT, else 7411) with the
// token of QXSIM_TOKEN. A malformed host text, a QXSIM_PORT that is no
// port, or a token no server can take, fails the connect with the reason.
std::unique_ptr<Target> connectRemote(char const* host, std::shared_ptr<TargetEvents> events,
                                      Status& status) {
    std::string error;
    unsigned chips = 1;
    if (!simulatedChips(chips, error)) {
        status = Status::error(QXAPI_ERR_CONFIGURATION, error);
        return nullptr;
    }
    Protocol::HostAddress address;
    ServerAddress server;
    if (!Protocol::hostAddressFromText(host, address, error) ||
        !Protocol::tokenFromEnvironment(server.token, error)) {
        status = Status::error(QXAPI_ERR_HOST_UNSUPPORTED, error);
        return nullptr;
    }
    server.host = address.host;
    server.port = address.port;
    server.connectTimeout = Protocol::SimClient::k_default_connect_timeout;
    return RemoteTarget::connect(server, chips, std::move(events), status);
}

// The longest error text that callers' usual message buffers hold whole:
// the loader gives QXAPI_get_error_string 100 bytes.
std::size_t const k_short_reason_size = 99;

// Keeps the text of a failed connect within k_short_reason_size: the
// detail is cut after its last whole clause (ending before ": " or ", ")
// that fits, or else after its last whole word that fits, so that no word
// is cut. The whole reason then goes to standard error.
void shortenReason(Status& status) {
    std::string const full = describeError(status.code, status.detail);
    if (full.size() <= k_short_reason_size) return;
    std::size_t const room = k_short_reason_size - (full.size() - status.detail.size());
    std::string const& detail = status.detail;
    std::size_t cut = std::string::npos;
    for (std::size_t at = 0; at < detail.size() && at <= room; ++at) {
        if (detail.compare(at, 2, ": ") == 0 || detail.compare(at, 2, ", ") == 0) cut = at;
    }
    if (cut == std::string::npos) cut = room < detail.size() ? detail.rfind(' ', room) : detail.size();
    writeErrorLine("qxapi: connect: " + full);
    status.detail = detail.substr(0, cut == std::string::npos ? 0 : cut);
}

std::unique_ptr<Target> connectTo(char const* host, uint32_t instance, std::shared_ptr<TargetEvents> events,
                                  Status& status) {
    if (host == nullptr) return connectHardware(instance, status);
    // "localhost" with a port is a server there, like any other host.
    if (std::strcmp(host, s_local_host) == 0) return connectEmbedded(std::move(events), status);
    return connectRemote(host, std::move(events), status);
}

}  // namespace

std::unique_ptr<Target> connectTarget(char const* host, uint32_t instance,
                                      std::shared_ptr<TargetEvents> events, Status& status) {
    std::unique_ptr<Target> target = connectTo(host, instance, std::move(events), status);
    if (!target) shortenReason(status);
    return target;
}

}  // namespace HostLib
