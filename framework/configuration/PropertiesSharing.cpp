#include "configuration/PropertiesSharing.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "configuration/Properties.h"

namespace Configuration {

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
    };
    // The names in collection order: a run per store, each in name order.
    std::vector<Collected> names;
    std::array<std::size_t, 4> run_starts{};
    std::vector<Found> found;
    // Per store in lookup order: whether it has a key of the section, and
    // the delimiters it records under the section's prefix.
    std::array<bool, 3> has_keys{};
    std::array<std::vector<std::uint32_t>, 3> delimiters;
    std::vector<std::uint32_t> in_section;
    std::vector<PairTable::Pair> pairs;
};

// Found once per copy: a thread's buffers live in thread-local storage,
// which is slow to reach from a shared library.
__attribute__((noinline)) PropertiesSharing::Scratch& PropertiesSharing::threadScratch() {
    thread_local Scratch scratch;
    return scratch;
}

PropertiesSharing::SectionCopy PropertiesSharing::copySection(std::array<Properties*, 3> const& stores,
                                                              std::string const& prefix, Properties& target) {
    Scratch& scratch = threadScratch();
    scratch.names.clear();
    scratch.found.clear();
    if (!collectNames(stores, prefix, scratch)) return SectionCopy::Empty;
    scratch.found.reserve(scratch.names.size());
    if (!findValues(stores, scratch)) return SectionCopy::Unsure;
    markLists(stores, prefix, scratch);
    // A delimiter may come from another store than the value.
    for (Properties const* store : stores) {
        if (store) target.m_pairs.shareTextOf(store->m_pairs);
    }
    std::size_t const count = scratch.names.size();
    std::size_t lists = 0;
    for (Scratch::Found const& found : scratch.found) lists += found.is_list ? 1 : 0;
    if (lists > 0) target.m_delimiters.reserve(target.m_delimiters.size() + lists);
    if (!target.m_pairs.empty()) {
        target.m_pairs.reserve(target.m_pairs.size() + count);
        for (std::size_t i = 0; i < count; ++i) {
            Scratch::Found const& found = scratch.found[i];
            target.storeHeld(scratch.names[i].name.substr(prefix.size()), found.value, found.is_list,
                             found.delimiter, false);
        }
        return SectionCopy::Copied;
    }
    // Names of one section are distinct: into an empty store they go at
    // once, without a search.
    scratch.pairs.clear();
    for (std::size_t i = 0; i < count; ++i) {
        std::string_view const name = scratch.names[i].name.substr(prefix.size());
        std::string_view const value = scratch.found[i].value;
        scratch.pairs.push_back(
            {name.data(), value.data(), std::uint32_t(name.size()), std::uint32_t(value.size())});
        if (scratch.found[i].is_list) target.recordDelimiter(name, scratch.found[i].delimiter, true);
    }
    target.m_pairs.appendDistinct(scratch.pairs);
    target.m_ready = true;
    return SectionCopy::Copied;
}

bool PropertiesSharing::collectNames(std::array<Properties*, 3> const& stores, std::string const& prefix,
                                     Scratch& scratch) {
    // The names in the order the section extraction collects them: the
    // system store's, then the new ones of the user's and the command line's.
    std::size_t run = 0;
    for (std::size_t i = stores.size(); i-- > 0;) {
        Properties const* store = stores[i];
        scratch.has_keys[i] = false;
        scratch.run_starts[run++] = scratch.names.size();
        if (!store || !store->m_ready) continue;
        store->m_pairs.withPrefix(prefix, scratch.in_section);
        for (std::uint32_t index : scratch.in_section) {
            scratch.has_keys[i] = true;
            PairTable::Pair const& pair = store->m_pairs.at(index);
            std::string_view const name = pair.nameView();
            bool seen = false;
            for (std::size_t j = stores.size() - 1; j > i && !seen; --j)
                seen = scratch.has_keys[j] && stores[j]->m_pairs.find(name);
            if (!seen) scratch.names.push_back({name, store, &pair});
        }
    }
    scratch.run_starts[run] = scratch.names.size();
    return !scratch.names.empty();
}

bool PropertiesSharing::findValues(std::array<Properties*, 3> const& stores, Scratch& scratch) {
    // A name with a NUL, an empty value or an environment reference
    // needs the general copy.
    auto const usual = [&scratch](std::string_view name, std::string_view value) {
        if (std::memchr(name.data(), '\0', name.size()) != nullptr || value.empty() ||
            Properties::holdsReference(value))
            return false;
        scratch.found.push_back({value, false, std::string_view()});
        return true;
    };
    // Usually one store has the section: each name's value is that of
    // the pair it came with.
    if (scratch.has_keys[0] + scratch.has_keys[1] + scratch.has_keys[2] == 1) {
        for (Scratch::Collected const& collected : scratch.names) {
            if (!usual(collected.name, Properties::trimmed(collected.pair->valueView()))) return false;
        }
        return true;
    }
    for (Scratch::Collected const& collected : scratch.names) {
        // The first non-empty value in lookup order; a store without a
        // key of the section has none of this name.
        std::string_view value;
        for (std::size_t s = 0; s < stores.size() && value.empty(); ++s) {
            if (!scratch.has_keys[s]) continue;
            Properties const* store = stores[s];
            PairTable::Pair const* pair =
                store == collected.store ? collected.pair : store->m_pairs.find(collected.name);
            if (pair) value = Properties::trimmed(pair->valueView());
        }
        if (!usual(collected.name, value)) return false;
    }
    return true;
}

void PropertiesSharing::markLists(std::array<Properties*, 3> const& stores, std::string const& prefix,
                                  Scratch& scratch) {
    // A name's delimiter is the first non-empty one in lookup order: the
    // stores are gone through the other way round, each overriding the
    // ones after it. A section has few list names, each looked up by
    // name in the runs of collected names.
    auto const byName = [](Scratch::Collected const& collected, std::string_view name) {
        return collected.name < name;
    };
    for (std::size_t s = stores.size(); s-- > 0;) {
        if (!stores[s] || stores[s]->m_delimiters.empty()) continue;
        stores[s]->m_delimiters.withPrefix(prefix, scratch.delimiters[s]);
        for (std::uint32_t index : scratch.delimiters[s]) {
            PairTable::Pair const& delimiter = stores[s]->m_delimiters.at(index);
            if (delimiter.value_size == 0) continue;
            std::string_view const name = delimiter.nameView();
            for (std::size_t run = 0; run + 1 < scratch.run_starts.size(); ++run) {
                auto const begin = scratch.names.begin() + std::ptrdiff_t(scratch.run_starts[run]);
                auto const end = scratch.names.begin() + std::ptrdiff_t(scratch.run_starts[run + 1]);
                auto const at = std::lower_bound(begin, end, name, byName);
                if (at == end || at->name != name) continue;
                Scratch::Found& found = scratch.found[std::size_t(at - scratch.names.begin())];
                found.is_list = true;
                // As set() takes a delimiter: as a C string, ending at a NUL.
                found.delimiter = delimiter.valueView().substr(0, delimiter.valueView().find('\0'));
                break;
            }
        }
    }
}

}  // namespace Configuration
