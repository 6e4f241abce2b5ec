// Reading only some of the names of a configuration file: a program that
// needs a handful of keys of a large configuration checks the whole text
// as the reader always does, but keeps no more than a block of it and the
// pairs it selects. While it reads, it can note where each node's keys
// lie, so that a second reading for one node's keys reads only those lines.
#ifndef CONFIGURATION_PROPERTIESSELECTION_H
#define CONFIGURATION_PROPERTIESSELECTION_H

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Configuration {

class Properties;

class PropertiesSelection {
public:
    using Selection = std::function<bool(std::string_view name)>;

    // Where in a file the names of each section of three parts
    // ("system.chip.node.") lie, and the file as it was when read. The
    // file is noted as runs of lines whose names have one section.
    struct SectionPlaces {
        struct Run {
            std::uint64_t section;  // hash of the section's text; 0 for names of fewer parts
            std::uint64_t begin;    // the run's first line in the file
            int line_before;        // the number of the line before it
        };
        bool noted = false;
        std::array<std::uint64_t, 7> file{};
        std::vector<Run> runs;
        // The text of the last run's section: a name that begins with it
        // continues the run.
        std::string last_section;
    };

    // As store.addPropertiesFromFile(fileName, true), storing only the
    // pairs (and list delimiters) whose names `select` accepts: the result
    // and a failure's message are those of a full read, and the selected
    // names get the values a full read gives them. Duplicates and empty
    // values among the names not selected leave no warning.
    static bool addFromFile(Properties& store, char const* fileName, Selection const& select);
    // The same, noting in `places` where each section's names lie.
    static bool addFromFile(Properties& store, char const* fileName, Selection const& select,
                            SectionPlaces& places);
    // As addFromFile selecting the names that begin with prefix. When
    // places were noted in this very file, unchanged since, and prefix is
    // a section of three parts, only the lines of that section are read
    // (the rest was checked when the places were noted); else all of them.
    static bool addSectionFromFile(Properties& store, char const* fileName, std::string const& prefix,
                                   SectionPlaces const& places);
};

}  // namespace Configuration

#endif  // CONFIGURATION_PROPERTIESSELECTION_H
