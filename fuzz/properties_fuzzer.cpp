// Fuzzes the properties store: configuration text of arbitrary bytes is
// read twice (as a string and appended to a store that already holds
// pairs), then every name found is read back through each typed get and
// each list reader, copied by prefix, and written out and read again.
//
// Environment references in the text are expanded against a fixed set of
// variables made at start-up, so that inputs reach the expansion code
// with values that exist.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "configuration/Properties.h"

using Configuration::Properties;

namespace {

// Every typed read of one name; results are not checked, only that none
// of them misbehaves on the value the text gave.
void readEveryType(Properties& store, std::string const& name) {
    char const* key = name.c_str();
    std::string text;
    store.get(text, name, true);
    store.get(text, key, false);
    char buffer[8];
    store.get(buffer, static_cast<int>(sizeof buffer), key);
    store.get(buffer, 1, key, false);
    char c = 0;
    unsigned char uc = 0;
    bool b = false;
    long long ll = 0;
    unsigned long long ull = 0;
    int i = 0;
    short s = 0;
    unsigned int ui = 0;
    unsigned short us = 0;
    double d = 0;
    float f = 0;
    store.get(c, key);
    store.get(uc, key);
    store.get(b, key);
    store.get(ll, key);
    store.get(ull, key);
    store.get(i, key);
    store.get(s, key);
    store.get(ui, key);
    store.get(us, key);
    store.get(d, key);
    store.get(f, key);
}

void readEveryList(Properties& store, std::string const& name) {
    char const* key = name.c_str();
    std::string delimiter;
    store.getDelimiter(delimiter, key);
    std::vector<std::string> strings;
    std::vector<long long> signedValues;
    std::vector<unsigned long long> unsignedValues;
    std::vector<double> reals;
    store.getStringVector(strings, key);
    store.getInt64Vector(signedValues, key);
    store.getUint64Vector(unsignedValues, key);
    store.getDoubleVector(reals, key);
    // Small capacities so that the capacity check is reached often.
    std::string stringArray[3];
    long long intArray[3];
    double realArray[3];
    unsigned int count = 0;
    store.getStringArray(stringArray, 3, key, count);
    if (count > 3) std::abort();
    store.getInt64Array(intArray, 3, key, count);
    if (count > 3) std::abort();
    store.getDoubleArray(realArray, 3, key, count);
    if (count > 3) std::abort();
    store.getStringArray(nullptr, 0, key, count);
    if (count != 0) std::abort();
}

// The part of a name before its last "." is a prefix some pairs share.
void copyGroup(Properties& store, std::string const& name) {
    std::string::size_type const dot = name.rfind('.');
    std::string const prefix = name.substr(0, dot == std::string::npos ? 0 : dot);
    Properties group;
    store.get(group, prefix.c_str());
    std::map<std::string, std::string> map;
    store.get(map, prefix.c_str());
}

// getString promises text that reads back into an equal store only for
// some contents; reading it back must at least not misbehave.
void writeAndReadBack(Properties& store) {
    std::string text;
    store.getString(text);
    Properties again;
    again.readText(text);
    std::ostringstream shown;
    store.display(shown);
    std::string* names = nullptr;
    int const count = store.getNames(names);
    if (count != store.getNumberOfPairs()) std::abort();
    delete[] names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("QX_FUZZ_A", "alpha", 1);
    setenv("QX_FUZZ_EMPTY", "", 1);
    setenv("QX_FUZZ_NESTED", "$(QX_FUZZ_A)", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    std::string const text(reinterpret_cast<char const*>(data), size);

    Properties store;
    store.addPropertiesFromString(text, false);
    std::string message;
    store.getLastErrorMessage(message);

    Properties layered;
    layered.set("x", "a.b", ",");
    layered.addPropertiesFromString(text, true);

    std::vector<std::string> names;
    store.getNames(names);
    for (std::string const& name : names) {
        readEveryList(store, name);
        readEveryType(store, name);
        copyGroup(store, name);
        store.contains(name);
    }
    std::vector<std::string> prefixed;
    if (!names.empty()) store.getNamesWithPrefix(names.front().substr(0, 1), prefixed);
    writeAndReadBack(store);
    writeAndReadBack(layered);
    return 0;
}
