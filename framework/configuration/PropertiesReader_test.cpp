// The reader over whole buffers and blocks: line ends, the end of the
// input, continuations and lines that span the blocks of a streamed
// input, NUL bytes, and selective reads.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "configuration/Properties.h"
#include "configuration/PropertiesSelection.h"
#include "tests/support/TemporaryDirectory.h"

namespace {

using Configuration::Properties;
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs pairsOf(Properties& store) {
    Pairs pairs;
    std::vector<std::string> names;
    store.getNames(names);
    for (std::string const& name : names) {
        std::string value;
        store.get(value, name, false);
        pairs.emplace_back(name, value);
    }
    return pairs;
}

std::string lastError(Properties const& store) {
    std::string message;
    store.getLastErrorMessage(message);
    return message;
}

struct Read {
    bool ok;
    Pairs pairs;
    std::string error;
};

// The text as a file (one block), as a stream (blocks of the reader's
// size) and, without NUL bytes, as a string: all three read alike.
std::vector<Read> readEveryWay(std::string const& text, std::string const& fileName) {
    TestSupport::TemporaryDirectory directory;
    std::string const path = directory.write(fileName, text);
    std::vector<Read> reads;
    Properties fromFile(path.c_str());
    reads.push_back({fromFile.isReady(), pairsOf(fromFile), lastError(fromFile)});
    Properties fromStream;
    std::istringstream in(text);
    bool const streamed = fromStream.readStream(in);
    reads.push_back({streamed, pairsOf(fromStream), lastError(fromStream)});
    if (text.find('\0') == std::string::npos) {
        Properties fromText;
        bool const read = fromText.readText(text);
        reads.push_back({read, pairsOf(fromText), lastError(fromText)});
    }
    return reads;
}

TEST(PropertiesBlockReader, EdgesOfLinesAndInput) {
    std::string const file = "in.cfg";
    std::string const syntax = "Syntax error at line number ";
    struct Case {
        char const* name;
        std::string text;
        Read expected;  // errors as the file read gives them
    } const cases[] = {
        {"empty input", "", {true, {}, ""}},
        {"CRLF line ends", "a = 1\r\nb[] = x,y\r\n", {true, {{"a", " 1"}, {"b", " x,y"}}, ""}},
        {"no final newline", "a = 1\nb = 2", {true, {{"a", " 1"}, {"b", " 2"}}, ""}},
        {"continuation at the end, newline", "a = x\\\n", {true, {{"a", " x"}}, ""}},
        {"continuation at the end, no newline", "=x\\", {false, {}, syntax + "2 in file: "}},
        {"continued twice, error on the last line", "=a\\\nb\\\nc\n", {false, {}, syntax + "3 in file: "}},
        {"continued into an empty line", "a = x \\\n\nb = 2\n", {true, {{"a", " x"}, {"b", " 2"}}, ""}},
        {"NUL bytes are text",
         std::string("a = x\0y\nb\0 = 2\n", 15),
         {true, {{"a", std::string(" x\0y", 4)}, {std::string("b\0", 2), " 2"}}, ""}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        for (Read const& read : readEveryWay(c.text, file)) {
            EXPECT_EQ(read.ok, c.expected.ok);
            EXPECT_EQ(read.pairs, c.expected.pairs);
            if (!c.expected.ok) {
                EXPECT_EQ(read.error.rfind(c.expected.error, 0), 0u) << read.error;
            }
        }
    }
}

// A streamed input is read in blocks of 1 MiB: lines, continuations and
// a line of the greatest length that cross from one block into the next
// read as in one piece, and line numbers count on across blocks.
TEST(PropertiesBlockReader, LinesAcrossBlocks) {
    std::size_t const block = std::size_t(1) << 20;
    for (std::size_t shift : {0, 1, 2, 3, 7}) {
        SCOPED_TRACE(shift);
        std::string text;
        int lines = 0;
        while (text.size() + 100 < block - shift) {
            text += "# " + std::string(60, 'c') + "\n";
            ++lines;
        }
        text += std::string(block - shift - text.size() - 1, ' ') + "\n";
        text += "k = a\\\n b\nlong = " + std::string(Properties::s_max_line_length - 7, 'v') + "\n=bad\n";
        lines += 5;
        Properties store;
        std::istringstream in(text);
        EXPECT_FALSE(store.readStream(in));
        EXPECT_EQ(lastError(store), "Syntax error at line number " + std::to_string(lines) +
                                        " in file: No file name given\n\t'=bad'");
        std::string value;
        EXPECT_TRUE(store.get(value, "k", false));
        EXPECT_EQ(value, " a  b");
        EXPECT_TRUE(store.get(value, "long", false));
        EXPECT_EQ(value.size(), Properties::s_max_line_length - 6);
    }
}

// A selective read stores what a full read stores for the names it
// selects, and fails as a full read fails.
TEST(PropertiesBlockReader, SelectiveReadsMatchFullReads) {
    std::string text;
    for (int i = 0; i < 40000; ++i) {
        std::string const section =
            "system.chip" + std::to_string(i % 97) + ".core" + std::to_string(i) + ".";
        text += section + "size = " + std::to_string(i) + "\n" + section + "list[;] = a;b\n";
        if (i % 1000 == 0) text += section + "size = duplicate\n" + section + "home = $(HOME)/x\n";
    }
    TestSupport::TemporaryDirectory directory;
    auto const selectEvery = [](std::string_view name) {
        return name.find("core1") != std::string_view::npos;
    };
    for (std::string const& tail : {std::string(), std::string("broken line\n")}) {
        std::string const path = directory.write("big.cfg", text + tail);
        Properties full(path.c_str());
        Properties selected;
        EXPECT_EQ(Configuration::PropertiesSelection::addFromFile(selected, path.c_str(), selectEvery),
                  full.isReady());
        EXPECT_EQ(selected.isReady(), full.isReady());
        if (!full.isReady()) {
            EXPECT_EQ(lastError(selected), lastError(full));
            continue;
        }
        Pairs expected;
        for (auto const& pair : pairsOf(full)) {
            if (selectEvery(pair.first)) expected.push_back(pair);
        }
        EXPECT_EQ(pairsOf(selected), expected);
        std::string delimiter;
        EXPECT_TRUE(selected.getDelimiter(delimiter, "system.chip1.core1.list"));
        EXPECT_EQ(delimiter, ";");
        EXPECT_FALSE(selected.getDelimiter(delimiter, "system.chip2.core2.list"));
    }
}

// A section read from the places noted by a first reading gives what a
// reading of the whole file for that section gives: pairs, warnings with
// their line numbers, and failures; also when the file changed since.
TEST(PropertiesBlockReader, SectionReadsMatchWholeFileReads) {
    using Configuration::PropertiesSelection;
    std::string const text =
        "chip-id = 0\n"
        "system.c0.n0.a = 1\n"
        "system.c0.n0.b = 2\n"
        "# a comment between\n"
        "\n"
        "system.c0.n1.a = 3\n"
        "system.c0.n0.c = 4 \\\n  continued\n"
        "system.c0.n1.a = 5\n"
        "system.c0.nodes[] = n0,n1\n"
        "system.c0.n2.l[;] = x;y\n"
        "system.c0.n2.e =\n"
        "system.c0.n0.b = 6\n"
        "system.c.0.n3.a = 7\n"
        "node-id = 0\n";
    auto const readBoth = [](std::string const& path, std::string const& prefix, bool byPlaces) {
        Properties store;
        PropertiesSelection::SectionPlaces places;
        auto const firstKeys = [](std::string_view name) {
            return name.find("-id") != std::string_view::npos;
        };
        PropertiesSelection::addFromFile(store, path.c_str(), firstKeys, places);
        bool const ok =
            byPlaces
                ? PropertiesSelection::addSectionFromFile(store, path.c_str(), prefix, places)
                : PropertiesSelection::addFromFile(store, path.c_str(), [&prefix](std::string_view name) {
                      return name.compare(0, prefix.size(), prefix) == 0;
                  });
        return Read{ok, pairsOf(store), lastError(store)};
    };
    TestSupport::TemporaryDirectory directory;
    std::string const path = directory.write("t.cfg", text);
    for (std::string const prefix : {"system.c0.n0.", "system.c0.n1.", "system.c0.n2.", "system.c.0.n3.",
                                     "system.c0.n9.", "system.c0."}) {
        SCOPED_TRACE(prefix);
        Read const byPlaces = readBoth(path, prefix, true);
        Read const whole = readBoth(path, prefix, false);
        EXPECT_EQ(byPlaces.ok, whole.ok);
        EXPECT_EQ(byPlaces.pairs, whole.pairs);
        EXPECT_EQ(byPlaces.error, whole.error);
    }
    EXPECT_EQ(readBoth(path, "system.c0.n0.", true).error,
              "Syntax error at line number 13 in file: " + path +
                  "\n\tWarning: Property system.c0.n0.b already exists");
    // The file changed between the readings: the second reads it whole.
    Properties store;
    PropertiesSelection::SectionPlaces places;
    PropertiesSelection::addFromFile(
        store, path.c_str(), [](std::string_view) { return false; }, places);
    directory.write("t.cfg", "system.c0.n0.z = 9\nbroken\n" + text);
    EXPECT_FALSE(PropertiesSelection::addSectionFromFile(store, path.c_str(), "system.c0.n0.", places));
    EXPECT_EQ(lastError(store), "Syntax error at line number 2 in file: " + path + "\n\t'broken'");
}

// The warnings of a read: of the duplicate names and empty values, the
// last line's stays as the last error, in a small store and in a large
// one, and when the text adds to pairs read before. A list name given
// again keeps its first value and takes its last delimiter.
TEST(PropertiesBlockReader, LastWarningOfARead) {
    std::string filler;
    for (int i = 0; i < 100; ++i) filler += "f" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    std::string const at = "Syntax error at line number ";
    std::string const in = " in file: String buffer\n\tWarning: Property ";
    struct Case {
        char const* name;
        std::string before;
        std::string text;
        std::string error;
        Pairs some;  // pairs the store holds after the read
    } const cases[] = {
        {"none", "", "a = 1\n", "", {{"a", " 1"}}},
        {"empty value after a duplicate",
         "",
         "a = 1\na = 2\nb =\n",
         at + "3" + in + "b has empty value",
         {{"a", " 1"}, {"b", ""}}},
        {"duplicate after an empty value",
         "",
         "b =\na = 1\na = 2\n",
         at + "3" + in + "a already exists",
         {{"a", " 1"}}},
        {"duplicate of an empty value", "", "b =\nb = 2\n", at + "2" + in + "b already exists", {{"b", ""}}},
        {"empty duplicate", "", "a = 1\nx = 1\na =\n", at + "3" + in + "a already exists", {{"a", " 1"}}},
        {"large, duplicate last",
         "",
         filler + "b =\nf7 = 2\n",
         at + "102" + in + "f7 already exists",
         {{"f7", " 7"}, {"b", ""}}},
        {"large, empty last",
         "",
         "f3 = x\n" + filler + "z =\n",
         at + "102" + in + "z has empty value",
         {{"f3", " x"}}},
        {"large, several duplicates",
         "",
         filler + filler + "k = 1\n",
         at + "200" + in + "f99 already exists",
         {{"f99", " 99"}, {"k", " 1"}}},
        {"names read before",
         filler,
         "f50 = new\nn = 1\n",
         at + "1" + in + "f50 already exists",
         {{"f50", " 50"}, {"n", " 1"}}},
        {"lists given again",
         "",
         filler + "l[;] = a;b\nl[:] = c:d\n" + filler,
         at + "202" + in + "f99 already exists",
         {{"l", " a;b"}}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Properties store;
        if (!c.before.empty()) store.addPropertiesFromString(c.before, false);
        EXPECT_TRUE(store.addPropertiesFromString(c.text, true));
        EXPECT_EQ(lastError(store), c.error.empty() && c.before.empty() ? "No file name given" : c.error);
        for (auto const& pair : c.some) {
            std::string value;
            EXPECT_TRUE(store.get(value, pair.first, false)) << pair.first;
            EXPECT_EQ(value, pair.second) << pair.first;
        }
    }
    Properties lists;
    lists.addPropertiesFromString(filler + "l[;] = a;b\nl[:] = c:d\n", false);
    std::string delimiter;
    EXPECT_TRUE(lists.getDelimiter(delimiter, "l"));
    EXPECT_EQ(delimiter, ":");
}

}  // namespace
