#include "configuration/PropertiesSelection.h"

#include <algorithm>
#include <cstring>

#include "configuration/Properties.h"

namespace Configuration {

namespace {

std::size_t const k_section_parts = 3;

// The length of the name's section of three parts, up to and with its
// third dot; 0 when the name has fewer dots.
std::size_t sectionLength(std::string_view name) {
    std::size_t dots = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '.' && ++dots == k_section_parts) return i + 1;
    }
    return 0;
}

// Called for a name that does not continue the last run of section.
void notePlace(void* context, std::string_view name, std::uint64_t begin, int lineBefore) {
    auto& places = *static_cast<PropertiesSelection::SectionPlaces*>(context);
    std::size_t const length = sectionLength(name);
    places.last_section.assign(name.data(), length);
    // A hash shared by two sections merges their places, which only
    // makes a reading of either go through more lines.
    std::uint64_t const section = length == 0 ? 0 : PairTable::hashOf(places.last_section) | 1;
    if (section == 0 && !places.runs.empty() && places.runs.back().section == 0) return;
    places.runs.push_back({section, begin, lineBefore});
}

}  // namespace

bool PropertiesSelection::addFromFile(Properties& store, char const* fileName, Selection const& select) {
    store.m_ready = store.readFile(fileName, &select);
    return store.m_ready;
}

bool PropertiesSelection::addFromFile(Properties& store, char const* fileName, Selection const& select,
                                      SectionPlaces& places) {
    places = SectionPlaces();
    Properties::FilePlan plan;
    plan.note = notePlace;
    plan.note_context = &places;
    plan.note_unless_prefix = &places.last_section;
    store.m_ready = store.readFile(fileName, &select, &plan);
    places.noted = store.m_ready;
    places.file = plan.identity;
    return store.m_ready;
}

bool PropertiesSelection::addSectionFromFile(Properties& store, char const* fileName,
                                             std::string const& prefix, SectionPlaces const& places) {
    Selection const select = [&prefix](std::string_view name) {
        return name.compare(0, prefix.size(), prefix) == 0;
    };
    // Only then are the names under prefix exactly those of its section.
    bool const isSection = !prefix.empty() && prefix.back() == '.' &&
                           std::size_t(std::count(prefix.begin(), prefix.end(), '.')) == k_section_parts;
    Properties::FilePlan plan;
    if (places.noted && isSection) {
        plan.part = true;
        plan.expected = places.file;
        // From the section's first run to the start of the run after its
        // last one (the end of the file after the last run).
        std::uint64_t const section = PairTable::hashOf(prefix) | 1;
        bool found = false;
        for (std::size_t i = 0; i < places.runs.size(); ++i) {
            if (places.runs[i].section != section) continue;
            if (!found) {
                plan.begin = places.runs[i].begin;
                plan.line_before = places.runs[i].line_before;
                found = true;
            }
            plan.end = i + 1 < places.runs.size() ? places.runs[i + 1].begin : ~std::uint64_t(0);
        }
    }
    store.m_ready = store.readFile(fileName, &select, &plan);
    return store.m_ready;
}

}  // namespace Configuration
