// qxsim: the simulator server of the kit. Serves tev processors to clients
// over TCP (docs/qxsim-protocol.md); each connection gets a processor of
// its own with the dimensions of the default node's configuration.
//
// Standard output carries the usage, the version banner and the line
// "qxsim: listening on ADDRESS:PORT" once the server accepts clients,
// followed by "qxsim: health checks on ADDRESS:PORT" with --health-port;
// the log (one line per connection and per run) goes to standard error.
//
// SIGTERM and SIGINT stop the server at once; SIGQUIT drains it (see
// SimServer::Server::drain).
//
// Exit status: 0 after help, version, a shutdown by SIGTERM or SIGINT and
// the end of a drain; 1 for a bad option or value (the option set may end
// the process itself with 1); 2 when the server cannot listen.
#include "HelpWithoutConfiguration.h"
#include "ToolMain.h"
#include "configuration/BuildVersion.h"
#include "configuration/CommandOptions.h"
#include "configuration/CommonOptions.h"
#include "isa/NodeDimensions.h"
#include "qx/Version.h"
#include "qxsim/ServerOptions.h"
#include "sdksupport/ArchConfig.h"
#include "server/Server.h"
#include "systemdefinition/Node.h"
#include "systemdefinition/System.h"

#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>

namespace {

using Configuration::CommandOptions;

// No build date or time: the same sources build the same binary.
char const* const s_build_version = QX_VERSION " on linux_x86_64";
char const* const s_title = "qxsim Orvalis simulator server";
char const* const s_tool_version = QX_VERSION;
char const* const s_notice =
    "qxsim is part of the Orvalis accelerator software kit.\n"
    "It runs qxx executables on simulated processors for clients on the network.\n"
    "Report problems to your Orvalis support contact.\n";

int s_stop_fd = -1;
int s_drain_fd = -1;

void wake(int fd) {
    char const byte = 1;
    ssize_t const written = ::write(fd, &byte, 1);
    (void)written;
}

extern "C" void onStopSignal(int) {
    wake(s_stop_fd);
}

extern "C" void onDrainSignal(int) {
    wake(s_drain_fd);
}

void handle(int number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(number, &action, nullptr);
}

void installSignalHandlers(SimServer::Server const& server) {
    s_stop_fd = server.stopFd();
    s_drain_fd = server.drainFd();
    handle(SIGTERM, onStopSignal);
    handle(SIGINT, onStopSignal);
    handle(SIGQUIT, onDrainSignal);
    std::signal(SIGPIPE, SIG_IGN);
}

void printVersion() {
    Configuration::printToolVersion(s_build_version, s_title, s_tool_version, s_notice);
}

int serve(SimServer::ServerSettings const& settings) {
    SimServer::ServerLog log;
    SimServer::Server server(settings, log);
    std::string error;
    if (!server.listen(error)) {
        std::fprintf(stderr, "qxsim: %s\n", error.c_str());
        return 2;
    }
    installSignalHandlers(server);
    std::printf("qxsim: listening on %s\n", server.address().c_str());
    if (server.healthChecks()) std::printf("qxsim: health checks on %s\n", server.healthAddress().c_str());
    std::fflush(stdout);
    server.serve();
    return 0;
}

int run(int argc, char** argv) {
    std::vector<Configuration::Options**> lists{CommandOptions::s_std_tool_command_line_args,
                                                SimServer::serverOptionTable()};
    switch (Programs::selfDescriptionWithoutConfiguration(argc, argv)) {
        case Programs::SelfDescription::Help:
            CommandOptions::makeCommandOptionList(&lists);
            std::fflush(stdout);
            CommandOptions::printUsage(argv[0], false, true, false, nullptr);
            std::cout.flush();
            return 0;
        case Programs::SelfDescription::Version: printVersion(); return 0;
        case Programs::SelfDescription::None: break;
    }
    CommandOptions* options = CommandOptions::makeCommandOptions(argc, argv, &lists, nullptr);
    if (options == nullptr) return 1;
    options->usageLineFormat(false, true, false);
    // Checks the default node's architecture configuration; a broken one
    // ends the process there.
    SDKSupport::ArchConfig::getInstance();

    if (options->isOn(Configuration::CO_L_help)) {
        std::fflush(stdout);
        options->usage();
        std::cout.flush();
        return 0;
    }
    if (options->isOn(Configuration::CO_L_version)) {
        printVersion();
        return 0;
    }
    if (argc > 1) {
        std::fprintf(stderr, "qxsim: unexpected argument: %s\nUse -h for a list of available options.\n",
                     argv[1]);
        return 1;
    }
    SimServer::ServerSettings settings;
    std::string error;
    if (!SimServer::readServerSettings(*options, settings, error)) {
        std::fprintf(stderr, "qxsim: %s\n", error.c_str());
        return 1;
    }
    Configuration::Properties& node =
        SystemDefinition::System::getInstance()->getNode()->getArchConfigProperties();
    if (!Simulator::readNodeDimensions(node, settings.processor, error) ||
        !settings.processor.validate(error)) {
        std::fprintf(stderr, "qxsim: the default node cannot be simulated: %s\n", error.c_str());
        return 1;
    }
    return serve(settings);
}

}  // namespace

int main(int argc, char** argv) {
    return Programs::runTool([&] { return run(argc, argv); }, Programs::Unhandled::ExitFromStandardOutput);
}
