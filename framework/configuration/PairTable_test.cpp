#include "configuration/PairTable.h"

#include <gtest/gtest.h>

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

}  // namespace
