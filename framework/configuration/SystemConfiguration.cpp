// Finding and reading the system and user configuration files, and the
// system prefix "system.<chip>.<node>." of the current chip and node.
#include <array>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "configuration/CommandOptions.h"
#include "configuration/Properties.h"
#include "configuration/PropertiesSelection.h"
#include "configuration/SystemConfiguration.h"
#include "generic/LocateFile.h"

namespace Configuration {

char const* const CommandOptions::s_config_file_name = k_config_file_name;
char const* const CommandOptions::s_home_dir_name = "HOME";

namespace {

char const* const k_system_path_variable = "QXPATH";
char const* const k_config_extension = ".cfg";

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

std::string locateConfigFile(char const* environmentVariable) {
    char path[k_config_path_buffer_size];
    int pathLength = 0;
    bool valid = Generic::locateFile(path, k_config_path_buffer_size, k_config_file_name,
                                     static_cast<int>(std::strlen(k_config_file_name)), nullptr,
                                     environmentVariable, k_config_extension, &pathLength);
    if (!valid || pathLength == 0) return std::string();
    return path;
}

Properties ConfigurationFiles::merged() const {
    Properties result;
    if (system) result = *system;
    if (!user) return result;
    std::vector<std::string> names;
    if (!user->getNames(names)) return result;
    for (std::string const& name : names) {
        std::string value;
        if (!user->get(value, name, false) || value.empty()) continue;
        std::string delimiter;
        bool const isList = user->getDelimiter(delimiter, name.c_str());
        result.set(value, name.c_str(), isList ? delimiter.c_str() : nullptr);
    }
    return result;
}

namespace {

// The system file along QXPATH and the user's file in HOME; both are
// looked up before the system file's absence is reported.
bool locateSystemAndUserFiles(ConfigurationFiles& files, std::string& error) {
    files.system_file = locateConfigFile(k_system_path_variable);
    files.user_file = locateConfigFile(CommandOptions::s_home_dir_name);
    if (!files.system_file.empty()) return true;
    files.user_file.clear();
    error = "No system config filename found.";
    return false;
}

}  // namespace

bool loadConfigurationFiles(char const* namedFile, ConfigurationFiles& files, std::string& error) {
    files = ConfigurationFiles();
    if (namedFile && *namedFile) {
        // A configuration named by the caller stands alone: no user file is
        // layered over it.
        files.system_file = namedFile;
    } else if (!locateSystemAndUserFiles(files, error)) {
        return false;
    }
    files.system = std::make_unique<Properties>(files.system_file.c_str());
    if (!files.system->isReady()) {
        files.system->getLastErrorMessage(error);
        files.user_file.clear();
        return false;
    }
    if (!files.user_file.empty()) {
        // A user file that cannot be read is ignored; the system file suffices.
        auto user = std::make_unique<Properties>(files.user_file.c_str());
        if (user->isReady())
            files.user = std::move(user);
        else
            files.user_file.clear();
    }
    return true;
}

namespace {

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Adds keys of the system file, and of the user file while it reads, to
// the stores through add(store, fileName, which file: 0 system, 1 user);
// false when the system file fails.
template <class Add>
bool addToStores(ConfigurationFiles& files, Add const& add, std::string& error) {
    if (!add(*files.system, files.system_file.c_str(), 0)) {
        files.system->getLastErrorMessage(error);
        return false;
    }
    if (files.user && !add(*files.user, files.user_file.c_str(), 1)) {
        // A user file that cannot be read is ignored; the system file suffices.
        files.user.reset();
        files.user_file.clear();
    }
    return true;
}

}  // namespace

bool isSystemPrefixKey(std::string_view key) {
    // Each of these keys ends in "s" or in "d": the last character turns
    // down most keys of a configuration.
    if (key.empty() || (key.back() != 's' && key.back() != 'd')) return false;
    if (key == "chip-id" || key == "node-id") return true;
    if (key == "system.chip-ids" || key == "system.chips") return true;
    return key.compare(0, 7, "system.") == 0 && (endsWith(key, ".node-ids") || endsWith(key, ".nodes"));
}

bool loadCurrentNodeConfiguration(ConfigurationFiles& files, std::string& error) {
    files = ConfigurationFiles();
    if (!locateSystemAndUserFiles(files, error)) return false;
    files.system = std::make_unique<Properties>();
    if (!files.user_file.empty()) files.user = std::make_unique<Properties>();
    // The first reading notes where each node's keys lie, so that the
    // second reads only the lines of the current node.
    std::array<PropertiesSelection::SectionPlaces, 2> places;
    auto const addPrefixKeys = [&places](Properties& store, char const* fileName, std::size_t which) {
        return PropertiesSelection::addFromFile(store, fileName, isSystemPrefixKey, places[which]);
    };
    if (!addToStores(files, addPrefixKeys, error)) {
        files.user_file.clear();
        return false;
    }
    Properties merged = files.merged();
    std::string prefix;
    std::string prefixError;
    KeyLookup const lookup = [&merged](std::string& value, char const* key) {
        return merged.get(value, key, true) && !value.empty();
    };
    if (!systemPrefix(lookup, prefix, prefixError)) return true;
    auto const addSection = [&places, &prefix](Properties& store, char const* fileName, std::size_t which) {
        return PropertiesSelection::addSectionFromFile(store, fileName, prefix, places[which]);
    };
    return addToStores(files, addSection, error);
}

int listIndex(std::string const& list, std::string const& item) {
    std::vector<std::string> const pieces = splitList(list);
    for (int i = static_cast<int>(pieces.size()) - 1; i >= 0; --i) {
        if (pieces[i] == item) return i;
    }
    return -1;
}

std::string listItem(std::string const& list, int index) {
    std::vector<std::string> const pieces = splitList(list);
    if (index < 0 || index >= static_cast<int>(pieces.size())) return std::string();
    return pieces[index];
}

bool systemPrefixPart(KeyLookup const& lookup, std::string const& prefix, std::string const& part,
                      std::string& result, std::string& error) {
    std::string const currentKey = part + "-id";
    std::string current;
    if (!lookup(current, currentKey.c_str())) {
        error = "Could not find the current " + currentKey + " value";
        return false;
    }
    std::string const idsKey = prefix + part + "-ids";
    std::string ids;
    if (!lookup(ids, idsKey.c_str())) {
        error = "Could not find the current " + idsKey + " value";
        return false;
    }
    int const index = listIndex(ids, current);
    if (index < 0) {
        error = "Could not find the current " + idsKey + " value for " + current;
        return false;
    }
    std::string const namesKey = prefix + part + "s";
    std::string names;
    if (!lookup(names, namesKey.c_str())) {
        error = "Could not find the current " + namesKey + " value for " + current;
        return false;
    }
    result = listItem(names, index);
    return true;
}

bool systemPrefix(KeyLookup const& lookup, std::string& prefix, std::string& error) {
    prefix = "system.";
    std::string chip;
    if (!systemPrefixPart(lookup, prefix, "chip", chip, error)) return false;
    prefix += chip + ".";
    std::string node;
    if (!systemPrefixPart(lookup, prefix, "node", node, error)) return false;
    prefix += node + ".";
    return true;
}

void CommandOptions::readConfigurationFiles(char const* configFileName) {
    ConfigurationFiles files;
    std::string error;
    bool const loaded = loadConfigurationFiles(configFileName, files, error);
    m_config_file_name = files.system_file;
    if (!loaded) {
        if (files.system_file.empty()) exitWithConfigFileFailure(error);
        exitWithConfigFileFailure("System properties not ready: '" + error + "'");
    }
    m_system_properties = std::move(files.system);
    m_user_properties = std::move(files.user);
    m_user_config_file_name = files.user_file;
}

void CommandOptions::exitWithConfigFileFailure(std::string const& reason) {
    usageConfigFile(reason.c_str());
    std::exit(1);
}

char* CommandOptions::getConfigFileName(char const* environmentVariable) {
    std::string const path = locateConfigFile(environmentVariable);
    if (path.empty()) return nullptr;
    char* copy = new char[path.size() + 1];
    std::strcpy(copy, path.c_str());
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
    std::string error;
    if (systemPrefix(lookup(), prefix, error)) return true;
    std::cerr << error << "\n";
    return false;
}

bool CommandOptions::getPrefixPart(std::string const& prefix, std::string part, std::string& result) {
    std::string error;
    if (systemPrefixPart(lookup(), prefix, part, result, error)) return true;
    std::cerr << error << "\n";
    return false;
}

int CommandOptions::getIndex(std::string& list, std::string& item) {
    return listIndex(list, item);
}

std::string CommandOptions::getIndexedValue(std::string& list, int index) {
    return listItem(list, index);
}

KeyLookup CommandOptions::lookup() {
    return [this](std::string& value, char const* key) { return get(value, key); };
}

bool CommandOptions::getWithSystemPrefix(std::string& value, char const* key) {
    if (!key || !*key) return false;
    std::string prefix;
    if (!makeSystemPrefix(prefix)) return false;
    return get(value, (prefix + key).c_str());
}

}  // namespace Configuration
