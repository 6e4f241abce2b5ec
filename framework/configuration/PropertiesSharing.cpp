#include "configuration/PropertiesSharing.h"

#include <vector>

#include "configuration/Properties.h"

namespace Configuration {

namespace {

bool isWhitespace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view trimmed(std::string_view value) {
    while (!value.empty() && isWhitespace(value.front())) value.remove_prefix(1);
    while (!value.empty() && isWhitespace(value.back())) value.remove_suffix(1);
    return value;
}

}  // namespace

// The buffers of a copy, kept from one section to the next: a large
// configuration has thousands of node sections, each of a few dozen keys.
struct PropertiesSharing::Scratch {
    struct Collected {
        std::string_view name;
        Properties const* store;
        PairTable::Pair const* pair;
    };
    struct Found {
        std::string_view value;
        bool is_list;
        std::string_view delimiter;
        Properties const* owner;
    };
    std::vector<Collected> names;
    std::vector<Found> found;
    // Per store in lookup order: whether it has a key of the section, and
    // the delimiters it records under the section's prefix.
    std::array<bool, 3> has_keys{};
    std::array<std::vector<std::uint32_t>, 3> delimiters;
};

PropertiesSharing::SectionCopy PropertiesSharing::copySection(std::array<Properties*, 3> const& stores,
                                                              std::string const& prefix, Properties& target) {
    thread_local Scratch scratch;
    scratch.names.clear();
    scratch.found.clear();
    if (!collectNames(stores, prefix, scratch)) return SectionCopy::Empty;
    for (std::size_t s = 0; s < stores.size(); ++s) {
        scratch.delimiters[s].clear();
        if (stores[s] && !stores[s]->m_delimiters.empty())
            scratch.delimiters[s] = stores[s]->m_delimiters.withPrefix(prefix);
    }
    scratch.found.reserve(scratch.names.size());
    for (std::size_t i = 0; i < scratch.names.size(); ++i) {
        if (!findValue(stores, i, scratch)) return SectionCopy::Unsure;
    }
    // Names of one section are distinct: into an empty store they go
    // without a search.
    bool const isNew = target.m_pairs.empty();
    target.m_pairs.reserve(target.m_pairs.size() + scratch.names.size());
    // A delimiter may come from another store than the value.
    for (Properties const* store : stores) {
        if (store) target.m_pairs.shareTextOf(store->m_pairs);
    }
    for (std::size_t i = 0; i < scratch.names.size(); ++i) {
        Scratch::Found const& found = scratch.found[i];
        target.storeHeld(scratch.names[i].name.substr(prefix.size()), found.value, found.is_list,
                         found.delimiter, isNew);
    }
    return SectionCopy::Copied;
}

bool PropertiesSharing::collectNames(std::array<Properties*, 3> const& stores, std::string const& prefix,
                                     Scratch& scratch) {
    // The names in the order the section extraction collects them: the
    // system store's, then the new ones of the user's and the command line's.
    for (std::size_t i = stores.size(); i-- > 0;) {
        Properties const* store = stores[i];
        scratch.has_keys[i] = false;
        if (!store || !store->m_ready) continue;
        for (std::uint32_t index : store->m_pairs.withPrefix(prefix)) {
            scratch.has_keys[i] = true;
            PairTable::Pair const& pair = store->m_pairs.at(index);
            std::string_view const name = pair.nameView();
            bool seen = false;
            for (std::size_t j = stores.size() - 1; j > i && !seen; --j)
                seen = scratch.has_keys[j] && stores[j]->m_pairs.find(name);
            if (!seen) scratch.names.push_back({name, store, &pair});
        }
    }
    return !scratch.names.empty();
}

bool PropertiesSharing::findValue(std::array<Properties*, 3> const& stores, std::size_t nameIndex,
                                  Scratch& scratch) {
    Scratch::Collected const& collected = scratch.names[nameIndex];
    std::string_view const name = collected.name;
    if (name.find('\0') != std::string_view::npos) return false;
    Scratch::Found item{std::string_view(), false, std::string_view(), nullptr};
    for (std::size_t s = 0; s < stores.size(); ++s) {
        // A store without a key of the section has none of this name.
        if (!scratch.has_keys[s]) continue;
        Properties const* store = stores[s];
        PairTable::Pair const* pair = store == collected.store ? collected.pair : store->m_pairs.find(name);
        if (!pair) continue;
        item.value = trimmed(pair->valueView());
        if (item.value.empty()) continue;
        item.owner = store;
        break;
    }
    if (!item.owner || item.value.find(Properties::START_ENV_VAR) != std::string_view::npos) return false;
    for (std::size_t s = 0; s < stores.size(); ++s) {
        for (std::uint32_t index : scratch.delimiters[s]) {
            PairTable::Pair const& delimiter = stores[s]->m_delimiters.at(index);
            if (delimiter.nameView() != name) continue;
            if (delimiter.value_size > 0) {
                item.is_list = true;
                // As set() takes a delimiter: as a C string, ending at a NUL.
                item.delimiter = delimiter.valueView().substr(0, delimiter.valueView().find('\0'));
            }
            break;
        }
        if (item.is_list) break;
    }
    scratch.found.push_back(item);
    return true;
}

}  // namespace Configuration
