// Typed access: the text written by set, the integer, real, boolean and
// character reads, group copies and text output.
#include "configuration/Properties.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using Configuration::Properties;

namespace {

std::string stored(Properties& store, char const* name) {
    std::string value = "<absent>";
    store.get(value, name, false);
    return value;
}

std::string lastError(Properties const& store) {
    std::string message;
    store.getLastErrorMessage(message);
    return message;
}

TEST(PropertiesAccess, SetWritesTheTextForms) {
    using Write = std::function<void(Properties&)>;
    std::pair<Write, char const*> const cases[] = {
        {[](Properties& p) { p.set(3.0, "v"); }, "3"},
        {[](Properties& p) { p.set(1234567.0, "v"); }, "1.23457e+06"},
        {[](Properties& p) { p.set(0.00001, "v"); }, "1e-05"},
        {[](Properties& p) { p.set(0.1f, "v"); }, "0.1"},
        {[](Properties& p) { p.set(-5, "v"); }, "-5"},
        {[](Properties& p) { p.set(LLONG_MIN, "v"); }, "-9223372036854775808"},
        {[](Properties& p) { p.set(ULLONG_MAX, "v"); }, "18446744073709551615"},
        {[](Properties& p) { p.set(static_cast<unsigned short>(65535), "v"); }, "65535"},
        {[](Properties& p) { p.set('A', "v"); }, "65"},
        {[](Properties& p) { p.set(static_cast<char>(-3), "v"); }, "-3"},
        {[](Properties& p) { p.set(static_cast<unsigned char>(200), "v"); }, "200"},
    };
    for (auto const& [write, text] : cases) {
        Properties store;
        write(store);
        EXPECT_EQ(text, stored(store, "v"));
    }
}

TEST(PropertiesAccess, SetReplacesValueKeepsDelimiterAndReturnsOldReadyFlag) {
    Properties store("/nonexistent/qx_properties.cfg");
    EXPECT_FALSE(store.set(std::string("a;b"), "l", ";"));
    EXPECT_TRUE(store.set("<$(QX_PROPS_UNSET_NAME)>", "l"));
    EXPECT_EQ("<$(QX_PROPS_UNSET_NAME)>", stored(store, "l"));
    std::string delimiter;
    EXPECT_TRUE(store.getDelimiter(delimiter, "l"));
    EXPECT_EQ(";", delimiter);
}

TEST(PropertiesAccess, IntegerSyntax) {
    struct Case {
        char const* text;
        bool ok;  // for both reads
        long long signedValue;
        unsigned long long unsignedValue;
    };
    Case const cases[] = {
        {"0x10", true, 16, 16},
        {"0X1f", true, 31, 31},
        {"010", true, 10, 10},
        {" 42 ", true, 42, 42},
        {"-1", true, -1, ULLONG_MAX},
        {"9223372036854775808", true, LLONG_MAX, 9223372036854775808ull},
        {"-9223372036854775809", true, LLONG_MIN, 9223372036854775807ull},
        {"99999999999999999999", true, LLONG_MAX, ULLONG_MAX},
        {"4 2", false, 0, 0},
        {"12abc", false, 0, 0},
        {"x1F", false, 0, 0},
        {"-0x10", false, 0, 0},
        {"0x", false, 0, 0},
        {"", false, 0, 0},
    };
    for (auto const& c : cases) {
        Properties store;
        store.set(c.text, "n");
        long long signedValue = 99;
        unsigned long long unsignedValue = 99;
        EXPECT_EQ(c.ok, store.get(signedValue, "n")) << c.text;
        EXPECT_EQ(c.ok, store.get(unsignedValue, "n")) << c.text;
        EXPECT_EQ(c.signedValue, signedValue) << c.text;
        EXPECT_EQ(c.unsignedValue, unsignedValue) << c.text;
        EXPECT_EQ(c.ok ? "No file name given" : "Property 'n' is not an integer", lastError(store));
    }
}

TEST(PropertiesAccess, NumericReadsTrimTheStoredValueAndNarrowKeepsLowBits) {
    Properties store;
    store.readText("n =  70000 \t\nm = -1");
    short s = 0;
    unsigned int u = 0;
    EXPECT_TRUE(store.get(s, "n"));
    EXPECT_TRUE(store.get(u, "m"));
    EXPECT_EQ(4464, s);
    EXPECT_EQ(4294967295u, u);
    EXPECT_EQ("70000", stored(store, "n"));
    int i = 17;
    float f = 2.5f;
    EXPECT_FALSE(store.get(i, "absent"));
    EXPECT_FALSE(store.get(f, "absent"));
    EXPECT_EQ(17, i);
    EXPECT_EQ(2.5f, f);
    EXPECT_EQ("Property 'absent' has not been found", lastError(store));
}

TEST(PropertiesAccess, RealSyntax) {
    std::tuple<char const*, bool, double> const cases[] = {
        {" -2.5e3 ", true, -2500}, {"0x1p4", true, 16}, {"1e400", true, HUGE_VAL}, {"inf", true, INFINITY},
        {"1.5x", false, 0},        {"", false, 0},      {".", false, 0},           {"1 2", false, 0},
    };
    for (auto const& [text, ok, expected] : cases) {
        Properties store;
        store.set(text, "r");
        double value = 99;
        EXPECT_EQ(ok, store.get(value, "r")) << text;
        EXPECT_EQ(expected, value) << text;
        EXPECT_EQ(ok ? "No file name given" : "Property 'r' is not a real", lastError(store));
    }
}

TEST(PropertiesAccess, BooleanWords) {
    std::pair<char const*, bool> const cases[] = {{"1", true},   {"TRUE", true}, {"On", true},
                                                  {" t ", true}, {"yes", false}, {"0", false},
                                                  {"tr", false}, {"", false}};
    for (auto const& [text, expected] : cases) {
        Properties store;
        store.set(text, "b");
        bool value = !expected;
        EXPECT_TRUE(store.get(value, "b")) << text;
        EXPECT_EQ(expected, value) << text;
    }
}

TEST(PropertiesAccess, BufferAndCharacterReads) {
    struct Case {
        char const* stored;
        int size;
        bool trim;
        bool result;
        char const* buffer;  // after the read, starting as dots; no NUL is written
    };
    Case const cases[] = {
        {" ab ", 5, true, true, "ab..."},  {" ab ", 5, false, true, " ab ."},
        {" ab ", 4, true, false, " ab.."}, {"abcdef", 3, true, false, "ab..."},
        {"abc", 0, true, false, "....."},  {"abc", -2, true, false, "....."},
    };
    for (auto const& c : cases) {
        Properties store;
        store.set(c.stored, "s");
        char buffer[6] = ".....";
        EXPECT_EQ(c.result, store.get(buffer, c.size, "s", c.trim)) << c.stored << c.size;
        EXPECT_STREQ(c.buffer, buffer);
        EXPECT_EQ(c.result ? "No file name given" : "Property 's' has been truncated", lastError(store));
    }
    std::tuple<char const*, bool, char> const characters[] = {
        {"A", true, 'A'}, {"", true, '?'}, {" ", true, '?'}, {"AB", false, 'A'}, {" A", false, ' '}};
    for (auto const& [text, result, expected] : characters) {
        Properties store;
        store.set(text, "c");
        char value = '?';
        unsigned char unsignedValue = '?';
        EXPECT_EQ(result, store.get(value, "c")) << text;
        EXPECT_EQ(result, store.get(unsignedValue, "c")) << text;
        EXPECT_EQ(expected, value) << text;
        EXPECT_EQ(static_cast<unsigned char>(expected), unsignedValue) << text;
    }
}

TEST(PropertiesAccess, StoreThatIsNotReadyFailsReadsSilently) {
    Properties store;
    EXPECT_FALSE(store.addPropertiesFromString("a = 1\nbroken", true));
    std::string const message = lastError(store);
    std::string text = "kept";
    long long number = 5;
    bool flag = true;
    std::vector<std::string> names;
    Properties target;
    EXPECT_FALSE(store.get(text, "a") || store.get(number, "a") || store.get(flag, "a") ||
                 store.get(target, "a") || store.contains("a") || store.getNames(names));
    EXPECT_EQ(0, store.getNumberOfPairs());
    EXPECT_EQ("kept", text);
    EXPECT_EQ(5, number);
    EXPECT_FALSE(flag);  // the boolean read clears its output first
    EXPECT_EQ(message, lastError(store));
}

TEST(PropertiesAccess, GroupCopyTakesNamesUnderThePrefix) {
    Properties store;
    store.readText(
        "chip0.clock = 5\nchip0 = x\nchip01.x = 1\nchip0. = e\nchip0.list[;] = a;b\nchip0.a.b = 2");
    Properties target;
    target.set("old", "clock");
    EXPECT_TRUE(store.get(target, "chip0"));
    std::string text;
    target.getString(text);
    EXPECT_EQ("a.b= 2\nclock= 5\nlist[;]= a;b\n", text);
    std::map<std::string, std::string> map{{"clock", "old"}, {"other", "o"}};
    EXPECT_TRUE(store.get(map, "chip0"));
    EXPECT_EQ((std::map<std::string, std::string>{
                  {"a.b", " 2"}, {"clock", " 5"}, {"list", " a;b"}, {"other", "o"}}),
              map);

    std::pair<char const*, char const*> const prefixes[] = {{nullptr, "A common prefix must be given."},
                                                            {"", "A valid common prefix must be given."}};
    for (auto const& [prefix, message] : prefixes) {
        EXPECT_FALSE(store.get(target, prefix));
        EXPECT_EQ(message, lastError(store));
        EXPECT_FALSE(store.get(map, prefix));
        EXPECT_EQ(message, lastError(store));
    }
    Properties untouched("/nonexistent/qx_properties.cfg");
    EXPECT_TRUE(store.get(untouched, "none"));
    EXPECT_FALSE(untouched.isReady());
}

TEST(PropertiesAccess, TextOutputAndDisplay) {
    std::string sentinel;
    std::string* names = &sentinel;
    EXPECT_EQ(0, Properties().getNames(names));
    EXPECT_EQ(nullptr, names);
    Properties store;
    store.set(" red", "colours", ",");
    store.set(" 1", "n");
    ASSERT_EQ(2, store.getNames(names));
    std::unique_ptr<std::string[]> owned(names);
    EXPECT_EQ("n", owned[1]);
    std::string text;
    EXPECT_TRUE(store.getString(text));
    EXPECT_EQ("colours[,]= red\nn= 1\n", text);
    Properties again;
    std::string textAgain;
    EXPECT_TRUE(again.readText(text));
    again.getString(textAgain);
    EXPECT_EQ(text, textAgain);

    Properties broken;
    broken.addPropertiesFromString("a = 1\nb", true);
    std::ostringstream shown;
    store.display(shown);
    broken.display(shown);
    EXPECT_EQ(
        "File 'No file name given' is ready\ncolours[,]: ' red'\nn: ' 1'\n"
        "Error message: 'No file name given'\n"
        "File 'String buffer' is not ready\na: ' 1'\n"
        "Error message: 'Syntax error at line number 2 in file: String buffer\n\t'b''\n",
        shown.str());
}

}  // namespace
