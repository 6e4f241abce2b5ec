// Finding and reading the configuration files target_device.cfg, and the
// system prefix "system.<chip>.<node>." of the current chip and node.
// Nothing here prints or ends the process: the option set reports the
// failures in its own words, and the host libraries return them to their
// caller.
#ifndef CONFIGURATION_SYSTEMCONFIGURATION_H
#define CONFIGURATION_SYSTEMCONFIGURATION_H

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "configuration/Properties.h"

namespace Configuration {

// The name of the configuration file and the longest path it is found under.
inline constexpr char k_config_file_name[] = "target_device.cfg";
inline constexpr int k_config_path_buffer_size = 2046;

// The path of target_device.cfg along the directories named by the
// environment variable, then under its plain name; empty when not found.
std::string locateConfigFile(char const* environmentVariable);

// The system and the user configuration as read.
struct ConfigurationFiles {
    std::string system_file;  // the system file's path; empty when none was found
    std::string user_file;    // the user file's path; empty when none was read
    std::unique_ptr<Properties> system;
    std::unique_ptr<Properties> user;  // null when there is no readable user file

    // One store with the user file's non-empty values laid over the system
    // file's: the values a lookup in precedence order finds.
    Properties merged() const;
};

// Reads the configuration: the named file alone when namedFile is given
// (not empty), else target_device.cfg along QXPATH (then under its plain
// name) with the user's file of the same name found through HOME over it.
// A user file that cannot be read is ignored. False when there is no
// system file (system_file stays empty; error "No system config filename
// found.") or it cannot be read (error: the reader's own message).
bool loadConfigurationFiles(char const* namedFile, ConfigurationFiles& files, std::string& error);

// As loadConfigurationFiles(nullptr, ...), but the stores keep only the
// keys the system prefix is made of (isSystemPrefixKey) and the keys of the
// current node's section (the system prefix's), each file read in two
// selective passes that hold no more than a block of its text. When the
// prefix cannot be made, the stores hold just its keys. Same results and
// failures as loadConfigurationFiles.
bool loadCurrentNodeConfiguration(ConfigurationFiles& files, std::string& error);

// A lookup of a key's value, in whatever stores and precedence the caller
// has; true only with a non-empty value.
using KeyLookup = std::function<bool(std::string& value, char const* key)>;

// The position of the last piece of the comma-separated list equal to
// item (pieces are not trimmed, empty ones skipped), or -1.
int listIndex(std::string const& list, std::string const& item);
// The piece at position index of the list, or empty.
std::string listItem(std::string const& list, int index);

// The name of the current chip (part "chip") or node (part "node"): the
// name at the position of the "<part>-id" value in the list
// prefix + "<part>-ids" of the list prefix + "<part>s". False with the
// reason in error.
bool systemPrefixPart(KeyLookup const& lookup, std::string const& prefix, std::string const& part,
                      std::string& result, std::string& error);
// "system.<chip>.<node>." of the current chip and node. On failure prefix
// holds the part made so far and error the reason.
bool systemPrefix(KeyLookup const& lookup, std::string& prefix, std::string& error);
// True for a key systemPrefix may look up: "chip-id", "node-id",
// "system.chip-ids", "system.chips" and the node lists
// "system.<chip>.node-ids" and "system.<chip>.nodes".
bool isSystemPrefixKey(std::string_view key);

}  // namespace Configuration

#endif  // CONFIGURATION_SYSTEMCONFIGURATION_H
