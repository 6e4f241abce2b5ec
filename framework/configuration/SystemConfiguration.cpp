// Finding and reading the system and user configuration files, and the
// system prefix "system.<chip>.<node>." of the current chip and node.
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "configuration/CommandOptions.h"
#include "configuration/Properties.h"
#include "generic/LocateFile.h"

namespace Configuration {

char const* const CommandOptions::s_config_file_name = "target_device.cfg";
char const* const CommandOptions::s_home_dir_name = "HOME";

namespace {

char const* const k_system_path_variable = "QXPATH";
char const* const k_config_extension = ".cfg";
int const k_path_buffer_size = 2046;

// The pieces of a comma-separated list, empty pieces skipped, none trimmed.
std::vector<std::string> splitList(std::string const& list) {
    std::vector<std::string> pieces;
    std::string::size_type start = 0;
    while (start <= list.size()) {
        std::string::size_type end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) pieces.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

}  // namespace

void CommandOptions::readConfigurationFiles(char const* configFileName) {
    if (configFileName && *configFileName) {
        // A configuration named on the command line stands alone: no user
        // file is layered over it.
        m_config_file_name = configFileName;
    } else {
        std::unique_ptr<char[]> systemFileName(getConfigFileName(k_system_path_variable));
        m_user_config_file_name.reset(getConfigFileName(s_home_dir_name));
        if (!systemFileName) exitWithConfigFileFailure("No system config filename found.");
        m_config_file_name = systemFileName.get();
    }
    m_system_properties = std::make_unique<Properties>(m_config_file_name.c_str());
    if (!m_system_properties->isReady()) {
        std::string message;
        m_system_properties->getLastErrorMessage(message);
        exitWithConfigFileFailure("System properties not ready: '" + message + "'");
    }
    if (m_user_config_file_name) {
        // A user file that cannot be read is ignored; the system file suffices.
        auto user = std::make_unique<Properties>(m_user_config_file_name.get());
        if (user->isReady()) m_user_properties = std::move(user);
    }
}

void CommandOptions::exitWithConfigFileFailure(std::string const& reason) {
    usageConfigFile(reason.c_str());
    std::exit(1);
}

char* CommandOptions::getConfigFileName(char const* environmentVariable) {
    char path[k_path_buffer_size];
    int pathLength = 0;
    bool valid = Generic::locateFile(path, k_path_buffer_size, s_config_file_name,
                                     static_cast<int>(std::strlen(s_config_file_name)), nullptr,
                                     environmentVariable, k_config_extension, &pathLength);
    if (!valid || pathLength == 0) return nullptr;
    char* copy = new char[std::strlen(path) + 1];
    std::strcpy(copy, path);
    return copy;
}

void CommandOptions::usageConfigFile(char const* reason) {
    std::cerr << "Fatal Error: Could not load the system configuration file.\n";
    if (!m_config_file_name.empty()) std::cerr << "\t'" << m_config_file_name << "'\n";
    if (reason) std::cerr << "\t" << reason << "\n";
    std::cerr.flush();
    std::cout << "The config file: '" << s_config_file_name << "' must be present in the QXPATH\n"
              << "Or the --useconfig <config file> option must be used\n";
    std::cout.flush();
}

bool CommandOptions::makeSystemPrefix(std::string& prefix) {
    prefix = "system.";
    std::string chip;
    if (!getPrefixPart(prefix, "chip", chip)) return false;
    prefix += chip + ".";
    std::string node;
    if (!getPrefixPart(prefix, "node", node)) return false;
    prefix += node + ".";
    return true;
}

bool CommandOptions::getPrefixPart(std::string const& prefix, std::string part, std::string& result) {
    std::string const currentKey = part + "-id";
    std::string current;
    if (!get(current, currentKey.c_str())) {
        std::cerr << "Could not find the current " << currentKey << " value\n";
        return false;
    }
    std::string const idsKey = prefix + part + "-ids";
    std::string ids;
    if (!get(ids, idsKey.c_str())) {
        std::cerr << "Could not find the current " << idsKey << " value\n";
        return false;
    }
    int index = getIndex(ids, current);
    if (index < 0) {
        std::cerr << "Could not find the current " << idsKey << " value for " << current << "\n";
        return false;
    }
    std::string const namesKey = prefix + part + "s";
    std::string names;
    if (!get(names, namesKey.c_str())) {
        std::cerr << "Could not find the current " << namesKey << " value for " << current << "\n";
        return false;
    }
    result = getIndexedValue(names, index);
    return true;
}

int CommandOptions::getIndex(std::string& list, std::string& item) {
    std::vector<std::string> const pieces = splitList(list);
    for (int i = static_cast<int>(pieces.size()) - 1; i >= 0; --i) {
        if (pieces[i] == item) return i;
    }
    return -1;
}

std::string CommandOptions::getIndexedValue(std::string& list, int index) {
    std::vector<std::string> const pieces = splitList(list);
    if (index < 0 || index >= static_cast<int>(pieces.size())) return std::string();
    return pieces[index];
}

bool CommandOptions::getWithSystemPrefix(std::string& value, char const* key) {
    if (!key || !*key) return false;
    std::string prefix;
    if (!makeSystemPrefix(prefix)) return false;
    return get(value, (prefix + key).c_str());
}

}  // namespace Configuration
