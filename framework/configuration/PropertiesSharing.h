// Copies of pairs between property stores that share the stored text
// instead of copying it: the section of a node takes the names and values
// of the configuration it comes from as they are.
#ifndef CONFIGURATION_PROPERTIESSHARING_H
#define CONFIGURATION_PROPERTIESSHARING_H

#include <array>
#include <cstddef>
#include <string>

namespace Configuration {

class Properties;

class PropertiesSharing {
public:
    enum class SectionCopy {
        Copied,  // every key of the section is in the target
        Empty,   // no store has a key of the section; the target is untouched
        Unsure,  // a key needs the general copy (an empty value, an environment reference, a NUL in its name)
    };

    // The keys under prefix of the stores (in lookup order; any may be
    // null), each with the trimmed value and the delimiter of highest
    // precedence, into target under the rest of their names.
    static SectionCopy copySection(std::array<Properties*, 3> const& stores, std::string const& prefix,
                                   Properties& target);

private:
    struct Scratch;
    static Scratch& threadScratch();
    // The section's names, each from the first store (system, user,
    // command line) that has it; false when there is none.
    static bool collectNames(std::array<Properties*, 3> const& stores, std::string const& prefix,
                             Scratch& scratch);
    // The value of highest precedence of each name; false when one needs
    // the general copy.
    static bool findValues(std::array<Properties*, 3> const& stores, Scratch& scratch);
    // Marks the list names of the collected ones with their delimiters.
    static void markLists(std::array<Properties*, 3> const& stores, std::string const& prefix,
                          Scratch& scratch);
};

}  // namespace Configuration

#endif  // CONFIGURATION_PROPERTIESSHARING_H
