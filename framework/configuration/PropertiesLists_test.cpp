// List names: splitting into vectors and arrays, conversion failures, the
// array capacity rule and delimiters.
#include "configuration/Properties.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using Configuration::Properties;

namespace {

std::string lastError(Properties const& store) {
    std::string message;
    store.getLastErrorMessage(message);
    return message;
}

// The three vector readers over one text, in the order string, integer,
// real; the string reader trims the stored value the others then see.
TEST(PropertiesLists, VectorReaders) {
    struct Case {
        char const* text;  // "" leaves l absent
        bool stringsOk, integersOk, realsOk;
        std::vector<std::string> strings;
        std::vector<long long> integers;
        std::vector<double> reals;
        std::string message;
    };
    std::string const none = "No file name given";
    Case const cases[] = {
        {"l[,] = 4, 8,,16,", true, true, true, {"4", " 8", "16"}, {4, 8, 16}, {4, 8, 16}, none},
        {"l[;] = 4 ;8", true, true, false, {"4 ", "8"}, {4, 8}, {}, "Element '4 ' is not a real."},
        {"l[;] = ;;;", true, true, true, {}, {}, {}, none},
        {"l[,] = 1, x ,2", true, false, false, {"1", " x ", "2"}, {1}, {1}, "Element ' x ' is not a real."},
        {"l[::] = 1::2:::3",
         true,
         false,
         false,
         {"1", "2", ":3"},
         {1, 2},
         {1, 2},
         "Element ':3' is not a real."},
        {"l[,] =", false, false, false, {}, {}, {}, "The delimiter or value is null."},
        {"l = 1,2", false, false, false, {}, {}, {}, "The property: l is not an array name."},
        {"", false, false, false, {}, {}, {}, "Property 'l' has not been found"},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.text);
        Properties store;
        store.readText(c.text);
        std::vector<std::string> strings;
        std::vector<long long> integers;
        std::vector<double> reals;
        EXPECT_EQ(c.stringsOk, store.getStringVector(strings, "l"));
        EXPECT_EQ(c.integersOk, store.getInt64Vector(integers, "l"));
        EXPECT_EQ(c.realsOk, store.getDoubleVector(reals, "l"));
        EXPECT_EQ(c.strings, strings);
        EXPECT_EQ(c.integers, integers);
        EXPECT_EQ(c.reals, reals);
        EXPECT_EQ(c.message, lastError(store));
    }
}

TEST(PropertiesLists, IntegerReadersTrimElementsAndAppend) {
    Properties store;
    store.readText("l[,] = 1, x 2 ,3\nu[;] = -1; 0x10 ;");
    std::vector<long long> integers;
    EXPECT_FALSE(store.getInt64Vector(integers, "l"));
    EXPECT_EQ("Element 'x 2' is not an integer.", lastError(store));
    std::vector<unsigned long long> values{7};
    EXPECT_TRUE(store.getUint64Vector(values, "u"));
    EXPECT_TRUE(store.getUint64Vector(values, "u"));
    EXPECT_EQ((std::vector<unsigned long long>{7, ULLONG_MAX, 16, ULLONG_MAX, 16}), values);
}

TEST(PropertiesLists, ArrayCapacityRule) {
    struct Case {
        char const* value;
        unsigned int capacity;
        bool result;
        unsigned int count;
        char const* message;
    };
    Case const cases[] = {
        {"1,2", 2, true, 2, "No file name given"},
        {"1,2,3", 2, false, 2, "Array not big enough for all values."},
        {"1", 0, false, 0, "Array not big enough for all values."},
        {",,", 0, true, 0, "No file name given"},
        {"1,2,x", 2, false, 2, "Element 'x' is not an integer."},  // converted before the room is checked
        {"", 2, false, 0, "The delimiter or value is null."},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(std::string(c.value) + " into " + std::to_string(c.capacity));
        Properties store;
        store.set(c.value, "l", ",");
        long long integers[3] = {-1, -1, -1};
        double reals[3] = {-1, -1, -1};
        std::string strings[3];
        unsigned int counts[3] = {99, 99, 99};
        EXPECT_EQ(c.result, store.getInt64Array(integers, c.capacity, "l", counts[0]));
        EXPECT_EQ(c.message, lastError(store));
        EXPECT_EQ(c.result, store.getDoubleArray(reals, c.capacity, "l", counts[1]));
        EXPECT_EQ(c.result, store.getStringArray(strings, c.capacity, "l", counts[2]));
        for (unsigned int count : counts) EXPECT_EQ(c.count, count);
        EXPECT_EQ(-1, integers[c.capacity]);  // nothing written past the capacity
        EXPECT_EQ(-1, reals[c.capacity]);
        EXPECT_EQ(c.count > 0 ? "1" : "", strings[0]);
    }
}

TEST(PropertiesLists, DelimitersAndTheReadyFlag) {
    Properties store;
    EXPECT_FALSE(store.addPropertiesFromString("c[] = a\np = 1\nbroken", true));
    std::string delimiter = "untouched";
    EXPECT_FALSE(store.getDelimiter(delimiter, "p"));
    EXPECT_EQ("untouched", delimiter);
    EXPECT_TRUE(store.getDelimiter(delimiter, "c"));
    EXPECT_EQ(",", delimiter);
    std::vector<std::string> strings;
    EXPECT_TRUE(store.getStringVector(strings, "c"));  // list readers ignore the ready flag
    EXPECT_EQ(std::vector<std::string>{"a"}, strings);

    store.set("a,b", "c", "");
    EXPECT_FALSE(store.getDelimiter(delimiter, "c"));
    EXPECT_EQ("", delimiter);
    EXPECT_FALSE(store.getStringVector(strings, "c"));
    EXPECT_EQ("The delimiter or value is null.", lastError(store));
}

}  // namespace
