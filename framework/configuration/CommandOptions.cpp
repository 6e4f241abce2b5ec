// The option set: its creation, the construction sequence, lookups in
// precedence order, writing, the scan of the command line into the
// command-line store, and the usage text.
#include "configuration/CommandOptions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "configuration/Options.h"
#include "configuration/Properties.h"

namespace Configuration {

CommandOptions* the_command_options = nullptr;
Options** CommandOptions::s_command_line_args = nullptr;

namespace {

char const* const k_useconfig = "useconfig";
char const* const k_switch_on = "on";
char const* const k_list_delimiter = ",";
char const* const k_command_line_source = "the command line";

// printf and stream output of a text the caller may not have.
char const* orEmpty(char const* text) {
    return text ? text : "";
}

std::ostream* s_refusal_usage_stream = &std::cout;

void printUsageLine(std::ostream& out, char const* programName, bool showUseconfig, bool showOptions,
                    bool showFilenames, char const* usageTail) {
    out << "\nUsage: " << orEmpty(programName);
    if (showUseconfig) out << " [--useconfig <config file name>]";
    if (showOptions) out << " [option]*";
    if (showFilenames) out << " [filename]*";
    if (usageTail) out << " " << usageTail;
    out << "\n\nWhere one or more of the following options may be given:\n\n";
}

void printOptionTable(std::ostream& out, Options** options) {
    int longNameWidth = 0;
    int validValuesWidth = 0;
    for (Options** option = options; option && *option; ++option) {
        int longNameLength = static_cast<int>(std::strlen(orEmpty((*option)->getLongName())));
        longNameWidth = std::max(longNameWidth, longNameLength);
        validValuesWidth = std::max(validValuesWidth, static_cast<int>((*option)->getValidValuesLength()));
    }
    std::string line;
    for (Options** option = options; option && *option; ++option) {
        (*option)->getUsageString(line, longNameWidth, validValuesWidth);
        out << line << "\n";
    }
    out.flush();
}

int countOptions(Options** options) {
    int count = 0;
    while (options && options[count]) ++count;
    return count;
}

}  // namespace

bool CommandOptions::makeCommandOptionList(std::vector<Options**>* optionLists) {
    int count = 0;
    if (optionLists) {
        for (Options** options : *optionLists) count += countOptions(options);
    }
    if (count < 1) return false;
    // Shared by the scanner and the usage text for the rest of the process.
    Options** merged = new Options*[count + 1];
    int next = 0;
    for (Options** options : *optionLists) {
        for (int i = 0; options && options[i]; ++i) merged[next++] = options[i];
    }
    merged[next] = nullptr;
    s_command_line_args = merged;
    return true;
}

CommandOptions* CommandOptions::makeCommandOptions(int& argc, char** argv,
                                                   std::vector<Options**>* optionLists,
                                                   char const* usageTail) {
    // "--useconfig" is taken off the command line before anything else, so
    // that the configuration it names is read before the tool's own options
    // are scanned.
    Options useconfig(k_useconfig, 0, nullptr, 1, nullptr);
    Options* onlyUseconfig[] = {&useconfig, nullptr};
    Options::processCommandLineArgs(argc, argv, onlyUseconfig);

    if (optionLists) makeCommandOptionList(optionLists);

    if (useconfig.isFound() && useconfig.hasError()) {
        std::cout << "Found the --useconfig option, but: " << orEmpty(useconfig.getError()) << "\n";
        return the_command_options;
    }
    char const* configFileName = useconfig.isFound() ? useconfig.getValue() : nullptr;
    // A second call replaces the instance; nothing in the kit makes two.
    delete the_command_options;
    the_command_options = nullptr;
    the_command_options = new CommandOptions(argc, argv, configFileName, usageTail);
    return the_command_options;
}

CommandOptions* CommandOptions::getCommandOptions() {
    if (!the_command_options) {
        int argc = 0;
        the_command_options = new CommandOptions(argc, nullptr, nullptr, nullptr);
    }
    return the_command_options;
}

CommandOptions::CommandOptions(int& argc, char** argv, char const* configFileName, char const* usageTail)
    : m_usage_tail(usageTail) {
    readConfigurationFiles(configFileName);
    if (argc > 0 && argv) m_program_name = argv[0];
    if (argc > 1 && !setupCommandLine(argc, argv)) exitWithUsage();
    if (!checkForValidValues(m_config_file_name.c_str(), m_system_properties.get()) ||
        !checkForValidValues(m_user_config_file_name.c_str(), m_user_properties.get()) ||
        !checkForValidValues(k_command_line_source, m_command_line_properties.get())) {
        exitWithUsage();
    }
    writeCommandLineIntoConfiguration();
}

CommandOptions::~CommandOptions() = default;

void CommandOptions::exitWithUsage() {
    std::cout.flush();
    std::fflush(stdout);
    printUsageLine(*s_refusal_usage_stream, m_program_name, m_show_useconfig, m_show_options,
                   m_show_filenames, m_usage_tail);
    printOptionTable(*s_refusal_usage_stream, s_command_line_args);
    std::exit(1);
}

std::array<Properties*, 3> CommandOptions::storesByPrecedence() const {
    return {m_command_line_properties.get(), m_user_properties.get(), m_system_properties.get()};
}

bool CommandOptions::get(std::string& value, char const* key) {
    if (!key) return false;
    for (Properties* store : storesByPrecedence()) {
        if (store && store->get(value, key, true) && !value.empty()) return true;
    }
    return false;
}

bool CommandOptions::getDelimiter(std::string& delimiter, char const* key) {
    if (!key) return false;
    for (Properties* store : storesByPrecedence()) {
        if (store && store->getDelimiter(delimiter, key) && !delimiter.empty()) return true;
    }
    return false;
}

bool CommandOptions::getVector(std::vector<std::string>& values, char const* key) {
    if (!key) return false;
    for (Properties* store : storesByPrecedence()) {
        if (store && store->getStringVector(values, key) && !values.empty()) return true;
    }
    return false;
}

bool CommandOptions::isOn(char const* key) {
    std::string value;
    return get(value, key);
}

bool CommandOptions::isVerbose() {
    return isOn(CO_L_verbose);
}
bool CommandOptions::isDebugOn() {
    return isOn(CO_L_gdwarf_2);
}
bool CommandOptions::isNoStdIncPathOn() {
    return isOn(CO_L_nostdincpath);
}
bool CommandOptions::isNoStdLibsOn() {
    return isOn(CO_L_nostdlibs);
}
bool CommandOptions::isNoStdLibPathOn() {
    return isOn(CO_L_nostdlibpath);
}
bool CommandOptions::getVersion(std::string& value) {
    return get(value, CO_L_version);
}
bool CommandOptions::getOutput(std::string& value) {
    return get(value, CO_L_output);
}

bool CommandOptions::getIncludePath(std::vector<std::string>& paths) {
    if (!isNoStdIncPathOn()) getVector(paths, CO_L_stdincpath);
    return getVector(paths, CO_L_userincpath);
}

bool CommandOptions::getLibraries(std::vector<std::string>& libraries) {
    if (!isNoStdLibsOn()) getVector(libraries, CO_L_stdlibrary);
    return getVector(libraries, CO_L_library);
}

bool CommandOptions::getLibraryPath(std::vector<std::string>& paths) {
    bool found = getVector(paths, CO_L_library_path);
    if (!isNoStdLibPathOn()) found = getVector(paths, CO_L_stdlibpath);
    // Callers join directory and file name without a separator of their own.
    for (std::string& path : paths) {
        if (path.empty() || path.back() != '/') path += '/';
    }
    return found;
}

bool CommandOptions::set(std::string const& value, char const* key) {
    if (!key) return false;
    for (Properties* store : storesByPrecedence()) {
        if (store && store->set(value, key, nullptr)) return true;
    }
    return false;
}

bool CommandOptions::setVector(std::vector<std::string> const& values, char const* key) {
    if (!key) return false;
    std::string joined;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) joined += k_list_delimiter;
        joined += values[i];
    }
    for (Properties* store : storesByPrecedence()) {
        if (store && store->set(joined, key, k_list_delimiter)) return true;
    }
    return false;
}

char const* CommandOptions::getProgramName() {
    return m_program_name;
}

std::string& CommandOptions::getLastError() {
    return m_last_error;
}

bool CommandOptions::setupCommandLine(int& argc, char** argv) {
    if (Options::processCommandLineArgs(argc, argv, s_command_line_args) == 0) return true;
    m_command_line_properties = std::make_unique<Properties>();
    bool valid = true;
    for (Options** option = s_command_line_args; option && *option; ++option) {
        if ((*option)->isFound() && !storeFoundOption(**option)) valid = false;
    }
    return valid;
}

bool CommandOptions::storeFoundOption(Options& option) {
    if (option.hasError()) {
        std::cerr << "Error: " << option.getName() << " " << orEmpty(option.getError()) << "\n";
        return false;
    }
    if (!option.hasValue()) {
        m_command_line_properties->set(k_switch_on, option.getLongName(), nullptr);
    } else {
        // Repeated values were joined with commas; the delimiter lets them
        // read back as a list.
        char const* delimiter = option.isAppendable() ? k_list_delimiter : nullptr;
        m_command_line_properties->set(option.getValue(), option.getLongName(), delimiter);
    }
    return true;
}

void CommandOptions::usageLineFormat(bool showUseconfig, bool showOptions, bool showFilenames) {
    m_show_useconfig = showUseconfig;
    m_show_options = showOptions;
    m_show_filenames = showFilenames;
}

void CommandOptions::usage() {
    printUsage(m_program_name, m_show_useconfig, m_show_options, m_show_filenames, m_usage_tail);
}

void CommandOptions::printUsage(char const* programName, bool showUseconfig, bool showOptions,
                                bool showFilenames, char const* usageTail) {
    printUsageLine(std::cout, programName, showUseconfig, showOptions, showFilenames, usageTail);
    printOptionTable(std::cout, s_command_line_args);
}

void CommandOptions::setRefusalUsageStream(std::ostream& stream) {
    s_refusal_usage_stream = &stream;
}

void print_usage(char const* programName, bool showUseconfig, bool showOptions, bool showFilenames,
                 char const* usageTail) {
    printUsageLine(std::cout, programName, showUseconfig, showOptions, showFilenames, usageTail);
}

void CommandOptions::invalid_option_exit(char const* option) {
    std::cout.flush();
    std::printf(CO_USAGE_bad_option_exiting, orEmpty(m_program_name), orEmpty(option));
    std::fflush(stdout);
}

void CommandOptions::invalid_option_ignore(char const* option) {
    std::cout.flush();
    std::printf(CO_USAGE_bad_option_ignoring, orEmpty(m_program_name), orEmpty(option));
    std::fflush(stdout);
}

void CommandOptions::no_input_files() {
    std::cout.flush();
    std::printf(CO_USAGE_no_input_files, orEmpty(m_program_name));
    std::fflush(stdout);
}

}  // namespace Configuration
