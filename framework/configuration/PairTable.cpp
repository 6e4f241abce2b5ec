#include "configuration/PairTable.h"

#include <algorithm>
#include <cstring>

namespace Configuration {

namespace {

// Up to this many pairs a table is searched from end to end: a node's
// section is small, and an index would cost more memory than it saves.
std::size_t const k_linear_limit = 64;
// Up to this many pairs a prefix query scans the table and sorts what it
// finds. Larger tables answer a section (a prefix ending in a dot) from
// the section index, and their first other queries by a scan, which is
// cheaper than sorting all names for a single query; further queries sort
// the names once.
std::size_t const k_scan_limit = 64;
int const k_scans_before_sorting = 2;
std::size_t const k_largest_block = std::size_t(64) << 10;
// Pending pairs are indexed in groups of about this many slots (which
// stay in the cache while their group is indexed), in at most 2^k_group_bits groups.
std::size_t const k_slots_per_group = 256;
int const k_group_bits = 12;
std::size_t const k_prefetch_distance = 8;
// An index up to this size stays in a core's second-level cache while it
// is filled (1 to 2 MiB on current cores).
std::size_t const k_cached_index_bytes = std::size_t(2) << 20;

}  // namespace

PairTable::PairTable(PairTable const& other) {
    *this = other;
}

PairTable& PairTable::operator=(PairTable const& other) {
    if (this == &other) return *this;
    if (!other.m_data) {
        m_data.reset();
        return *this;
    }
    m_data = std::make_unique<Data>(*other.m_data);
    // The other table's free room stays its own: both appending to one
    // block would overwrite each other's text.
    m_data->room = nullptr;
    m_data->room_size = 0;
    m_data->unordered_prefix_scans = 0;
    m_data->sections.reset();
    return *this;
}

PairTable::~PairTable() = default;

PairTable::Data& PairTable::data() {
    if (!m_data) m_data = std::make_unique<Data>();
    return *m_data;
}

void PairTable::clear() {
    if (!m_data) return;
    m_data->pairs.clear();
    m_data->slots.clear();
    m_data->order.clear();
    m_data->sections.reset();
    m_data->pending_tags.clear();
}

void PairTable::reserve(std::size_t count) {
    Data& d = data();
    d.pairs.reserve(count);
    // At most three quarters of the slots in use.
    if (count > k_linear_limit && 3 * d.slots.size() < 4 * count) rebuildIndex(count + count / 3 + 1);
}

std::uint64_t PairTable::hashOf(std::string_view text) {
    std::uint64_t const k_multiplier = 0x9E3779B97F4A7C15ULL;
    std::uint64_t hash = text.size() * k_multiplier;
    char const* p = text.data();
    std::size_t left = text.size();
    for (; left >= 8; p += 8, left -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        hash = (hash ^ word) * k_multiplier;
        hash ^= hash >> 32;
    }
    if (left > 0) {
        // The last bytes: in a long text, the last eight (some of them
        // hashed already), which saves a copy of a variable length.
        std::uint64_t word = 0;
        if (text.size() >= 8)
            std::memcpy(&word, text.data() + text.size() - 8, 8);
        else
            std::memcpy(&word, p, left);
        hash = (hash ^ word) * k_multiplier;
    }
    // Every bit of the input reaches the bits the index uses.
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDULL;
    hash ^= hash >> 33;
    hash *= 0xC4CEB9FE1A85EC53ULL;
    return hash ^ (hash >> 33);
}

template <class IsName>
PairTable::Slot* PairTable::probe(std::uint32_t tag, IsName const& isName) const {
    Data& d = *m_data;
    std::size_t const size = d.slots.size();
    // The tag scaled to the number of slots: pairs lie in the index in
    // the order of their tags, apart from those moved on by collisions.
    std::size_t at = static_cast<std::size_t>((std::uint64_t(tag) * size) >> 32);
    for (;;) {
        Slot& slot = d.slots[at];
        if (slot.position == 0 || (slot.tag == tag && isName(slot.position - 1))) return &slot;
        if (++at == size) at = 0;
    }
}

PairTable::Slot* PairTable::slotOf(std::string_view name, std::uint64_t hash) const {
    std::vector<Pair> const& pairs = m_data->pairs;
    return probe(tagOf(hash),
                 [&pairs, name](std::uint32_t position) { return pairs[position].nameView() == name; });
}

void PairTable::rebuildIndex(std::size_t slotCount) {
    Data& d = *m_data;
    std::vector<Slot> old(slotCount, Slot{0, 0});
    old.swap(d.slots);
    auto const different = [](std::uint32_t) { return false; };
    if (old.empty()) {
        for (std::size_t i = 0; i < indexedCount(); ++i) {
            std::uint32_t const tag = tagOf(hashOf(d.pairs[i].nameView()));
            *probe(tag, different) = Slot{std::uint32_t(i + 1), tag};
        }
        return;
    }
    // The names are known to differ, and their tags place them: nothing
    // but the slots is read, in about the order of the new index.
    for (Slot const& slot : old) {
        if (slot.position != 0) *probe(slot.tag, different) = slot;
    }
}

PairTable::Pair* PairTable::find(std::string_view name) {
    return const_cast<Pair*>(static_cast<PairTable const*>(this)->find(name));
}

PairTable::Pair const* PairTable::find(std::string_view name) const {
    if (!m_data) return nullptr;
    if (m_data->slots.empty()) {
        for (Pair const& pair : m_data->pairs) {
            if (pair.nameView() == name) return &pair;
        }
        return nullptr;
    }
    Slot const* slot = slotOf(name, hashOf(name));
    return slot->position == 0 ? nullptr : &m_data->pairs[slot->position - 1];
}

std::pair<PairTable::Pair*, bool> PairTable::insert(std::string_view name, std::string_view value) {
    return insert(name, value, m_data && !m_data->slots.empty() ? hashOf(name) : 0);
}

std::pair<PairTable::Pair*, bool> PairTable::insert(std::string_view name, std::string_view value,
                                                    std::uint64_t hash) {
    Data& d = data();
    if (d.slots.empty()) {
        if (Pair* found = find(name)) return {found, false};
        if (d.pairs.size() + 1 > k_linear_limit) rebuildIndex(2 * k_linear_limit);
    } else if (4 * (d.pairs.size() + 1) > 3 * d.slots.size()) {
        rebuildIndex(2 * d.slots.size());
    }
    Slot* slot = nullptr;
    if (!d.slots.empty()) {
        if (hash == 0) hash = hashOf(name);
        slot = slotOf(name, hash);
        if (slot->position != 0) return {&d.pairs[slot->position - 1], false};
    }
    appendPair(name, value, slot, hash);
    return {&d.pairs.back(), true};
}

void PairTable::insertNew(std::string_view name, std::string_view value) {
    Data& d = data();
    if (d.slots.empty() && d.pairs.size() + 1 <= k_linear_limit) {
        appendPair(name, value, nullptr, 0);
        return;
    }
    insert(name, value);
}

void PairTable::appendDistinct(std::vector<Pair> const& pairs) {
    Data& d = data();
    if (!d.slots.empty() || d.pairs.size() + pairs.size() > k_linear_limit) {
        for (Pair const& pair : pairs) insertNew(pair.nameView(), pair.valueView());
        return;
    }
    std::size_t const first = d.pairs.size();
    d.pairs.insert(d.pairs.end(), pairs.begin(), pairs.end());
    d.order.clear();
    if (d.sections) {
        for (std::size_t i = first; i < d.pairs.size(); ++i)
            addToSections(*d.sections, d.pairs, std::uint32_t(i));
    }
}

void PairTable::appendPair(std::string_view name, std::string_view value, Slot* slot, std::uint64_t hash) {
    Data& d = *m_data;
    d.pairs.push_back({name.data(), value.data(), std::uint32_t(name.size()), std::uint32_t(value.size())});
    if (slot) *slot = Slot{std::uint32_t(d.pairs.size()), tagOf(hash)};
    d.order.clear();
    if (d.sections) addToSections(*d.sections, d.pairs, std::uint32_t(d.pairs.size() - 1));
}

void PairTable::appendPending(std::string_view name, std::string_view value, std::uint64_t hash) {
    Data& d = data();
    d.pairs.push_back({name.data(), value.data(), std::uint32_t(name.size()), std::uint32_t(value.size())});
    d.pending_tags.push_back(tagOf(hash));
}

void PairTable::reservePending(std::size_t count) {
    Data& d = data();
    std::size_t const wanted = d.pairs.size() + count;
    // Room made block by block for a streamed input grows geometrically.
    if (wanted > d.pairs.capacity()) d.pairs.reserve(std::max(wanted, 2 * d.pairs.capacity()));
    if (d.pending_tags.size() + count > d.pending_tags.capacity())
        d.pending_tags.reserve(std::max(d.pending_tags.size() + count, 2 * d.pending_tags.capacity()));
}

std::vector<PairTable::Dropped> PairTable::indexPending(bool lastValueWins) {
    std::vector<Dropped> result;
    if (!m_data || m_data->pending_tags.empty()) return result;
    Data& d = *m_data;
    std::size_t const count = d.pairs.size();
    if (d.slots.empty() && count > k_linear_limit)
        rebuildIndex(std::max(2 * k_linear_limit, count + count / 3 + 1));
    if (!d.slots.empty() && 4 * count > 3 * d.slots.size())
        rebuildIndex(std::max(2 * d.slots.size(), count + count / 3 + 1));
    std::vector<bool> isDropped(d.pending_tags.size(), false);
    if (d.slots.empty())
        indexPendingLinearly(isDropped, lastValueWins);
    else
        indexPendingByTag(isDropped, lastValueWins);
    std::vector<std::uint32_t> dropped;
    for (std::uint32_t i = 0; i < isDropped.size(); ++i) {
        if (!isDropped[i]) continue;
        dropped.push_back(i);
        result.push_back({i, d.pairs[indexedCount() + i].nameView()});
    }
    removeDropped(dropped);
    d.pending_tags.clear();
    d.order.clear();
    if (d.sections) {
        for (std::uint32_t i = std::uint32_t(d.pairs.size() - (isDropped.size() - dropped.size()));
             i < d.pairs.size(); ++i)
            addToSections(*d.sections, d.pairs, i);
    }
    return result;
}

void PairTable::indexPendingLinearly(std::vector<bool>& dropped, bool lastValueWins) {
    Data& d = *m_data;
    std::size_t const first = indexedCount();
    for (std::size_t i = first; i < d.pairs.size(); ++i) {
        for (std::size_t j = 0; j < i && !dropped[i - first]; ++j) {
            if ((j < first || !dropped[j - first]) && d.pairs[j].nameView() == d.pairs[i].nameView()) {
                dropped[i - first] = true;
                if (lastValueWins) setValue(d.pairs[j], d.pairs[i].valueView());
            }
        }
    }
}

void PairTable::indexPendingByTag(std::vector<bool>& dropped, bool lastValueWins) {
    Data& d = *m_data;
    std::vector<std::uint32_t> const& tags = d.pending_tags;
    struct Entry {
        std::uint32_t tag;
        std::uint32_t index;
    };
    std::vector<Pair>& pairs = d.pairs;
    std::uint32_t const first = std::uint32_t(indexedCount());
    std::size_t const size = d.slots.size();
    // Indexes the pending pairs in the order entryAt(k) gives them.
    auto const indexInOrder = [&](auto const& entryAt) {
        for (std::size_t k = 0; k < tags.size(); ++k) {
            // The slot of a later pair is fetched while this one is indexed.
            if (k + k_prefetch_distance < tags.size())
                __builtin_prefetch(
                    &d.slots[(std::uint64_t(entryAt(k + k_prefetch_distance).tag) * size) >> 32]);
            Entry const entry = entryAt(k);
            std::uint32_t const position = first + entry.index;
            Slot* slot = probe(entry.tag, [&pairs, position](std::uint32_t other) {
                return pairs[other].nameView() == pairs[position].nameView();
            });
            if (slot->position == 0) {
                *slot = Slot{position + 1, entry.tag};
                continue;
            }
            dropped[entry.index] = true;
            if (lastValueWins) setValue(pairs[slot->position - 1], pairs[position].valueView());
        }
    };
    // An index that fits the cache is filled in the pairs' own order.
    if (size * sizeof(Slot) <= k_cached_index_bytes) {
        indexInOrder([&tags](std::size_t k) { return Entry{tags[k], std::uint32_t(k)}; });
        return;
    }
    // A larger one is filled group by group: the pending pairs are grouped
    // by the top bits of their tags, each group of a stretch of a few
    // hundred slots, keeping their order within a group, so that the pairs
    // of one name stay in the order they came.
    int bits = 0;
    while (bits < k_group_bits && (std::size_t(k_slots_per_group) << bits) < size) ++bits;
    std::vector<std::uint32_t> starts((std::size_t(1) << bits) + 1, 0);
    auto const groupOf = [bits](std::uint32_t tag) { return bits == 0 ? 0 : tag >> (32 - bits); };
    for (std::uint32_t tag : tags) ++starts[groupOf(tag) + 1];
    for (std::size_t g = 1; g < starts.size(); ++g) starts[g] += starts[g - 1];
    std::vector<Entry> grouped(tags.size());
    for (std::uint32_t i = 0; i < tags.size(); ++i) grouped[starts[groupOf(tags[i])]++] = Entry{tags[i], i};
    indexInOrder([&grouped](std::size_t k) { return grouped[k]; });
}

void PairTable::removeDropped(std::vector<std::uint32_t> const& dropped) {
    if (dropped.empty()) return;
    Data& d = *m_data;
    std::uint32_t const first = std::uint32_t(indexedCount());
    // renumbered[i]: the new position + 1 of pending pair i.
    std::vector<std::uint32_t> renumbered(d.pending_tags.size(), 0);
    std::uint32_t kept = first;
    auto next = dropped.begin();
    for (std::uint32_t i = 0; i < renumbered.size(); ++i) {
        if (next != dropped.end() && *next == i) {
            ++next;
            continue;
        }
        d.pairs[kept] = d.pairs[first + i];
        renumbered[i] = ++kept;
    }
    d.pairs.resize(kept);
    for (Slot& slot : d.slots) {
        if (slot.position > first) slot.position = renumbered[slot.position - 1 - first];
    }
}

PairTable::Slot* PairTable::sectionSlot(std::vector<Slot>& slots, std::vector<Section> const& sections,
                                        std::string_view name, std::uint32_t tag) {
    std::size_t at = static_cast<std::size_t>((std::uint64_t(tag) * slots.size()) >> 32);
    for (;;) {
        Slot& slot = slots[at];
        if (slot.position == 0 || (slot.tag == tag && sections[slot.position - 1].name == name)) return &slot;
        if (++at == slots.size()) at = 0;
    }
}

std::uint32_t PairTable::sectionOf(Sections& sections, std::string_view name) {
    std::uint32_t const tag = tagOf(hashOf(name));
    if (!sections.by_name.empty()) {
        Slot const* slot = sectionSlot(sections.by_name, sections.sections, name, tag);
        if (slot->position != 0) return slot->position - 1;
    }
    std::uint32_t const index = std::uint32_t(sections.sections.size());
    sections.sections.emplace_back();
    sections.sections.back().name = name;
    // At most three quarters of the slots in use; growing places the
    // sections by their tags again.
    if (4 * sections.sections.size() > 3 * sections.by_name.size()) {
        std::vector<Slot> grown(std::max<std::size_t>(64, 2 * sections.by_name.size()), Slot{0, 0});
        for (Slot const& slot : sections.by_name) {
            if (slot.position != 0)
                *sectionSlot(grown, sections.sections, sections.sections[slot.position - 1].name, slot.tag) =
                    slot;
        }
        sections.by_name.swap(grown);
    }
    *sectionSlot(sections.by_name, sections.sections, name, tag) = Slot{index + 1, tag};
    void const* dot = memrchr(name.data(), '.', name.size());
    if (dot != nullptr) {
        std::uint32_t const parent =
            sectionOf(sections, name.substr(0, std::size_t(static_cast<char const*>(dot) - name.data())));
        sections.sections[index].next_sibling = sections.sections[parent].first_child;
        sections.sections[parent].first_child = index + 1;
    }
    return index;
}

void PairTable::addToSections(Sections& sections, std::vector<Pair> const& pairs, std::uint32_t position) {
    if (sections.next_in_section.size() < pairs.size()) sections.next_in_section.resize(pairs.size(), 0);
    std::string_view const name = pairs[position].nameView();
    void const* dot = memrchr(name.data(), '.', name.size());
    if (dot == nullptr) return;
    std::string_view const sectionName =
        name.substr(0, std::size_t(static_cast<char const*>(dot) - name.data()));
    if (sections.sections.empty() || sectionName != sections.last_name) {
        sections.last_index = sectionOf(sections, sectionName);
        sections.last_name = sectionName;
    }
    Section& section = sections.sections[sections.last_index];
    sections.next_in_section[position] = section.first_pair;
    section.first_pair = position + 1;
}

void PairTable::inSection(std::string_view prefix, std::vector<std::uint32_t>& found) const {
    Data& d = *m_data;
    if (!d.sections) {
        d.sections = std::make_shared<Sections>();
        d.sections->next_in_section.resize(d.pairs.size(), 0);
        for (std::uint32_t i = 0; i < d.pairs.size(); ++i) addToSections(*d.sections, d.pairs, i);
    }
    Sections& sections = *d.sections;
    if (sections.by_name.empty()) return;
    std::string_view const topName = prefix.substr(0, prefix.size() - 1);
    Slot const* top = sectionSlot(sections.by_name, sections.sections, topName, tagOf(hashOf(topName)));
    if (top->position == 0) return;
    std::vector<std::uint32_t>& pending = sections.pending;
    pending.assign(1, top->position - 1);
    while (!pending.empty()) {
        Section const& section = sections.sections[pending.back()];
        pending.pop_back();
        // A section's pairs are linked newest first: reversed, they are in
        // the order they were added.
        std::size_t const sectionStart = found.size();
        for (std::uint32_t pair = section.first_pair; pair != 0; pair = sections.next_in_section[pair - 1])
            found.push_back(pair - 1);
        std::reverse(found.begin() + std::ptrdiff_t(sectionStart), found.end());
        for (std::uint32_t child = section.first_child; child != 0;
             child = sections.sections[child - 1].next_sibling)
            pending.push_back(child - 1);
    }
    // All begin with the prefix: the rest of each name decides the order.
    std::size_t const skip = prefix.size();
    auto const byRest = [&d, skip](std::uint32_t a, std::uint32_t b) {
        return d.pairs[a].nameView().substr(skip) < d.pairs[b].nameView().substr(skip);
    };
    // The sections of a configuration's nodes mostly hold the same keys,
    // added in the same order: the arrangement the last section was sorted
    // by is tried first. Names are distinct, so a range in order is the
    // sorted one.
    std::vector<std::uint32_t>& last = sections.last_arrangement;
    std::vector<std::uint32_t>& arranged = sections.arranged;
    arranged.resize(found.size());
    if (last.size() == found.size()) {
        for (std::size_t i = 0; i < found.size(); ++i) arranged[i] = found[last[i]];
        if (std::is_sorted(arranged.begin(), arranged.end(), byRest)) {
            found.swap(arranged);
            return;
        }
    }
    for (std::uint32_t i = 0; i < arranged.size(); ++i) arranged[i] = i;
    std::sort(arranged.begin(), arranged.end(),
              [&found, &byRest](std::uint32_t a, std::uint32_t b) { return byRest(found[a], found[b]); });
    last = arranged;
    for (std::uint32_t& position : arranged) position = found[position];
    found.swap(arranged);
}

void PairTable::setValue(Pair& pair, std::string_view value) {
    pair.value = value.data();
    pair.value_size = std::uint32_t(value.size());
}

std::string_view PairTable::keep(std::string_view text) {
    if (text.empty()) return std::string_view();
    Data& d = data();
    if (text.size() > d.room_size) {
        std::size_t const size = std::max(text.size(), d.next_block_size);
        d.next_block_size = std::min(2 * d.next_block_size, k_largest_block);
        Block block(new char[size]);
        d.blocks.push_back(block);
        d.room = block.get();
        d.room_size = size;
    }
    std::memcpy(d.room, text.data(), text.size());
    std::string_view const kept(d.room, text.size());
    d.room += text.size();
    d.room_size -= text.size();
    return kept;
}

void PairTable::hold(Block const& block) {
    std::vector<Block>& blocks = data().blocks;
    if (std::find(blocks.begin(), blocks.end(), block) == blocks.end()) blocks.push_back(block);
}

void PairTable::shareTextOf(PairTable const& other) {
    if (&other == this || !other.m_data) return;
    for (Block const& block : other.m_data->blocks) hold(block);
}

bool PairTable::ordered() const {
    return !m_data || m_data->order.size() == m_data->pairs.size();
}

std::vector<std::uint32_t> const& PairTable::order() const {
    static std::vector<std::uint32_t> const s_none;
    if (!m_data) return s_none;
    Data& d = *m_data;
    if (!ordered()) {
        d.order.resize(d.pairs.size());
        for (std::uint32_t i = 0; i < d.order.size(); ++i) d.order[i] = i;
        std::sort(d.order.begin(), d.order.end(), [&d](std::uint32_t a, std::uint32_t b) {
            return d.pairs[a].nameView() < d.pairs[b].nameView();
        });
    }
    return d.order;
}

std::vector<std::uint32_t> PairTable::withPrefix(std::string_view prefix) const {
    std::vector<std::uint32_t> found;
    withPrefix(prefix, found);
    return found;
}

void PairTable::withPrefix(std::string_view prefix, std::vector<std::uint32_t>& found) const {
    found.clear();
    if (!m_data) return;
    Data& d = *m_data;
    // Most names differ from the prefix in their first character.
    auto const matches = [&prefix](Pair const& pair) {
        return pair.name_size >= prefix.size() &&
               (prefix.empty() ||
                (pair.name[0] == prefix[0] && std::memcmp(pair.name, prefix.data(), prefix.size()) == 0));
    };
    auto const byName = [&d](std::uint32_t a, std::uint32_t b) {
        return d.pairs[a].nameView() < d.pairs[b].nameView();
    };
    bool const isSection = !prefix.empty() && prefix.back() == '.';
    // A section of a large table comes from the section index, which one
    // pass over the names builds (about what a single scan costs).
    if (!ordered() && isSection && d.pairs.size() > k_scan_limit) {
        inSection(prefix, found);
        return;
    }
    if (!ordered() && (d.pairs.size() <= k_scan_limit || d.unordered_prefix_scans < k_scans_before_sorting)) {
        if (d.pairs.size() > k_scan_limit) ++d.unordered_prefix_scans;
        for (std::uint32_t i = 0; i < d.pairs.size(); ++i) {
            if (matches(d.pairs[i])) found.push_back(i);
        }
        std::sort(found.begin(), found.end(), byName);
        return;
    }
    std::vector<std::uint32_t> const& all = order();
    auto at = std::lower_bound(all.begin(), all.end(), prefix, [&d](std::uint32_t i, std::string_view p) {
        return d.pairs[i].nameView() < p;
    });
    for (; at != all.end() && matches(d.pairs[*at]); ++at) found.push_back(*at);
}

}  // namespace Configuration
