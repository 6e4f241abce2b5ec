// Reading only some of the names of a configuration file: a program that
// needs a handful of keys of a large configuration checks the whole text
// as the reader always does, but keeps no more than a block of it and the
// pairs it selects.
#ifndef CONFIGURATION_PROPERTIESSELECTION_H
#define CONFIGURATION_PROPERTIESSELECTION_H

#include <functional>
#include <string_view>

namespace Configuration {

class Properties;

class PropertiesSelection {
public:
    using Selection = std::function<bool(std::string_view name)>;

    // As store.addPropertiesFromFile(fileName, true), storing only the
    // pairs (and list delimiters) whose names `select` accepts: the result
    // and a failure's message are those of a full read, and the selected
    // names get the values a full read gives them. Duplicates and empty
    // values among the names not selected leave no warning.
    static bool addFromFile(Properties& store, char const* fileName, Selection const& select);
};

}  // namespace Configuration

#endif  // CONFIGURATION_PROPERTIESSELECTION_H
