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

PropertiesSharing::SectionCopy PropertiesSharing::copySection(std::array<Properties*, 3> const& stores,
                                                              std::string const& prefix, Properties& target) {
    // The names in the order the section extraction collects them: the
    // system store's, then the new ones of the user's and the command line's.
    struct Collected {
        std::string_view name;
        Properties const* store;
        PairTable::Pair const* pair;
    };
    std::vector<Collected> names;
    std::array<Properties*, 3> const collectionOrder = {stores[2], stores[1], stores[0]};
    for (std::size_t i = 0; i < collectionOrder.size(); ++i) {
        Properties const* store = collectionOrder[i];
        if (!store || !store->m_ready) continue;
        for (std::uint32_t index : store->m_pairs.withPrefix(prefix)) {
            PairTable::Pair const& pair = store->m_pairs.at(index);
            std::string_view const name = pair.nameView();
            bool seen = false;
            for (std::size_t j = 0; j < i && !seen; ++j) {
                seen = collectionOrder[j] && collectionOrder[j]->m_ready &&
                       collectionOrder[j]->m_pairs.find(name);
            }
            if (!seen) names.push_back({name, store, &pair});
        }
    }
    if (names.empty()) return SectionCopy::Empty;

    struct Found {
        std::string_view value;
        bool is_list;
        std::string_view delimiter;
        Properties const* owner;
    };
    std::vector<Found> found;
    found.reserve(names.size());
    for (Collected const& collected : names) {
        std::string_view const name = collected.name;
        if (name.find('\0') != std::string_view::npos) return SectionCopy::Unsure;
        Found item{std::string_view(), false, std::string_view(), nullptr};
        for (Properties const* store : stores) {
            if (!store || !store->m_ready) continue;
            PairTable::Pair const* pair =
                store == collected.store ? collected.pair : store->m_pairs.find(name);
            if (!pair) continue;
            item.value = trimmed(pair->valueView());
            if (item.value.empty()) continue;
            item.owner = store;
            break;
        }
        if (!item.owner || item.value.find(Properties::START_ENV_VAR) != std::string_view::npos)
            return SectionCopy::Unsure;
        for (Properties const* store : stores) {
            if (!store) continue;
            PairTable::Pair const* delimiter = store->delimiterOf(name);
            if (delimiter && delimiter->value_size > 0) {
                item.is_list = true;
                item.delimiter = delimiter->valueView();
                break;
            }
        }
        found.push_back(item);
    }
    // Names of one section are distinct: into an empty store they go
    // without a search.
    bool const isNew = target.m_pairs.empty();
    target.m_pairs.reserve(target.m_pairs.size() + names.size());
    // A delimiter may come from another store than the value.
    for (Properties const* store : stores) {
        if (store) target.m_pairs.shareTextOf(store->m_pairs);
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        target.storeShared(names[i].name.substr(prefix.size()), found[i].value, found[i].is_list,
                           found[i].delimiter, *found[i].owner, isNew);
    }
    return SectionCopy::Copied;
}

}  // namespace Configuration
