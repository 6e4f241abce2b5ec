#include "configuration/PairTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Configuration::PairTable;
using Model = std::map<std::string, std::string>;

std::vector<std::string> namesOf(PairTable const& table, std::vector<std::uint32_t> const& positions) {
    std::vector<std::string> names;
    for (std::uint32_t position : positions) names.emplace_back(table.at(position).nameView());
    return names;
}

std::vector<std::string> modelNamesWithPrefix(Model const& model, std::string const& prefix) {
    std::vector<std::string> names;
    for (auto const& pair : model) {
        if (pair.first.compare(0, prefix.size(), prefix) == 0) names.push_back(pair.first);
    }
    return names;
}

// Random dotted names, inserts, copies and prefix queries against an
// ordered map: small tables (searched linearly), large ones (indexed),
// queries before and after the names are sorted, with sections grouped
// on demand and kept up to date by later inserts.
TEST(PairTable, BehavesAsAnOrderedMapOfItsFirstValues) {
    std::mt19937 random(7);
    for (int size : {5, 40, 3000}) {
        SCOPED_TRACE(size);
        PairTable table;
        Model model;
        std::vector<std::string> prefixes = {"", "a", "a.", "a.b.", "b.a.", "c", ".", "a.b.c."};
        for (int i = 0; i < size; ++i) {
            std::string name;
            for (int part = 0, parts = 1 + int(random() % 4); part < parts; ++part)
                name += (part ? "." : "") + std::string(1, char('a' + random() % 3)) +
                        (random() % 2 ? std::to_string(random() % 5) : "");
            std::string const value = "v" + std::to_string(i);
            bool const added = table.insert(table.keep(name), table.keep(value)).second;
            EXPECT_EQ(model.emplace(name, value).second, added) << name;
            if (i % 97 == 0) {
                for (std::string const& prefix : prefixes)
                    EXPECT_EQ(namesOf(table, table.withPrefix(prefix)), modelNamesWithPrefix(model, prefix));
            }
        }
        PairTable const copy = table;
        table.insert(table.keep("a.b.zz"), table.keep("late"));
        for (auto const& pair : model) {
            PairTable::Pair const* found = copy.find(pair.first);
            ASSERT_NE(found, nullptr) << pair.first;
            EXPECT_EQ(found->valueView(), pair.second);
        }
        EXPECT_EQ(copy.find("a.b.zz"), nullptr);
        model.emplace("a.b.zz", "late");
        for (std::string const& prefix : prefixes) {
            EXPECT_EQ(namesOf(table, table.withPrefix(prefix)), modelNamesWithPrefix(model, prefix))
                << prefix;
            EXPECT_EQ(namesOf(table, table.withPrefix(prefix)), modelNamesWithPrefix(model, prefix))
                << prefix;
        }
        std::vector<std::string> ordered = namesOf(table, table.order());
        EXPECT_EQ(ordered, modelNamesWithPrefix(model, ""));
    }
}

// Text kept by a table stays where it is while the table grows, and a
// copy appends to blocks of its own.
TEST(PairTable, KeptTextStaysAndCopiesDoNotShareFreeRoom) {
    PairTable table;
    std::string_view const first = table.keep("first");
    PairTable copy = table;
    std::string_view const mine = table.keep("mine");
    std::string_view const theirs = copy.keep("theirs");
    for (int i = 0; i < 1000; ++i) table.keep(std::string(100, 'x'));
    EXPECT_EQ(first, "first");
    EXPECT_EQ(mine, "mine");
    EXPECT_EQ(theirs, "theirs");
    EXPECT_EQ(table.keep(""), "");
}

// Pairs appended in bulk and indexed at once end as inserting them one by
// one would leave them: in a table searched linearly, one that becomes
// indexed, and an indexed one; names repeated among the new pairs and
// names there before; the first value staying or, for lastValueWins, the
// last one.
TEST(PairTable, PendingPairsIndexAsInsertedOneByOne) {
    struct Case {
        int before;
        int pending;
        int names;
        bool last_value_wins;
    } const cases[] = {
        {0, 10, 6, false},
        {3, 20, 12, true},
        {30, 30, 50, false},
        {60, 10, 65, true},
        {0, 3000, 2000, false},
        {500, 5000, 800, true},
        {2000, 3000, 100000, false},
        // An index larger than a cache: filled group by group.
        {1000, 300000, 200000, true},
    };
    std::mt19937 random(11);
    for (Case const& c : cases) {
        SCOPED_TRACE(testing::Message() << c.before << " before, " << c.pending << " pending");
        PairTable table;
        PairTable expected;
        auto const nameOf = [&] {
            return "s" + std::to_string(random() % 7) + ".n" + std::to_string(random() % c.names);
        };
        for (int i = 0; i < c.before; ++i) {
            std::string const name = nameOf();
            table.insert(table.keep(name), table.keep("old"));
            expected.insert(expected.keep(name), expected.keep("old"));
        }
        table.withPrefix("s1.");  // the sections of the names, kept up to date by the new pairs
        table.reservePending(std::size_t(c.pending) / 2);  // fewer than come
        std::vector<std::uint32_t> expectedDropped;
        std::vector<std::string> droppedNames;
        for (int i = 0; i < c.pending; ++i) {
            std::string const name = nameOf();
            std::string const value = "v" + std::to_string(i);
            table.appendPending(table.keep(name), table.keep(value), PairTable::hashOf(name));
            auto const [pair, added] = expected.insert(expected.keep(name), expected.keep(value));
            if (added) continue;
            expectedDropped.push_back(std::uint32_t(i));
            droppedNames.push_back(name);
            if (c.last_value_wins) PairTable::setValue(*pair, expected.keep(value));
        }
        std::vector<PairTable::Dropped> const dropped = table.indexPending(c.last_value_wins);
        ASSERT_EQ(dropped.size(), expectedDropped.size());
        for (std::size_t i = 0; i < dropped.size(); ++i) {
            EXPECT_EQ(dropped[i].index, expectedDropped[i]);
            EXPECT_EQ(dropped[i].name, droppedNames[i]);
        }
        ASSERT_EQ(table.size(), expected.size());
        for (std::uint32_t i = 0; i < table.size(); ++i) {
            EXPECT_EQ(table.at(i).nameView(), expected.at(i).nameView());
            EXPECT_EQ(table.at(i).valueView(), expected.at(i).valueView());
            PairTable::Pair const* found = table.find(expected.at(i).nameView());
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(found, &table.at(i));
        }
        EXPECT_EQ(table.find("s9.absent"), nullptr);
        for (std::string const prefix : {"s1.", "s6.", ""})
            EXPECT_EQ(namesOf(table, table.withPrefix(prefix)),
                      namesOf(expected, expected.withPrefix(prefix)));
        EXPECT_TRUE(table.insert(table.keep("s0.late"), table.keep("x")).second);
        EXPECT_FALSE(table.insert(expected.at(0).nameView(), "y").second);
    }
}

// Section queries of a large table whose nodes' names came in name
// order, in reverse, or each node's in another order (so that the order
// one node's section was sorted into does not fit the next): each answer
// is the section's names in name order.
TEST(PairTable, SectionsInAnyInsertionOrderAreAnsweredInNameOrder) {
    std::vector<std::string> sorted;
    for (int node = 0; node < 40; ++node) {
        std::string const section = "sys.n" + std::to_string(100 + node) + ".";
        for (char const* key : {"a", "a.x", "a.y", "b", "b-c", "c.d.e", "z"}) sorted.push_back(section + key);
    }
    std::vector<std::string> reversed(sorted.rbegin(), sorted.rend());
    std::vector<std::string> mixed = sorted;
    std::shuffle(mixed.begin(), mixed.end(), std::mt19937(3));
    for (auto const& names : {sorted, reversed, mixed}) {
        PairTable table;
        Model model;
        for (std::string const& name : names) {
            table.insert(table.keep(name), table.keep("v"));
            model.emplace(name, "v");
        }
        for (std::string const prefix : {"sys.n100.", "sys.n117.", "sys.n139.", "sys.n101.", "sys.n117.a.",
                                         "sys.n120.", "sys.n121.", "sys.n117.c.", "sys.n102."})
            EXPECT_EQ(namesOf(table, table.withPrefix(prefix)), modelNamesWithPrefix(model, prefix))
                << names.front() << " first, " << prefix;
    }
}

}  // namespace
