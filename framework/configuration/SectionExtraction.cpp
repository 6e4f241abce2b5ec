// Copies of configuration keys into stores of the caller's: a list of
// required keys, every key of a section, or everything; and the writing of
// command-line values into the configuration of the current node.
#include <unordered_set>

#include "configuration/CommandOptions.h"
#include "configuration/Properties.h"
#include "configuration/PropertiesSharing.h"

namespace Configuration {

namespace {

// Sets name to value in target, as a list when delimiter is non-empty.
void setWithDelimiter(Properties& target, std::string const& value, std::string const& name,
                      std::string const& delimiter) {
    target.set(value, name.c_str(), delimiter.empty() ? nullptr : delimiter.c_str());
}

// The delimiter one store records for name, empty when it is no list name.
std::string storeDelimiter(Properties& store, std::string const& name) {
    std::string delimiter;
    if (!store.getDelimiter(delimiter, name.c_str())) delimiter.clear();
    return delimiter;
}

}  // namespace

std::string CommandOptions::listDelimiter(std::string const& name) {
    std::string delimiter;
    if (!getDelimiter(delimiter, name.c_str())) delimiter.clear();
    return delimiter;
}

bool CommandOptions::extractProperties(std::vector<std::string>& names, Properties& target) {
    m_last_error.clear();
    for (std::string const& name : names) {
        std::string value;
        if (!get(value, name.c_str())) {
            m_last_error += "Could not find '" + name + "'";
            return false;
        }
        setWithDelimiter(target, value, name, listDelimiter(name));
    }
    return true;
}

bool CommandOptions::extractSection(std::string const& section, Properties& target) {
    std::string const prefix = section + ".";
    // The usual section (every value present, none with an environment
    // reference) shares the configuration's text; the rest goes the
    // general way below, which gives the same result or failure.
    switch (PropertiesSharing::copySection(storesByPrecedence(), prefix, target)) {
        case PropertiesSharing::SectionCopy::Copied: m_last_error.clear(); return true;
        case PropertiesSharing::SectionCopy::Empty: return false;
        case PropertiesSharing::SectionCopy::Unsure: break;
    }
    std::vector<std::string> names = collectSectionNames(prefix);
    if (names.empty()) return false;
    // Going through extractProperties gives every key the value of highest
    // precedence and fails on an empty one before target is touched.
    Properties sectionValues;
    if (!extractProperties(names, sectionValues)) return false;
    std::vector<std::string> collected;
    sectionValues.getNames(collected);
    for (std::string const& name : collected) {
        std::string value;
        sectionValues.get(value, name, false);
        setWithDelimiter(target, value, name.substr(prefix.size()), storeDelimiter(sectionValues, name));
    }
    return true;
}

std::vector<std::string> CommandOptions::collectSectionNames(std::string const& prefix) const {
    // System store first, then what the user and the command line add; each
    // store yields only its own range of names under the prefix, so a large
    // configuration is not scanned once per section.
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (Properties* store :
         {m_system_properties.get(), m_user_properties.get(), m_command_line_properties.get()}) {
        std::vector<std::string> storeNames;
        if (!store || !store->getNamesWithPrefix(prefix, storeNames)) continue;
        for (std::string& name : storeNames) {
            if (seen.insert(name).second) names.push_back(std::move(name));
        }
    }
    return names;
}

void CommandOptions::extractAllProperties(Properties& target) {
    for (Properties* store :
         {m_system_properties.get(), m_user_properties.get(), m_command_line_properties.get()}) {
        std::vector<std::string> names;
        if (!store || !store->getNames(names)) continue;
        for (std::string const& name : names) {
            std::string value;
            if (store->get(value, name, true)) setWithDelimiter(target, value, name, listDelimiter(name));
        }
    }
}

void CommandOptions::writeCommandLineIntoConfiguration() {
    if (!m_command_line_properties) return;
    std::vector<std::string> names;
    m_command_line_properties->getNames(names);
    std::string prefix;
    if (!makeSystemPrefix(prefix)) return;
    for (std::string const& name : names) {
        // Only a parameter the configuration defines for the current node is
        // replaced, and only in the highest store that defines it.
        std::string const key = prefix + name;
        std::string existing;
        Properties* definingStore = nullptr;
        if (m_user_properties && m_user_properties->get(existing, key, true)) {
            definingStore = m_user_properties.get();
        } else if (m_system_properties->get(existing, key, true)) {
            definingStore = m_system_properties.get();
        }
        if (!definingStore) continue;
        std::string value;
        m_command_line_properties->get(value, name, true);
        setWithDelimiter(*definingStore, value, key, storeDelimiter(*m_command_line_properties, name));
    }
}

}  // namespace Configuration
