// qxrun: loads one qxx executable onto an accelerator processor (hardware
// chosen by instance and chip, or a simulator on a host), runs it, waits
// for it to terminate and prints its return value.
//
// Everything qxrun prints goes to standard output. The messages of the
// card sequence use printf, the option set's usage text may use iostreams;
// std::ios::sync_with_stdio stays on (the default) so both reach the
// stream in the order they were written.
//
// Exit status: 1 after a run that reported no failure, after help and
// after version; 0 after a reported failure; 1 after an unhandled
// exception. When "--useconfig" is given without a usable value the
// option set prints why and makes no option set: qxrun then exits with
// status 1 at once, without reading the configuration or touching the
// card.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "ToolMain.h"
#include "configuration/BuildVersion.h"
#include "configuration/CommandOptions.h"
#include "configuration/CommonOptions.h"
#include "configuration/Options.h"
#include "loader/HexOrDec.h"
#include "qx/Version.h"
#include "qxapi/qxapi.h"
#include "sdksupport/ArchConfig.h"

namespace {

using Configuration::CommandOptions;
using Configuration::Options;

// The simulator's host when "host" is not given: the local machine.
#define QXRUN_DEFAULT_HOST "localhost"
char const* const s_default_host = QXRUN_DEFAULT_HOST;
char const* const s_usage_tail = "\n *filename is the full path to the qxx executable.";

char const* const s_build_version = "1.198.3.1 beta at Wed Feb 28 17:47:09 GMT 2007 on linux_x86_64";
char const* const s_title = "qxrun Orvalis loader utility";
char const* const s_tool_version = QX_VERSION;
char const* const s_notice =
    "qxrun is part of the Orvalis accelerator software kit.\n"
    "It loads a qxx executable onto an accelerator processor and runs it.\n"
    "Report problems to your Orvalis support contact.\n";

// The loader's own options, in the order of their descriptors.
char const* const s_fake = "fake";
char const* const s_qxx = "qxx";
char const* const s_chip = "chip";
char const* const s_instance = "instance";
char const* const s_host = "host";
char const* const s_sim = "sim";
char const* const s_qxtrace = "qxtrace";

int const s_takes_value = 1;
int const s_switch = 0;
int const s_error_text_size = 100;

// Made once and, like the option set, kept for the whole process: the
// option set keeps pointers to them.
Options* s_loader_options[8] = {};

void makeLoaderOptions() {
    s_loader_options[0] =
        new Options(s_fake, 0, nullptr, s_switch, "Backward compatibility with tolk output");
    s_loader_options[1] = new Options(s_qxx, 0, nullptr, s_switch, "Backward compatibility with tolk");
    s_loader_options[2] =
        new Options(s_chip, 'c', nullptr, s_takes_value, "Which chip to run on (0 or 1), default: 0");
    s_loader_options[3] = new Options(s_instance, 'i', nullptr, s_takes_value,
                                      "What instance of hardware (0,1,2,...), default: any available");
    s_loader_options[4] = new Options(s_host, 0, nullptr, s_takes_value,
                                      "Which host the simulator is running on, default: " QXRUN_DEFAULT_HOST);
    s_loader_options[5] = new Options(s_sim, 's', nullptr, s_switch, "Connect to the simulator");
    s_loader_options[6] =
        new Options(s_qxtrace, 0, nullptr, s_takes_value, "Set file name for trace output and enabled trace");
}

struct RunSettings {
    uint32_t chip = 0;
    uint32_t instance = 0;
    std::string host = s_default_host;
    bool sim = false;
    bool trace = false;
    std::string trace_file;
    int load_mode = QXAPI_LOAD_DIRECT;
    std::string path;
    bool version = false;
    bool help = false;
    bool verbose = false;
};

// A malformed chip or instance keeps the default without a message.
void readNumber(CommandOptions& options, char const* name, uint32_t& target) {
    std::string value;
    if (options.get(value, name)) hex_or_dec_2_uint(value.c_str(), &target);
}

RunSettings readSettings(CommandOptions& options) {
    RunSettings settings;
    settings.version = options.isOn(Configuration::CO_L_version);
    settings.help = options.isOn(Configuration::CO_L_help);
    settings.verbose = options.isOn(Configuration::CO_L_verbose);
    settings.sim = options.isOn(s_sim);
    readNumber(options, s_chip, settings.chip);
    readNumber(options, s_instance, settings.instance);
    std::string value;
    if (options.get(value, s_host)) {
        settings.host = value;
        settings.sim = true;
    }
    if (options.get(value, s_qxtrace)) {
        settings.trace_file = value;
        settings.trace = true;
        settings.load_mode = QXAPI_LOAD_TRACE;
    }
    return settings;
}

// The single unoptioned argument left by the option set is the path.
bool takeExecutablePath(int argc, char** argv, RunSettings& settings) {
    if (argc > 2) {
        std::printf("Only one unoptioned parameter is supported: full path to the qxx executable.\n");
        return false;
    }
    if (argc <= 1) {
        std::printf("Missing argument: full path to the qxx executable.\n");
        return false;
    }
    settings.path = argv[1];
    return true;
}

void printVersion() {
    Configuration::printToolVersion(s_build_version, s_title, s_tool_version, s_notice);
}

void connect(QXAPI_handle handle, RunSettings const& settings, bool& success) {
    char const* host = settings.sim ? settings.host.c_str() : nullptr;
    int const result = QXAPI_connect(handle, host, settings.instance);
    if (result == 0) return;
    std::printf("Error: cannot connect to instance %d on host %s\n", static_cast<int>(settings.instance),
                settings.sim ? settings.host.c_str() : "PCI");
    char text[s_error_text_size] = {};
    QXAPI_get_error_string(handle, result, text, s_error_text_size);
    std::printf("       %s\n", text);
    success = false;
}

void setTrace(QXAPI_handle handle, uint32_t chip, char const* value, char const* failure, bool& success) {
    if (QXAPI_set_system_param(handle, QXAPI_PARAM_TRACE, chip, value) == 0) return;
    std::printf("%s%u\n", failure, chip);
    success = false;
}

// Connect, register, load, trace, run and wait, read the return value.
// Each step after a failure runs or is skipped as the card requires, and
// the handle is always deleted.
int32_t runOnHandle(QXAPI_handle handle, RunSettings const& settings, bool& success) {
    uint32_t const chip = settings.chip;
    connect(handle, settings, success);

    bool const registered = QXAPI_register_application(handle, chip) == 0;
    if (!registered) {
        std::printf("Cannot register application on chip %u\n", chip);
        success = false;
    }
    if (registered && success && QXAPI_load(handle, chip, settings.path.c_str()) != 0) {
        std::printf("Failed to load file %s on the processor %u\n", settings.path.c_str(), chip);
        success = false;
    }
    if (settings.trace) {
        std::string const fileParameter = "qxtracefile=" + settings.trace_file;
        setTrace(handle, chip, "enable", "Failed to enable qxtrace on processor ", success);
        setTrace(handle, chip, fileParameter.c_str(), "Failed to pass qxtrace filename to processor ",
                 success);
    }
    if (success) {
        if (QXAPI_run(handle, chip) != 0) {
            std::printf("Failed to run an application on processor %u\n", chip);
            success = false;
        } else {
            QXAPI_wait_on_terminate(handle, chip);
        }
    }
    int32_t returnValue = 0;
    QXAPI_get_return_value(handle, chip, &returnValue);
    if (settings.trace) setTrace(handle, chip, "disable", "Failed to disable qxtrace on processor ", success);
    QXAPI_delete(handle);
    return returnValue;
}

bool runOnCard(RunSettings const& settings) {
    bool success = true;
    if (settings.verbose)
        std::printf("Using local machine\nRead register map for VORN: 0\nEvent type = programloadedevent\n");
    int32_t returnValue = 0;
    QXAPI_handle handle = QXAPI_new(settings.load_mode);
    if (handle == nullptr) {
        std::printf("Failed to create user handle to the driver API.\n");
        success = false;
    } else {
        returnValue = runOnHandle(handle, settings, success);
    }
    std::printf("Return value = %d\n", returnValue);
    return success;
}

int run(int argc, char** argv) {
    makeLoaderOptions();
    std::vector<Options**> optionLists{CommandOptions::s_std_tool_command_line_args, s_loader_options};
    CommandOptions* options = CommandOptions::makeCommandOptions(argc, argv, &optionLists, s_usage_tail);
    if (options == nullptr) return 1;

    // Validates the default node's architecture configuration; a broken
    // one ends the process there.
    SDKSupport::ArchConfig::getInstance();

    RunSettings settings = readSettings(*options);
    bool success = true;
    if (!settings.help && !settings.version) success = takeExecutablePath(argc, argv, settings);

    if (settings.help) {
        std::fflush(stdout);
        options->usage();
        std::cout.flush();
    } else if (settings.version) {
        printVersion();
    } else if (success) {
        success = runOnCard(settings);
    }
    return success ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    return Programs::runTool([&] { return run(argc, argv); }, Programs::Unhandled::ExitFromStandardOutput);
}
