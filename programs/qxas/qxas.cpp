// qxas: the kit's assembler. Assembles tev source files into one qxx
// executable for the default node of the system configuration, writes a
// qxx executable back as source text (--dump) and describes instructions
// (--info).
//
// Source errors go to standard error as "file:line: message", all of them;
// qxas's other errors as "qxas: " and the message. The usage text, the
// version banner, the descriptions, dumps and --verbose lines go to
// standard output, as do the option set's own advice lines.
//
// Exit status:
//   0    success, and after --help and --version
//   1    usage: a malformed or unknown option, no input, several actions at
//        once, an unknown instruction for --info, an output that would
//        overwrite an input, an empty file name or mnemonic, a default node whose instruction set is not
//        tev, no readable system configuration, or an unexpected internal
//        error ("CRITICAL ERROR, unhandled exception caught. Exiting.")
//   2    the sources have errors; no output file is written
//   3    a file could not be read or written, or --dump was given a file
//        that is no valid qxx executable; no partial output file is left
//   255  the system model or the default node's architecture
//        configuration is broken
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "HelpWithoutConfiguration.h"
#include "ToolMain.h"
#include "configuration/BuildVersion.h"
#include "configuration/CommandOptions.h"
#include "configuration/CommonOptions.h"
#include "generic/Exception.h"
#include "qx/Version.h"
#include "qxas/ExitStatus.h"
#include "qxas/QxasActions.h"
#include "qxas/QxasCommandLine.h"
#include "qxas/TargetOptions.h"
#include "sdksupport/ArchConfig.h"

namespace {

using Configuration::CommandOptions;
using Qxas::QxasSettings;

char const* const s_build_version = "1.198.3.1 beta at Wed Feb 28 17:47:09 GMT 2007 on linux_x86_64";
char const* const s_title = "qxas Orvalis assembler";
char const* const s_tool_version = QX_VERSION;
char const* const s_notice =
    "qxas is part of the Orvalis accelerator software kit.\n"
    "It assembles tev source files into qxx executables.\n"
    "Report problems to your Orvalis support contact.\n";

void printUsage(CommandOptions& options) {
    std::fflush(stdout);
    options.usage();
    std::cout.flush();
}

void printVersion() {
    Configuration::printToolVersion(s_build_version, s_title, s_tool_version, s_notice);
}

// Sources, --info and --dump each ask for a different run.
int countActions(QxasSettings const& settings) {
    return int(!settings.sources.empty()) + int(!settings.info.empty()) + int(!settings.dump.empty());
}

int assembleForNode(QxasSettings const& settings, Simulator::ProcessorConfig const& target) {
    Assembler::AssemblerOptions assemblerOptions;
    std::string error;
    if (!Qxas::targetAssemblerOptions(target, assemblerOptions, error)) {
        std::fprintf(stderr, "qxas: %s\n", error.c_str());
        return Qxas::STATUS_USAGE;
    }
    if (settings.verbose) std::printf("qxas: %s\n", Qxas::describeTarget(assemblerOptions).c_str());
    return Qxas::assembleProgram(settings, assemblerOptions);
}

int dispatch(QxasSettings const& settings, CommandOptions& options,
             Simulator::ProcessorConfig const& target) {
    if (settings.help) {
        printUsage(options);
        return Qxas::STATUS_OK;
    }
    if (settings.version) {
        printVersion();
        return Qxas::STATUS_OK;
    }
    if (char const* unknown = Qxas::QxasCommandLine::findUnknownOption(settings)) {
        std::fprintf(stderr, Configuration::CO_USAGE_bad_option_exiting, options.getProgramName(), unknown);
        return Qxas::STATUS_USAGE;
    }
    if (!settings.emptyValue.empty()) {
        std::fprintf(stderr, "qxas: the value of %s is empty\n", settings.emptyValue.c_str());
        return Qxas::STATUS_USAGE;
    }
    if (countActions(settings) == 0) {
        std::fprintf(stderr, Configuration::CO_USAGE_no_input_files, options.getProgramName());
        return Qxas::STATUS_USAGE;
    }
    if (countActions(settings) > 1) {
        std::fprintf(stderr, "qxas: give source files, --info or --dump, only one of them\n");
        return Qxas::STATUS_USAGE;
    }
    if (!settings.info.empty()) return Qxas::describeInstruction(settings.info);
    if (!settings.dump.empty()) return Qxas::dumpProgram(settings, Qxas::targetRegisterCounts(target));
    return assembleForNode(settings, target);
}

int run(int argc, char** argv) {
    switch (Programs::selfDescriptionWithoutConfiguration(argc, argv)) {
        case Programs::SelfDescription::Help:
            std::fflush(stdout);
            Qxas::QxasCommandLine::printUsageWithoutOptions(argv[0]);
            std::cout.flush();
            return Qxas::STATUS_OK;
        case Programs::SelfDescription::Version: printVersion(); return Qxas::STATUS_OK;
        case Programs::SelfDescription::None: break;
    }
    std::string const emptyValue = Qxas::QxasCommandLine::findEmptyValue(argc, argv);
    CommandOptions* options = Qxas::QxasCommandLine::makeOptions(argc, argv);
    if (options == nullptr) return Qxas::STATUS_USAGE;
    // Validates the default node's architecture configuration; a broken
    // one ends the process there with status 255.
    SDKSupport::ArchConfig::getInstance();
    Simulator::ProcessorConfig target;
    std::string error;
    if (!Qxas::readTarget(target, error)) {
        std::fprintf(stderr, "qxas: %s\n", error.c_str());
        return Qxas::STATUS_USAGE;
    }
    QxasSettings settings = Qxas::QxasCommandLine::readSettings(*options, argc, argv);
    settings.emptyValue = emptyValue;
    return dispatch(settings, *options, target);
}

}  // namespace

int main(int argc, char** argv) {
    return Programs::runTool(
        [&] {
            try {
                return run(argc, argv);
            } catch (Generic::Exception* exception) {
                // The system model throws while it is first built, e.g. for
                // a configuration without a system.chips list.
                std::unique_ptr<Generic::Exception> const owned(exception);
                std::fflush(stdout);
                std::fprintf(stderr, "ERROR: %s\n", owned->toString().c_str());
                return static_cast<int>(Qxas::STATUS_BROKEN_CONFIGURATION);
            }
        },
        Programs::Unhandled::ReturnFromStandardError, Qxas::STATUS_USAGE);
}
