#include "server/ServerOptions.h"

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

int const s_takes_value = Options::s_requires_argument;

// Decimal, or hexadecimal with a 0x prefix; the whole text must be read.
bool parseNumber(std::string const& text, uint64_t limit, uint64_t& value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long const parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || parsed > limit) return false;
    value = parsed;
    return true;
}

bool readNumber(Configuration::CommandOptions& options, char const* name, uint64_t limit, uint64_t& value,
                std::string& error)
{
    std::string text;
    if (!options.get(text, name)) return true;
    if (parseNumber(text, limit, value)) return true;
    error = "bad value for --" + std::string(name) + ": " + text + " (a number from 0 to " + std::to_string(limit) +
            " expected)";
    return false;
}

bool readTokenFile(std::string const& path, std::string& token, std::string& error)
{
    std::ifstream file(path);
    if (!file) {
        error = "cannot read the token file " + path;
        return false;
    }
    std::getline(file, token);
    if (!token.empty() && token.back() == '\r') token.pop_back();
    if (token.empty()) {
        error = "the token file " + path + " holds no token on its first line";
        return false;
    }
    return true;
}

uint16_t portFromEnvironment()
{
    char const* text = std::getenv("QXSIM_PORT");
    uint64_t port = 0;
    if (text != nullptr && parseNumber(text, 65535, port)) return static_cast<uint16_t>(port);
    return Protocol::kDefaultPort;
}

} // namespace

Options** serverOptionTable()
{
    static Options* table[8] = {};
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
    return table;
}

bool readServerSettings(Configuration::CommandOptions& options, ServerSettings& settings, std::string& error)
{
    settings.port = portFromEnvironment();
    settings.verbose = options.isOn(Configuration::CO_L_verbose);
    std::string text;
    if (options.get(text, s_listen)) settings.listenAddress = text;

    uint64_t port = settings.port;
    uint64_t connections = settings.maxConnections;
    uint64_t programSize = settings.maxProgramSize;
    if (!readNumber(options, s_port, 65535, port, error) ||
        !readNumber(options, s_max_connections, 1024, connections, error) ||
        !readNumber(options, s_max_program_size, Protocol::kMaxProgramSize, programSize, error) ||
        !readNumber(options, s_max_cycles, UINT64_MAX, settings.maxCycles, error))
        return false;
    if (connections == 0) {
        error = "bad value for --max-connections: 0 (at least 1 expected)";
        return false;
    }
    settings.port = static_cast<uint16_t>(port);
    settings.maxConnections = static_cast<unsigned>(connections);
    settings.maxProgramSize = static_cast<uint32_t>(programSize);

    if (options.get(text, s_token)) settings.token = text;
    if (options.get(text, s_token_file) && !readTokenFile(text, settings.token, error)) return false;
    return true;
}

Simulator::ProcessorConfig processorConfigOf(SDKSupport::ArchConfig const& arch,
                                             Configuration::CommandOptions& options)
{
    Simulator::ProcessorConfig config;
    config.totalNumberPes = arch.getNumberPolyProcessors();
    config.monoRegistersSize = arch.getMonoRegisterSize();
    config.monoStackSize = arch.getMonoStackSize();
    config.polyMemorySize = arch.getPolyMemorySize();
    config.polyRegistersSize = arch.getPolyRegisterSize();
    config.enableStackSize = arch.getEnableStackSize();
    config.numberSemaphores = arch.getNumberSemaphores();
    config.numberThreads = arch.getNumberThreads();
    config.instructionSize = arch.getInstructionSize();
    config.instructionSet = arch.getTargetIset();
    config.byteOrder = arch.getEndianness() == Generic::ENDIANNESS_BIG ? Qxx::ByteOrder::Big : Qxx::ByteOrder::Little;
    // The architecture configuration's own getters of these two announce
    // their deprecation on standard output, so they are read as keys.
    std::string text;
    uint64_t value = 0;
    if (options.getWithSystemPrefix(text, "mono-memory-size") && parseNumber(text, UINT32_MAX, value))
        config.monoMemorySize = static_cast<uint32_t>(value);
    if (options.getWithSystemPrefix(text, "mono-memory-start") && parseNumber(text, UINT32_MAX, value))
        config.monoMemoryStart = static_cast<uint32_t>(value);
    return config;
}

} // namespace SimServer
