// Checks of configuration values: option values against their valid
// values, a tool's store against the cmp.eq and cmp.ge rules of the
// configuration, and a store against the option set's values.
#include <iostream>

#include "configuration/BuildVersion.h"
#include "configuration/CommandOptions.h"
#include "configuration/Options.h"
#include "configuration/Properties.h"

namespace Configuration {

namespace {

char const* const k_equality_rules = "cmp.eq";
char const* const k_at_least_rules = "cmp.ge";

// The values of option's long name in store that must be valid: the
// trimmed text, or for a repeatable option the elements of its list.
std::vector<std::string> valuesToCheck(Options& option, Properties& store) {
    std::vector<std::string> values;
    if (option.isAppendable()) {
        store.getStringVector(values, option.getLongName());
    } else {
        std::string value;
        store.get(value, option.getLongName(), true);
        values.push_back(value);
    }
    return values;
}

void reportInvalidValue(Options& option, char const* source, std::string const& value) {
    std::cerr << "The option: " << option.getName() << " specified in " << (source ? source : "")
              << " does not recognise the argument '" << value << "'\n"
              << "Valid values are:\n";
    Options::iterator begin;
    Options::iterator end = option.getValidValues(begin);
    for (Options::iterator valid = begin; valid != end; ++valid) std::cerr << "  " << *valid << "\n";
    std::cerr.flush();
}

// The names of the rules of one group ("cmp.eq" or "cmp.ge"), in name order.
std::vector<std::string> ruleNames(Properties& configuration, char const* group) {
    Properties rules;
    configuration.get(rules, group);
    std::vector<std::string> names;
    rules.getNames(names);
    return names;
}

std::string orEmpty(char const* text) {
    return text ? text : "";
}

void reportUnverifiable(std::string const& name, char const* why) {
    std::cout << "\nERROR verifying properties. Property " << name << why << "\n";
    std::cout.flush();
}

}  // namespace

bool CommandOptions::checkForValidValues(char const* source, Properties* store) {
    if (!store || !s_command_line_args) return true;
    bool valid = true;
    // One report per store: after the first invalid value nothing else is checked.
    for (Options** option = s_command_line_args; valid && *option; ++option) {
        if (!(*option)->hasValidValues()) continue;
        for (std::string const& value : valuesToCheck(**option, *store)) {
            if (value.empty() || (*option)->isValidValue(value)) continue;
            reportInvalidValue(**option, source, value);
            valid = false;
            break;
        }
    }
    return valid;
}

bool CommandOptions::configVerify(Properties& store) {
    m_last_error.clear();
    Properties configuration;
    extractAllProperties(configuration);
    bool equal = verifyEqualityRules(configuration, store);
    bool atLeast = verifyAtLeastRules(configuration, store);
    return equal && atLeast;
}

bool CommandOptions::verifyEqualityRules(Properties& configuration, Properties& store) {
    bool result = true;
    for (std::string const& name : ruleNames(configuration, k_equality_rules)) {
        int configValue = 0;
        std::string configText;
        if (configuration.get(configValue, name.c_str())) {
            int storeValue = 0;
            if (store.get(storeValue, name.c_str()) && storeValue != configValue) {
                auxReportConfigError(name.c_str(), configValue, storeValue, true);
                result = false;
            }
        } else if (configuration.get(configText, name, true)) {
            std::string storeText;
            if (store.get(storeText, name, true) && storeText != configText) {
                auxReportConfigError(name.c_str(), configText, storeText);
                result = false;
            }
        } else {
            reportUnverifiable(name, " not found or has unsupported type.");
            result = false;
        }
    }
    return result;
}

bool CommandOptions::verifyAtLeastRules(Properties& configuration, Properties& store) {
    bool result = true;
    for (std::string const& name : ruleNames(configuration, k_at_least_rules)) {
        int configValue = 0;
        if (!configuration.get(configValue, name.c_str())) {
            reportUnverifiable(name, " has unsupported type.");
            result = false;
            continue;
        }
        int storeValue = 0;
        if (store.get(storeValue, name.c_str()) && configValue < storeValue) {
            auxReportConfigError(name.c_str(), configValue, storeValue, false);
            result = false;
        }
    }
    return result;
}

bool CommandOptions::containsValues(Properties& store) {
    std::vector<std::string> names;
    if (!store.getNames(names)) return false;
    for (std::string const& name : names) {
        std::string ours;
        if (!get(ours, name.c_str())) {
            m_last_error = "Could not find value for argument '" + name + "'";
            return false;
        }
        std::string theirs;
        store.get(theirs, name, true);
        if (theirs != ours) {
            m_last_error =
                "Different values for property '" + name + "': '" + ours + "' and '" + theirs + "'";
            return false;
        }
    }
    return true;
}

void CommandOptions::auxReportConfigError(char const* name, int configValue, int storeValue, bool equality) {
    char storeText[16];
    char configText[16];
    itoa(storeValue, storeText, 10);
    itoa(configValue, configText, 10);
    m_last_error += std::string("\t") + (equality ? "EQ :: " : "GE :: ") + orEmpty(name) +
                    " :: " + storeText + " (" + configText + ")\n";
}

void CommandOptions::auxReportConfigError(char const* name, std::string const& configValue,
                                          std::string const& storeValue) {
    m_last_error += "\tEQ :: " + orEmpty(name) + " :: " + storeValue + " (" + configValue + ")\n";
}

void CommandOptions::auxReportConfigError(char const* name) {
    m_last_error += "\tEQ :: " + orEmpty(name) + " :: vectors not equivalent\n";
}

}  // namespace Configuration
