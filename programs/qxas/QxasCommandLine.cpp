#include "qxas/QxasCommandLine.h"

#include <cstring>
#include <iostream>

#include "configuration/CommandOptions.h"
#include "configuration/CommonOptions.h"

namespace Qxas {

namespace {

using Configuration::CommandOptions;
using Configuration::Options;

// The options whose value names a file or an instruction.
char const* const s_value_options[][2] = {
    {"--output", "-o"},
    {"--dump", "-d"},
    {"--info", "-i"},
    {"--fovel-file", "-m"},
};

char const* const s_usage_tail =
    "\n *filename is a tev source file; several are assembled as one program, in order.";

// The value of an option, empty when it was not given.
std::string valueOf(CommandOptions& options, char const* key) {
    std::string value;
    return options.get(value, key) ? value : std::string();
}

}  // namespace

CommandOptions* QxasCommandLine::makeOptions(int& argc, char** argv) {
    std::vector<Options**> optionLists{CommandOptions::s_std_tool_command_line_args,
                                       CommandOptions::s_assembler_command_line_args};
    // qxas's standard output may carry a dump or an instruction summary:
    // the usage that comes with a refused option goes to standard error.
    CommandOptions::setRefusalUsageStream(std::cerr);
    return CommandOptions::makeCommandOptions(argc, argv, &optionLists, s_usage_tail);
}

void QxasCommandLine::printUsageWithoutOptions(char const* programName) {
    std::vector<Options**> optionLists{CommandOptions::s_std_tool_command_line_args,
                                       CommandOptions::s_assembler_command_line_args};
    CommandOptions::makeCommandOptionList(&optionLists);
    CommandOptions::printUsage(programName, false, true, true, s_usage_tail);
}

QxasSettings QxasCommandLine::readSettings(CommandOptions& options, int argc, char** argv) {
    QxasSettings settings;
    settings.help = options.isOn(Configuration::CO_L_help);
    settings.version = options.isOn(Configuration::CO_L_version);
    settings.verbose = options.isVerbose();
    settings.info = valueOf(options, Configuration::CO_L_info);
    settings.dump = valueOf(options, Configuration::CO_L_dump);
    settings.output = valueOf(options, Configuration::CO_L_output);
    options.getVector(settings.macroFiles, Configuration::CO_L_fovel_file);
    for (int index = 1; index < argc; ++index) settings.sources.emplace_back(argv[index]);
    return settings;
}

std::string QxasCommandLine::findEmptyValue(int argc, char** argv) {
    for (int index = 1; index + 1 < argc; ++index) {
        if (argv[index + 1][0] != '\0') continue;
        for (auto const& names : s_value_options)
            if (std::strcmp(argv[index], names[0]) == 0 || std::strcmp(argv[index], names[1]) == 0)
                return std::string(names[0]) + "/" + names[1];
    }
    return std::string();
}

char const* QxasCommandLine::findUnknownOption(QxasSettings const& settings) {
    for (std::string const& argument : settings.sources)
        if (argument.size() > 1 && argument[0] == '-') return argument.c_str();
    return nullptr;
}

}  // namespace Qxas
