#include "qxsim/ServerOptions.h"

#include "protocol/Environment.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace SimServer {

using Configuration::Options;

namespace {

char const* const s_listen = "listen";
char const* const s_port = "port";
char const* const s_max_connections = "max-connections";
char const* const s_max_program_size = "max-program-size";
char const* const s_max_cycles = "max-cycles";
char const* const s_token = "token";
char const* const s_token_file = "token-file";
char const* const s_idle_timeout = "idle-timeout";
char const* const s_queue_length = "queue-length";
char const* const s_queue_timeout = "queue-timeout";
char const* const s_health_port = "health-port";
char const* const s_drain_grace = "drain-grace";

// Time limits are given in seconds, up to a day.
uint64_t const s_most_seconds = 86400;

int const s_takes_value = Options::s_requires_argument;

// Decimal, or hexadecimal with a 0x prefix; the whole text must be read.
bool parseNumber(std::string const& text, uint64_t limit, uint64_t& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long const parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || parsed > limit) return false;
    value = parsed;
    return true;
}

bool readNumber(Configuration::CommandOptions& options, char const* name, uint64_t limit, uint64_t& value,
                std::string& error) {
    std::string text;
    if (!options.get(text, name)) return true;
    if (parseNumber(text, limit, value)) return true;
    error = "bad value for --" + std::string(name) + ": " + text + " (a number from 0 to " +
            std::to_string(limit) + " expected)";
    return false;
}

bool readSeconds(Configuration::CommandOptions& options, char const* name, std::chrono::milliseconds& value,
                 std::string& error) {
    uint64_t seconds = static_cast<uint64_t>(value.count() / 1000);
    if (!readNumber(options, name, s_most_seconds, seconds, error)) return false;
    value = std::chrono::milliseconds(seconds * 1000);
    return true;
}

bool checkToken(std::string const& token, std::string const& source, std::string& error) {
    if (token.size() <= Protocol::k_max_token_length) return true;
    error = source + " is longer than the " + std::to_string(Protocol::k_max_token_length) +
            " bytes a client can present";
    return false;
}

// Reads the first line only, and no more of it than a token can be, so
// that a huge file or a device does not fill the memory.
bool readTokenFile(std::string const& path, std::string& token, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the token file " + path;
        return false;
    }
    token.clear();
    char c = 0;
    while (token.size() <= Protocol::k_max_token_length + 1 && file.get(c) && c != '\n') token += c;
    if (!token.empty() && token.back() == '\r') token.pop_back();
    if (!checkToken(token, "the token in the token file " + path, error)) return false;
    if (token.empty()) {
        error = "the token file " + path + " holds no token on its first line";
        return false;
    }
    return true;
}

}  // namespace

// The option set stores an option given an empty value as switched on,
// which would make "--token ''" the token "on"; every qxsim option with a
// value needs a non-empty one.
static bool checkNoEmptyValue(std::string& error) {
    for (Options** option = serverOptionTable(); *option != nullptr; ++option) {
        if (!(*option)->isFound() || ((*option)->hasValue() && *(*option)->getValue() != '\0')) continue;
        error =
            "bad value for --" + std::string((*option)->getLongName()) + ": an empty value is not allowed";
        return false;
    }
    return true;
}

Options** serverOptionTable() {
    static Options* table[13] = {};
    if (table[0] != nullptr) return table;
    table[0] = new Options(s_listen, 0, Options::s_text, s_takes_value,
                           "Address to listen on, default: 127.0.0.1 (this machine only)");
    table[1] = new Options(s_port, 'p', Options::s_integer, s_takes_value,
                           "Port to listen on, 0 for any free port, default: QXSIM_PORT or 7411");
    table[2] = new Options(s_max_connections, 0, Options::s_integer, s_takes_value,
                           "Most clients served at once, each with its own processor, default: 8");
    table[3] = new Options(s_max_program_size, 0, Options::s_integer, s_takes_value,
                           "Largest program accepted, in bytes, default: 16777216");
    table[4] = new Options(s_max_cycles, 0, Options::s_integer, s_takes_value,
                           "Cycles after which a run faults, 0 for no limit, default: 0");
    table[5] = new Options(s_token, 0, Options::s_text, s_takes_value,
                           "Token every client must present, default: none");
    table[6] = new Options(s_token_file, 0, Options::s_text, s_takes_value,
                           "File whose first line is the token clients must present");
    table[7] = new Options(s_idle_timeout, 0, Options::s_integer, s_takes_value,
                           "Seconds a connection may stay idle between runs, 0 for no limit, default: 60");
    table[8] = new Options(s_queue_length, 0, Options::s_integer, s_takes_value,
                           "Most clients waiting for a free connection, default: 64");
    table[9] = new Options(s_queue_timeout, 0, Options::s_integer, s_takes_value,
                           "Seconds a client waits for a free connection at most, default: 60");
    table[10] = new Options(s_health_port, 0, Options::s_integer, s_takes_value,
                            "Port answering HTTP health checks, 0 for any free port, default: none");
    table[11] =
        new Options(s_drain_grace, 0, Options::s_integer, s_takes_value,
                    "Seconds a drain (SIGQUIT) waits for connections, 0 to stop at once, default: 60");
    return table;
}

bool readServerSettings(Configuration::CommandOptions& options, ServerSettings& settings,
                        std::string& error) {
    if (!checkNoEmptyValue(error)) return false;
    if (!Protocol::portFromEnvironment(settings.port, error)) return false;
    settings.verbose = options.isOn(Configuration::CO_L_verbose);
    std::string text;
    if (options.get(text, s_listen)) settings.listenAddress = text;

    uint64_t port = settings.port;
    uint64_t connections = settings.maxConnections;
    uint64_t programSize = settings.maxProgramSize;
    uint64_t queueLength = settings.queueLength;
    uint64_t healthPort = 0;
    settings.healthChecks = options.get(text, s_health_port);
    if (!readNumber(options, s_port, 65535, port, error) ||
        !readNumber(options, s_max_connections, 1024, connections, error) ||
        !readNumber(options, s_max_program_size, Protocol::k_max_program_size, programSize, error) ||
        !readNumber(options, s_max_cycles, UINT64_MAX, settings.maxCycles, error) ||
        !readNumber(options, s_queue_length, 4096, queueLength, error) ||
        !readNumber(options, s_health_port, 65535, healthPort, error) ||
        !readSeconds(options, s_drain_grace, settings.drainGrace, error) ||
        !readSeconds(options, s_idle_timeout, settings.idleTimeout, error) ||
        !readSeconds(options, s_queue_timeout, settings.queueTimeout, error))
        return false;
    if (connections == 0) {
        error = "bad value for --max-connections: 0 (at least 1 expected)";
        return false;
    }
    settings.port = static_cast<uint16_t>(port);
    settings.maxConnections = static_cast<unsigned>(connections);
    settings.maxProgramSize = static_cast<uint32_t>(programSize);
    settings.queueLength = static_cast<unsigned>(queueLength);
    settings.healthPort = static_cast<uint16_t>(healthPort);

    if (options.get(text, s_token)) settings.token = text;
    if (!checkToken(settings.token, "the token of --token", error)) return false;
    if (options.get(text, s_token_file) && !readTokenFile(text, settings.token, error)) return false;
    return true;
}

}  // namespace SimServer
