#include "hostlib/NodeConfiguration.h"

#include "configuration/Properties.h"
#include "generic/LocateFile.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace HostLib {

namespace {

using Configuration::Properties;

char const* const s_file_name = "target_device.cfg";

// The path of target_device.cfg along the directories of a variable, as
// the tools search it, or empty.
std::string locate(char const* variable) {
    char buffer[2046];
    int length = 0;
    if (!Generic::locateFile(buffer, sizeof buffer, s_file_name, -1, nullptr, variable, ".cfg", &length) ||
        length == 0)
        return std::string();
    return buffer;
}

// Copies every pair of `from` into `into`, replacing values of the same name.
void overlay(Properties& into, Properties& from) {
    std::vector<std::string> names;
    if (!from.getNames(names)) return;
    for (std::string const& name : names) {
        std::string value;
        std::string delimiter;
        if (!from.get(value, name, false)) continue;
        bool const isList = from.getDelimiter(delimiter, name.c_str());
        into.set(value, name.c_str(), isList ? delimiter.c_str() : nullptr);
    }
}

// The name at the position of `id` in the ID list `idsKey`, whose names
// are the list `namesKey`.
bool nameOf(Properties& properties, long long id, std::string const& idsKey, std::string const& namesKey,
            std::string& name, std::string& error) {
    std::vector<long long> ids;
    std::vector<std::string> names;
    if (!properties.getInt64Vector(ids, idsKey.c_str()) ||
        !properties.getStringVector(names, namesKey.c_str())) {
        error = "cannot read the lists " + idsKey + " and " + namesKey;
        return false;
    }
    for (size_t i = 0; i < ids.size() && i < names.size(); ++i) {
        if (ids[i] != id) continue;
        name = names[i];
        return true;
    }
    error = "no name for ID " + std::to_string(id) + " in " + namesKey;
    return false;
}

// "system.<chip>.<node>" of the default chip and node.
bool defaultSection(Properties& properties, std::string& section, std::string& error) {
    long long chipId = 0;
    long long nodeId = 0;
    if (!properties.get(chipId, "chip-id") || !properties.get(nodeId, "node-id")) {
        error = "no default node: chip-id and node-id must be numbers";
        return false;
    }
    std::string chip;
    std::string node;
    if (!nameOf(properties, chipId, "system.chip-ids", "system.chips", chip, error) ||
        !nameOf(properties, nodeId, "system." + chip + ".node-ids", "system." + chip + ".nodes", node, error))
        return false;
    section = "system." + chip + "." + node;
    return true;
}

struct NumberKey {
    char const* key;
    uint32_t Simulator::ProcessorConfig::*field;
};

NumberKey const s_number_keys[] = {
    {"total-number-pes", &Simulator::ProcessorConfig::totalNumberPes},
    {"mono-memory-size", &Simulator::ProcessorConfig::monoMemorySize},
    {"mono-memory-start", &Simulator::ProcessorConfig::monoMemoryStart},
    {"mono-registers-size", &Simulator::ProcessorConfig::monoRegistersSize},
    {"mono-stack-size", &Simulator::ProcessorConfig::monoStackSize},
    {"poly-memory-size", &Simulator::ProcessorConfig::polyMemorySize},
    {"poly-registers-size", &Simulator::ProcessorConfig::polyRegistersSize},
    {"enable-stack-size", &Simulator::ProcessorConfig::enableStackSize},
    {"number-semaphores", &Simulator::ProcessorConfig::numberSemaphores},
    {"number-threads", &Simulator::ProcessorConfig::numberThreads},
    {"instruction-size", &Simulator::ProcessorConfig::instructionSize},
};

bool readNumbers(Properties& node, Simulator::ProcessorConfig& config, std::string& error) {
    for (NumberKey const& number : s_number_keys) {
        std::string text;
        if (!node.get(text, number.key)) continue;
        unsigned long long value = 0;
        if (!Properties::makeUint64(text, value) || value > UINT32_MAX) {
            error = std::string(number.key) + ": '" + text + "' is not a number";
            return false;
        }
        config.*number.field = uint32_t(value);
    }
    return true;
}

bool readNames(Properties& node, Simulator::ProcessorConfig& config, std::string& error) {
    std::string text;
    if (node.get(text, "endianness")) {
        if (text == "little") {
            config.byteOrder = Qxx::ByteOrder::Little;
        } else if (text == "big") {
            config.byteOrder = Qxx::ByteOrder::Big;
        } else {
            error = "endianness: '" + text + "' is neither little nor big";
            return false;
        }
    }
    if (node.get(text, "instruction-set")) config.instructionSet = text;
    return true;
}

}  // namespace

bool NodeConfiguration::readFrom(Properties& properties, Simulator::ProcessorConfig& config,
                                 std::string& error) {
    std::string section;
    if (!defaultSection(properties, section, error)) return false;
    Properties node;
    properties.get(node, section.c_str());
    std::string type;
    if (!node.get(type, "node-type") || type != "vorn") {
        error = "the default node " + section + " is not a VORN node";
        return false;
    }
    if (!readNumbers(node, config, error) || !readNames(node, config, error) || !config.validate(error)) {
        error = section + ": " + error;
        return false;
    }
    return true;
}

bool NodeConfiguration::read(Simulator::ProcessorConfig& config, std::string& source, std::string& error) {
    std::string const systemPath = locate("QXPATH");
    if (systemPath.empty()) {
        source = "built-in defaults";
        return true;
    }
    source = systemPath;
    Properties properties(systemPath.c_str());
    if (!properties.isReady()) {
        properties.getLastErrorMessage(error);
        error = systemPath + ": cannot read: " + error;
        return false;
    }
    std::string const userPath = locate("HOME");
    if (!userPath.empty() && userPath != systemPath) {
        Properties user(userPath.c_str());
        if (user.isReady()) overlay(properties, user);
    }
    if (!readFrom(properties, config, error)) {
        error = systemPath + ": " + error;
        return false;
    }
    return true;
}

}  // namespace HostLib
