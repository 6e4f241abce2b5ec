// The pair table of a property store: names and values are views into
// blocks of text that the table holds. A block is shared, never copied,
// between the tables that take pairs from one another (a node's section
// and the system configuration it came from), and what is written into a
// block is never changed afterwards, so each table only ever appends to
// blocks of its own. Pairs are found through an open-addressing index by
// name; the name order is sorted when it is first asked for. Many pairs
// appended at once are indexed at once, in the order of their index
// slots, so that filling a large index goes through it from end to end.
#ifndef CONFIGURATION_PAIRTABLE_H
#define CONFIGURATION_PAIRTABLE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace Configuration {

class PairTable {
public:
    struct Pair {
        char const* name;
        char const* value;
        std::uint32_t name_size;
        std::uint32_t value_size;
        std::string_view nameView() const { return {name, name_size}; }
        std::string_view valueView() const { return {value, value_size}; }
    };
    using Block = std::shared_ptr<char[]>;

    PairTable() = default;
    PairTable(PairTable const& other);
    PairTable& operator=(PairTable const& other);
    PairTable(PairTable&& other) noexcept = default;
    PairTable& operator=(PairTable&& other) noexcept = default;
    ~PairTable();

    std::size_t size() const { return m_data ? m_data->pairs.size() : 0; }
    bool empty() const { return size() == 0; }
    // Removes every pair; the text stays held.
    void clear();
    void reserve(std::size_t count);

    Pair* find(std::string_view name);
    Pair const* find(std::string_view name) const;
    // Adds a pair whose texts the table holds already, unless the name is
    // there; returns the pair of the name and whether it was added.
    std::pair<Pair*, bool> insert(std::string_view name, std::string_view value);
    // The same with the name's hashOf.
    std::pair<Pair*, bool> insert(std::string_view name, std::string_view value, std::uint64_t hash);
    static std::uint64_t hashOf(std::string_view text);
    // Appends a pair whose texts the table holds already without looking
    // for its name; find and insert see it once indexPending has run.
    void appendPending(std::string_view name, std::string_view value, std::uint64_t hash);
    // Takes the pending pairs as insert would have taken them one after
    // another: a pair whose name is there already, or came earlier among
    // them, is dropped; with lastValueWins, its value then replaces that
    // of the pair of its name (as setValue after a find). Returns the dropped ones' indices among the
    // pending pairs, ascending, with their names.
    struct Dropped {
        std::uint32_t index;
        std::string_view name;
    };
    std::vector<Dropped> indexPending(bool lastValueWins = false);
    // Makes room for count more pending pairs, leaving the index as it is.
    void reservePending(std::size_t count);
    // As insert, for a name the caller knows is not there.
    void insertNew(std::string_view name, std::string_view value);
    // As insertNew for each, for distinct names.
    void appendDistinct(std::vector<Pair> const& pairs);
    static void setValue(Pair& pair, std::string_view value);

    // A copy of text in a block of this table's own.
    std::string_view keep(std::string_view text);
    // Holds a block that views of this table point into.
    void hold(Block const& block);
    // Holds every block of other, so that its views can be taken over.
    void shareTextOf(PairTable const& other);

    Pair const& at(std::uint32_t index) const { return m_data->pairs[index]; }
    // Positions of the pairs in name order (byte-wise).
    std::vector<std::uint32_t> const& order() const;
    // Positions of the pairs whose names begin with prefix, in name order.
    std::vector<std::uint32_t> withPrefix(std::string_view prefix) const;
    // The same into found, whose room is reused.
    void withPrefix(std::string_view prefix, std::vector<std::uint32_t>& found) const;

private:
    // A slot of the index: the position + 1 of a pair (0 when free) and
    // the high half of its name's hash (the tag), which places the pair in
    // the index and which most mismatches stop at.
    struct Slot {
        std::uint32_t position;
        std::uint32_t tag;
    };
    // The names grouped by the text before their last dot ("a.b" for
    // "a.b.c"), each group linked to those one level below it: the names
    // under "a.b." are those of group "a.b" and of the groups below it.
    // Lets a large table answer prefix queries that end in a dot (a node's
    // section) without sorting all its names.
    struct Section {
        std::string_view name;
        std::uint32_t first_pair = 0;   // position + 1, 0 for none
        std::uint32_t first_child = 0;  // section index + 1
        std::uint32_t next_sibling = 0;
    };
    struct Sections {
        // The sections by name, as the pairs are found by theirs: the
        // section index + 1 (0 when free) and the tag of its name.
        std::vector<Slot> by_name;
        std::vector<Section> sections;
        std::vector<std::uint32_t> next_in_section;  // per pair, position + 1
        // How the last section asked for was sorted: its i-th name in
        // order was its last_arrangement[i]-th as collected.
        std::vector<std::uint32_t> last_arrangement;
        // Room for the sections still to visit and a sorting, reused.
        std::vector<std::uint32_t> pending;
        std::vector<std::uint32_t> arranged;
        // The section the last pair added went to: a configuration lists
        // a node's keys one after another, so most pairs go to the same
        // section as the pair before them and need no search by name.
        std::string_view last_name;
        std::uint32_t last_index = 0;
    };
    // Everything but the pointer to it, so that an empty table (a node's
    // asm and abi sets are mostly empty) takes no more than a pointer.
    struct Data {
        std::vector<Pair> pairs;           // in insertion order
        std::vector<Slot> slots;           // empty for small tables
        std::vector<std::uint32_t> order;  // valid while as long as pairs
        int unordered_prefix_scans = 0;
        std::vector<Block> blocks;
        char* room = nullptr;  // free part of the last block of this table's own
        std::size_t room_size = 0;
        std::size_t next_block_size = 256;
        std::shared_ptr<Sections> sections;       // made on demand; a copy of the table goes without
        std::vector<std::uint32_t> pending_tags;  // of the last pairs, not indexed yet
    };

    static std::uint32_t tagOf(std::uint64_t hash) { return std::uint32_t(hash >> 32); }
    // The slot of a name with the tag, or the free slot where it goes;
    // isName(position) tells whether the pair there has the name.
    template <class IsName>
    Slot* probe(std::uint32_t tag, IsName const& isName) const;
    Slot* slotOf(std::string_view name, std::uint64_t hash) const;
    // Indexes the pairs before the pending ones in slotCount slots.
    void rebuildIndex(std::size_t slotCount);
    std::size_t indexedCount() const { return m_data->pairs.size() - m_data->pending_tags.size(); }
    // Indexes the pending pairs; marks those dropped in `dropped`.
    void indexPendingLinearly(std::vector<bool>& dropped, bool lastValueWins);
    void indexPendingByTag(std::vector<bool>& dropped, bool lastValueWins);
    // Removes the dropped pending pairs and renumbers the index.
    void removeDropped(std::vector<std::uint32_t> const& dropped);
    Data& data();
    bool ordered() const;
    void appendPair(std::string_view name, std::string_view value, Slot* slot, std::uint64_t hash);
    static std::uint32_t sectionOf(Sections& sections, std::string_view name);
    // The slot of the section with the name, or the free one where it goes.
    static Slot* sectionSlot(std::vector<Slot>& slots, std::vector<Section> const& sections,
                             std::string_view name, std::uint32_t tag);
    static void addToSections(Sections& sections, std::vector<Pair> const& pairs, std::uint32_t position);
    void inSection(std::string_view prefix, std::vector<std::uint32_t>& found) const;

    std::unique_ptr<Data> m_data;
};

}  // namespace Configuration

#endif  // CONFIGURATION_PAIRTABLE_H
