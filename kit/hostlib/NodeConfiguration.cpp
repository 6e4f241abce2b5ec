#include "hostlib/NodeConfiguration.h"

#include "configuration/Properties.h"
#include "configuration/SystemConfiguration.h"
#include "isa/NodeDimensions.h"

namespace HostLib {

using Configuration::Properties;

bool NodeConfiguration::readFrom(Properties& properties, Simulator::ProcessorConfig& config,
                                 std::string& error) {
    std::string prefix;
    Configuration::KeyLookup const lookup = [&properties](std::string& value, char const* key) {
        return properties.get(value, key, true) && !value.empty();
    };
    if (!Configuration::systemPrefix(lookup, prefix, error)) return false;
    std::string const section = prefix.substr(0, prefix.size() - 1);
    Properties node;
    properties.get(node, section.c_str());
    std::string type;
    if (!node.get(type, "node-type") || type != "vorn") {
        error = "the default node " + section + " is not a VORN node";
        return false;
    }
    if (!Simulator::readNodeDimensions(node, config, error) || !config.validate(error)) {
        error = section + ": " + error;
        return false;
    }
    return true;
}

bool NodeConfiguration::read(Simulator::ProcessorConfig& config, std::string& source, std::string& error) {
    Configuration::ConfigurationFiles files;
    // Only the current node's keys are kept: the host library needs no
    // more of a configuration that may describe thousands of nodes.
    if (!Configuration::loadCurrentNodeConfiguration(files, error)) {
        if (files.system_file.empty()) {
            error.clear();
            source = "built-in defaults";
            return true;
        }
        error = files.system_file + ": cannot read: " + error;
        return false;
    }
    source = files.system_file;
    // Without a user file the system file's store is the merged one: no copy.
    Properties merged;
    if (files.user) merged = files.merged();
    if (!readFrom(files.user ? merged : *files.system, config, error)) {
        error = files.system_file + ": " + error;
        return false;
    }
    return true;
}

}  // namespace HostLib
