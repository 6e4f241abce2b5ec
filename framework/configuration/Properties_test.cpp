// The configuration text reader: line structure, names and list
// declarations, environment references, warnings and syntax errors.
#include "configuration/Properties.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/ScopedVariable.h"

using Configuration::Properties;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

using TestSupport::ScopedVariable;

// A file holding the given text, removed at the end of the scope.
class TextFile {
public:
    explicit TextFile(std::string const& text)
        : m_path(::testing::TempDir() + "qx_properties_" + std::to_string(getpid()) + "_" +
                 std::to_string(++s_count)) {
        std::ofstream(m_path, std::ios::binary) << text;
    }
    ~TextFile() { std::remove(m_path.c_str()); }
    char const* path() const { return m_path.c_str(); }

private:
    static inline int s_count = 0;
    std::string m_path;
};

// Every pair, read without trimming; a store that is not ready is made
// readable by a set of the name "~", which sorts last and is dropped.
Pairs pairsOf(Properties& store) {
    store.set("", "~");
    std::vector<std::string> names;
    store.getNames(names);
    Pairs pairs;
    for (auto const& name : names) {
        std::string value;
        store.get(value, name, false);
        if (name != "~") pairs.emplace_back(name, value);
    }
    return pairs;
}

std::string lastError(Properties const& store) {
    std::string message;
    store.getLastErrorMessage(message);
    return message;
}

std::string const s_syntax = "Syntax error at line number ";

// An input that never ends, like /dev/zero or `yes`: the pattern over and
// over. Counts what the reader took, to show that it stopped early.
class EndlessText : public std::streambuf {
public:
    explicit EndlessText(std::string const& pattern) {
        while (m_chunk.size() < 65536) m_chunk += pattern;
    }
    std::size_t supplied() const { return m_supplied; }

protected:
    int_type underflow() override {
        m_supplied += m_chunk.size();
        setg(m_chunk.data(), m_chunk.data(), m_chunk.data() + m_chunk.size());
        return traits_type::to_int_type(m_chunk[0]);
    }

private:
    std::string m_chunk;
    std::size_t m_supplied = 0;
};

char const s_worked_example[] =
    "# tool settings\n"
    "tool.name = demo\n"
    "tool.count=3\n"
    "search.path[:] = /opt/a:/opt/b\n"
    "colours[] = red, green ,blue\n"
    "work.dir = $(HOME)/work\n"
    "banner = first \\\n"
    "    second\n";

Pairs const s_worked_pairs = {{"banner", " first      second"},
                              {"colours", " red, green ,blue"},
                              {"search.path", " /opt/a:/opt/b"},
                              {"tool.count", "3"},
                              {"tool.name", " demo"},
                              {"work.dir", " /home/u/work"}};

TEST(PropertiesReader, WorkedExampleLineByLine) {
    ScopedVariable home("HOME", std::string("/home/u"));
    TextFile file(s_worked_example);
    Properties store(file.path());
    EXPECT_TRUE(store.isReady());
    EXPECT_EQ("", lastError(store));
    EXPECT_EQ(s_worked_pairs, pairsOf(store));
    struct List {
        char const* name;
        char const* delimiter;
        std::vector<std::string> elements;
    };
    for (List const& list :
         {List{"search.path", ":", {"/opt/a", "/opt/b"}}, List{"colours", ",", {"red", " green ", "blue"}}}) {
        std::string delimiter;
        std::vector<std::string> elements;
        EXPECT_TRUE(store.getDelimiter(delimiter, list.name));
        EXPECT_TRUE(store.getStringVector(elements, list.name));
        EXPECT_EQ(list.delimiter, delimiter) << list.name;
        EXPECT_EQ(list.elements, elements) << list.name;
    }
}

TEST(PropertiesReader, WorkedExampleNinthLineVariants) {
    struct Case {
        char const* ninth;
        bool ready;
        char const* detail;
        Pairs added;
    };
    Case const cases[] = {
        {"spare =", true, "Warning: Property spare has empty value", {{"spare", ""}}},
        {"tool.count = 4", true, "Warning: Property tool.count already exists", {}},
        {"just text", false, "'just text'", {}},
    };
    ScopedVariable home("HOME", std::string("/home/u"));
    for (auto const& c : cases) {
        TextFile file(std::string(s_worked_example) + c.ninth + "\n");
        Properties store(file.path());
        EXPECT_EQ(c.ready, store.isReady()) << c.ninth;
        EXPECT_EQ(s_syntax + "9 in file: " + file.path() + "\n\t" + c.detail, lastError(store));
        Pairs expected = s_worked_pairs;
        expected.insert(expected.end(), c.added.begin(), c.added.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, pairsOf(store)) << c.ninth;
    }
}

// A text read with addPropertiesFromString: its result, pairs, the
// delimiter of one name and the last error ("" keeps the default one).
struct ReadCase {
    char const* label;
    std::string text;
    bool result;
    Pairs pairs;
    std::pair<char const*, char const*> delimiter;
    std::string error;
};

void PrintTo(ReadCase const& c, std::ostream* os) {
    *os << c.label;
}

class PropertiesTextFormat : public ::testing::TestWithParam<ReadCase> {};

TEST_P(PropertiesTextFormat, ReadsAsDescribed) {
    ReadCase const& c = GetParam();
    Properties store;
    EXPECT_EQ(c.result, store.addPropertiesFromString(c.text, true));
    EXPECT_EQ(c.error.empty() ? "No file name given" : c.error, lastError(store));
    EXPECT_EQ(c.pairs, pairsOf(store));
    if (!c.delimiter.first) return;
    std::string delimiter = "<none>";
    store.getDelimiter(delimiter, c.delimiter.first);
    EXPECT_EQ(c.delimiter.second, delimiter);
}

std::string const s_at = " in file: String buffer\n\t";
std::string const s_brackets = "Valid names require either '[' and ']' or neither.";

INSTANTIATE_TEST_SUITE_P(
    Lines, PropertiesTextFormat,
    ::testing::Values(
        ReadCase{"FurtherDividersBelongToValue", "a==b", true, {{"a", "=b"}}, {}, ""},
        ReadCase{
            "DividerFirstStops", "x=1\n=b\ny=2", false, {{"x", "1"}}, {}, s_syntax + "2" + s_at + "'=b'"},
        ReadCase{"NoDividerStops",
                 "x=1\n  just text \t\ny=2",
                 false,
                 {{"x", "1"}},
                 {},
                 s_syntax + "2" + s_at + "'just text'"},
        ReadCase{"NoTrailingComment", "key = value # note", true, {{"key", " value # note"}}, {}, ""},
        ReadCase{"IndentedCommentAndBlankName", " # a = b\n my key\t= v ", true, {{"my key", " v"}}, {}, ""},
        ReadCase{
            "BlankBeforeBracketStaysInName", "list [;] = x;y", true, {{"list ", " x;y"}}, {"list ", ";"}, ""},
        ReadCase{"EmptyBracketsMeanComma", "c[] = a", true, {{"c", " a"}}, {"c", ","}, ""},
        ReadCase{"LastBracketOpensDelimiter", "c[x][ ;; ] = a", true, {{"c[x]", " a"}}, {"c[x]", " ;; "}, ""},
        ReadCase{"ClosingWithoutOpening", "a] = 1", false, {}, {}, s_syntax + "1" + s_at + s_brackets},
        ReadCase{"OpeningBracketFirst",
                 "ok=1\n[;] = 1",
                 false,
                 {{"ok", "1"}},
                 {},
                 s_syntax + "2" + s_at + s_brackets},
        ReadCase{"BracketsInsideOrdinaryName", "a[;]x = 1", true, {{"a[;]x", " 1"}}, {"a[;]x", "<none>"}, ""},
        ReadCase{"DuplicateKeepsFirstAndGoesOn",
                 "a=1\n\n#\na=2\nb=3",
                 true,
                 {{"a", "1"}, {"b", "3"}},
                 {},
                 s_syntax + "4" + s_at + "Warning: Property a already exists"},
        ReadCase{"RepeatedListLineChangesDelimiterOnly",
                 "l[;] = a;b\nl[:] = c",
                 true,
                 {{"l", " a;b"}},
                 {"l", ":"},
                 s_syntax + "2" + s_at + "Warning: Property l already exists"},
        ReadCase{"EmptyValueStoredAndGoesOn",
                 "a =  \t\nb=1",
                 true,
                 {{"a", ""}, {"b", "1"}},
                 {},
                 s_syntax + "1" + s_at + "Warning: Property a has empty value"},
        ReadCase{"CarriageReturnLineEnds", "a = 1\r\nb = 2\r\n", true, {{"a", " 1"}, {"b", " 2"}}, {}, ""},
        ReadCase{"ContinuationKeepsLeadingBlanks", "a = 1\\\n2 \\\n  3", true, {{"a", " 1 2    3"}}, {}, ""},
        ReadCase{"BackslashCarriageReturnDoesNotContinue",
                 "a = x\\\r\nb = 2",
                 true,
                 {{"a", " x\\"}, {"b", " 2"}},
                 {},
                 ""},
        ReadCase{"LoneBackslashDoesNotContinue", "\\\nx=1", false, {}, {}, s_syntax + "1" + s_at + "'\\'"},
        ReadCase{"ErrorReportsLastPhysicalLine",
                 "\n# c\nsome \\\n text \\\n here\nx=1",
                 false,
                 {},
                 {},
                 s_syntax + "5" + s_at + "'some   text   here'"},
        ReadCase{"CommentSwallowsContinuedLine", "# c \\\nx=1\ny=2", true, {{"y", "2"}}, {}, ""},
        ReadCase{
            "ReadingStopsAtNul", std::string("a=1\nb=2\0c=3\n", 12), true, {{"a", "1"}, {"b", "2"}}, {}, ""}),
    [](::testing::TestParamInfo<ReadCase> const& info) { return std::string(info.param.label); });

TEST(PropertiesReader, EnvironmentReferences) {
    ScopedVariable a("QX_PROPS_A", std::string("1"));
    ScopedVariable b("QX_PROPS_B", std::string("22"));
    ScopedVariable empty("QX_PROPS_EMPTY", std::string());
    ScopedVariable nested("QX_PROPS_NESTED", std::string("$(QX_PROPS_A)"));
    ScopedVariable unset("QX_PROPS_UNSET", std::nullopt);
    std::pair<char const*, char const*> const cases[] = {
        {"$(QX_PROPS_A)$(QX_PROPS_B)", "122"},  // the first replacement is shorter than its reference
        {"$(QX_PROPS_UNSET)/x", "$(QX_PROPS_UNSET)/x"},
        {"$(QX_PROPS_EMPTY)/x", "/x"},
        {"$(QX_PROPS_A)$(QX_PROPS_UNSET)$(QX_PROPS_B)", "1$(QX_PROPS_UNSET)22"},
        {")$(QX_PROPS_A)", ")$(QX_PROPS_A)"},                      // first ")" before the first "$("
        {"$(QX_PROPS_A) x) $(QX_PROPS_B)", "1 x) $(QX_PROPS_B)"},  // a stray ")" ends the replacing
        {"$(QX_PROPS_NESTED)", "$(QX_PROPS_A)"},                   // inserted text is not searched
        {"$( QX_PROPS_A)", "$( QX_PROPS_A)"},                      // the name is not trimmed
        {"$$(QX_PROPS_A)(", "$1("},
        {"$(QX_PROPS_A", "$(QX_PROPS_A"},
    };
    Properties store;
    for (auto const& [value, expected] : cases) {
        std::string text = value;
        EXPECT_EQ(expected, store.replaceEnvVariables(text)) << value;
    }
}

TEST(PropertiesReader, SourcesAndTheirFailures) {
    TextFile emptyFile("");
    Properties fromEmpty(emptyFile.path());
    EXPECT_TRUE(fromEmpty.isReady());
    EXPECT_EQ(0, fromEmpty.getNumberOfPairs());
    std::string message = "stale";
    EXPECT_FALSE(fromEmpty.getLastErrorMessage(message));
    EXPECT_EQ("", message);

    for (std::string const& unreadable :
         {::testing::TempDir() + "qx_properties_missing", ::testing::TempDir()}) {
        Properties store(unreadable.c_str());
        EXPECT_FALSE(store.isReady());
        EXPECT_EQ("Failed to read from " + unreadable, lastError(store));
        EXPECT_EQ(Pairs{}, pairsOf(store));
    }

    Properties store;
    ASSERT_TRUE(store.addPropertiesFromString("l[;] = a;b\nx = 1", true));
    TextFile file("x = 2\ny = 3");
    EXPECT_TRUE(store.addPropertiesFromFile(file.path(), true));
    EXPECT_EQ((Pairs{{"l", " a;b"}, {"x", " 1"}, {"y", " 3"}}), pairsOf(store));
    EXPECT_EQ(s_syntax + "1 in file: " + file.path() + "\n\tWarning: Property x already exists",
              lastError(store));
    EXPECT_TRUE(store.addPropertiesFromString("z = 4", false));
    EXPECT_EQ((Pairs{{"z", " 4"}}), pairsOf(store));
    std::string delimiter;
    EXPECT_TRUE(store.getDelimiter(delimiter, "l"));  // delimiters survive the removal of pairs
    store.setSyntaxError(7, static_cast<char const*>(nullptr));
    EXPECT_EQ(s_syntax + "7 in file: String buffer", lastError(store));
}

// Input that cannot be configuration text ends the read with a message,
// after taking little more than the bound it exceeds; text up to the
// bounds reads as usual.
TEST(PropertiesReader, ReadingIsBoundedByLineAndTextLength) {
    std::size_t const line = Properties::s_max_line_length;
    std::string const failed = "Failed to read from String buffer: ";
    std::string const tooLong = " is longer than " + std::to_string(line) + " bytes";
    std::string const longest = "k = " + std::string(line - 4, 'v');
    struct Case {
        char const* name;
        std::string text;
        std::string error;  // empty: the read succeeds
    } const cases[] = {
        {"longest line", "a = 1\n" + longest + "\n", ""},
        {"one byte more", "a = 1\n" + longest + "v\n", failed + "line 2" + tooLong},
        {"without newline", "a = 1\n" + longest + "v", failed + "line 2" + tooLong},
        {"continued beyond", longest.substr(0, line / 2) + "\\\n" + longest.substr(0, line / 2) + "\n",
         failed + "line 2" + tooLong},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Properties store;
        bool const read = store.addPropertiesFromString(c.text, true);
        if (c.error.empty())
            EXPECT_TRUE(read) << lastError(store);
        else
            EXPECT_EQ(c.error, lastError(store));
    }

    struct Endless {
        std::string pattern;
        std::string error;
        std::size_t bound;
    } const endless[] = {
        {std::string(1, '\0'), failed + "line 1" + tooLong, line},
        {"# " + std::string(1000, 'c') + "\n",
         failed + "the text is longer than " + std::to_string(Properties::s_max_text_length) + " bytes",
         Properties::s_max_text_length},
    };
    for (Endless const& e : endless) {
        SCOPED_TRACE(e.error);
        EndlessText input(e.pattern);
        std::istream in(&input);
        Properties store;
        store.addPropertiesFromString("", true);
        EXPECT_FALSE(store.readStream(in));
        EXPECT_EQ(e.error, lastError(store));
        EXPECT_LE(input.supplied(), e.bound + line + 65536);
    }

    // Lines longer than the reader's chunks, from a stream that throws on
    // failure: read whole, nothing thrown, the caller's mask kept.
    std::istringstream throwing("a = " + std::string(10000, 'a') + "\nb = 2\n");
    throwing.exceptions(std::ios::failbit | std::ios::badbit);
    Properties fromThrowing;
    EXPECT_TRUE(fromThrowing.readStream(throwing));
    EXPECT_EQ(2, fromThrowing.getNumberOfPairs());
    EXPECT_EQ(std::ios::failbit | std::ios::badbit, throwing.exceptions());

    Properties zero("/dev/zero");
    EXPECT_FALSE(zero.isReady());
    EXPECT_EQ("Failed to read from /dev/zero: line 1" + tooLong, lastError(zero));
}

// Arbitrary bytes, long lines and unterminated references give a result,
// never a crash or a read past the end (checked under the sanitizers).
TEST(PropertiesReader, ArbitraryBytesNeverBreakTheReader) {
    char const bytes[] = "=[]$()\\\n\r\t #a;,\0\xff";
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string text(random() % 64, ' ');
        for (char& c : text) c = bytes[random() % (sizeof bytes - 1)];
        Properties store;
        store.readText(text);
        std::vector<std::string> values;
        for (auto const& pair : pairsOf(store)) store.getStringVector(values, pair.first.c_str());
    }
    std::string const longLine = "k = " + std::string(1 << 20, 'v') + "$(" + std::string(1 << 16, 'x');
    Properties store;
    EXPECT_TRUE(store.readText(longLine + "\\\n" + longLine));
    EXPECT_EQ(1, store.getNumberOfPairs());
}

}  // namespace
