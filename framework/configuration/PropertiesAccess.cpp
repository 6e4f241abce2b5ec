// Typed access to the store: writing and reading scalar values, copying
// groups of pairs, listing names, text output and the conversions between
// numbers and their text.
#include "configuration/Properties.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>

namespace Configuration {

namespace {

char const NO_PREFIX[] = "A common prefix must be given.";
char const EMPTY_PREFIX[] = "A valid common prefix must be given.";
char const* const TRUE_WORDS[] = {"1", "true", "t", "on"};

// Names given as C strings; a null name is treated as the empty name.
std::string nameOf(char const* name) {
    return name ? std::string(name) : std::string();
}

std::string propertyMessage(std::string const& name, char const* what) {
    return "Property '" + name + "' " + what;
}

// Hexadecimal when the first or second character is an x.
int integerBase(std::string const& text) {
    for (std::size_t i = 0; i < 2 && i < text.size(); ++i) {
        if (text[i] == 'x' || text[i] == 'X') return 16;
    }
    return 10;
}

// True when the conversion stopped exactly at the end of a non-empty text
// (an embedded NUL stops it early, so such a text fails).
bool consumedWholly(std::string const& text, char const* stop) {
    return !text.empty() && stop == text.c_str() + text.size();
}

// The narrow reads go through the 64-bit reads and keep the low-order
// bits. Starting from the caller's value leaves it unchanged whenever the
// wide read writes nothing (store not ready, name absent).
template <class Narrow, class Wide>
bool readThroughWide(Properties& store, Narrow& value, char const* name) {
    Wide wide = static_cast<Wide>(value);
    bool const result = store.get(wide, name);
    value = static_cast<Narrow>(wide);
    return result;
}

}  // namespace

// --- Writing ------------------------------------------------------------------

bool Properties::storeValue(std::string value, char const* name, char const* delimiter, bool expand) {
    bool const wasReady = m_ready;
    std::string key = nameOf(name);
    if (expand) replaceEnvVariables(value);
    if (delimiter) m_delimiters[key] = delimiter;
    m_pairs[std::move(key)] = std::move(value);
    m_ready = true;
    return wasReady;
}

bool Properties::set(char const* value, char const* name, char const* delimiter) {
    return storeValue(value ? value : "", name, delimiter, true);
}

bool Properties::set(std::string const& value, char const* name, char const* delimiter) {
    return storeValue(value, name, delimiter, true);
}

bool Properties::set(double value, char const* name) {
    return storeValue(makeString(value), name, nullptr, true);
}
bool Properties::set(float value, char const* name) {
    return set(static_cast<double>(value), name);
}
bool Properties::set(long long value, char const* name) {
    return storeValue(makeString(value), name, nullptr, true);
}
bool Properties::set(int value, char const* name) {
    return set(static_cast<long long>(value), name);
}
bool Properties::set(short value, char const* name) {
    return set(static_cast<long long>(value), name);
}

bool Properties::set(unsigned long long value, char const* name) {
    return storeValue(makeString(value), name, nullptr, true);
}

bool Properties::set(unsigned int value, char const* name) {
    return set(static_cast<unsigned long long>(value), name);
}
bool Properties::set(unsigned short value, char const* name) {
    return set(static_cast<unsigned long long>(value), name);
}

bool Properties::set(char const& value, char const* name) {
    return storeValue(makeString(static_cast<long long>(value)), name, nullptr, false);
}

bool Properties::set(unsigned char const& value, char const* name) {
    return storeValue(makeString(static_cast<unsigned long long>(value)), name, nullptr, false);
}

// --- Reading strings and characters -------------------------------------------

std::string* Properties::findForRead(std::string const& name) {
    if (!m_ready) return nullptr;
    auto const found = m_pairs.find(name);
    if (found == m_pairs.end()) {
        m_last_error = propertyMessage(name, "has not been found");
        return nullptr;
    }
    return &found->second;
}

bool Properties::get(std::string& value, std::string const& name, bool trim) {
    std::string const* stored = findForRead(name);
    if (!stored) return false;
    value = *stored;
    if (trim) trim_whitespace(value);
    return true;
}

bool Properties::get(std::string& value, char const* name, bool trim) {
    return get(value, nameOf(name), trim);
}

bool Properties::get(char* buffer, int size, char const* name, bool trim) {
    std::string const key = nameOf(name);
    std::string const* stored = findForRead(key);
    if (!stored) return false;
    std::size_t const capacity = buffer && size > 0 ? static_cast<std::size_t>(size) : 0;
    if (stored->size() < capacity) {
        std::string text = *stored;
        if (trim) trim_whitespace(text);
        std::memcpy(buffer, text.data(), text.size());
        return true;
    }
    // Truncated: as much of the untrimmed value as leaves room for a NUL
    // the caller may have put at the end.
    if (capacity > 1) std::memcpy(buffer, stored->data(), capacity - 1);
    m_last_error = propertyMessage(key, "has been truncated");
    return false;
}

bool Properties::get(char& value, char const* name) {
    // A two-character buffer starting with the caller's character, so that
    // an empty value leaves it as it was.
    char buffer[2] = {value, '\0'};
    bool const result = get(buffer, 2, name, true);
    value = buffer[0];
    return result;
}

bool Properties::get(unsigned char& value, char const* name) {
    char local = static_cast<char>(value);
    bool const result = get(local, name);
    value = static_cast<unsigned char>(local);
    return result;
}

bool Properties::get(bool& value, char const* name) {
    value = false;
    std::string text;
    if (!get(text, name, true)) return false;
    for (char const* word : TRUE_WORDS) {
        if (caseInsensitiveCompare(text, word)) value = true;
    }
    return true;
}

// --- Reading numbers ----------------------------------------------------------

bool Properties::get(long long& value, char const* name) {
    std::string const key = nameOf(name);
    std::string* stored = findForRead(key);
    if (!stored) return false;
    if (makeInt64(*stored, value)) return true;
    m_last_error = propertyMessage(key, "is not an integer");
    return false;
}

bool Properties::get(unsigned long long& value, char const* name) {
    std::string const key = nameOf(name);
    std::string* stored = findForRead(key);
    if (!stored) return false;
    if (makeUint64(*stored, value)) return true;
    m_last_error = propertyMessage(key, "is not an integer");
    return false;
}

bool Properties::get(int& value, char const* name) {
    return readThroughWide<int, long long>(*this, value, name);
}
bool Properties::get(short& value, char const* name) {
    return readThroughWide<short, long long>(*this, value, name);
}

bool Properties::get(unsigned int& value, char const* name) {
    return readThroughWide<unsigned int, unsigned long long>(*this, value, name);
}

bool Properties::get(unsigned short& value, char const* name) {
    return readThroughWide<unsigned short, unsigned long long>(*this, value, name);
}

bool Properties::get(double& value, char const* name) {
    std::string const key = nameOf(name);
    std::string* stored = findForRead(key);
    if (!stored) return false;
    if (makeDouble(trim_whitespace(*stored), value)) return true;
    value = 0;
    m_last_error = propertyMessage(key, "is not a real");
    return false;
}

bool Properties::get(float& value, char const* name) {
    return readThroughWide<float, double>(*this, value, name);
}

// --- Groups of pairs ------------------------------------------------------------

bool Properties::selectGroup(char const* prefix, std::vector<GroupEntry>& group) {
    if (!m_ready) return false;
    if (!prefix) {
        m_last_error = NO_PREFIX;
        return false;
    }
    if (!*prefix) {
        m_last_error = EMPTY_PREFIX;
        return false;
    }
    std::string const head = std::string(prefix) + '.';
    // Names beginning with the prefix are adjacent in name order.
    for (auto pair = m_pairs.lower_bound(head); pair != m_pairs.end(); ++pair) {
        if (pair->first.compare(0, head.size(), head) != 0) break;
        if (pair->first.size() == head.size()) continue;
        auto const delimiter = m_delimiters.find(pair->first);
        bool const isList = delimiter != m_delimiters.end();
        group.push_back(
            {pair->first.substr(head.size()), pair->second, isList, isList ? delimiter->second : ""});
    }
    return true;
}

bool Properties::get(Properties& target, char const* prefix) {
    // Selecting first keeps the copy right when the target is this store.
    std::vector<GroupEntry> group;
    if (!selectGroup(prefix, group)) return false;
    for (GroupEntry const& entry : group) {
        target.set(entry.value, entry.name.c_str(), entry.isList ? entry.delimiter.c_str() : nullptr);
    }
    return true;
}

bool Properties::get(std::map<std::string, std::string>& target, char const* prefix) {
    std::vector<GroupEntry> group;
    if (!selectGroup(prefix, group)) return false;
    for (GroupEntry& entry : group) target[entry.name] = std::move(entry.value);
    return true;
}

// --- Queries and text output ----------------------------------------------------

bool Properties::contains(std::string const& name) const {
    return m_ready && m_pairs.count(name) != 0;
}
bool Properties::contains(char const* name) const {
    return contains(nameOf(name));
}

int Properties::getNumberOfPairs() const {
    return m_ready ? static_cast<int>(m_pairs.size()) : 0;
}

bool Properties::getNames(std::vector<std::string>& names) const {
    if (!m_ready) return false;
    names.clear();
    names.reserve(m_pairs.size());
    for (auto const& pair : m_pairs) names.push_back(pair.first);
    return true;
}

int Properties::getNames(std::string*& names) const {
    if (!m_ready) return 0;
    if (m_pairs.empty()) {
        names = nullptr;
        return 0;
    }
    auto array = std::make_unique<std::string[]>(m_pairs.size());
    std::size_t index = 0;
    for (auto const& pair : m_pairs) array[index++] = pair.first;
    names = array.release();  // the caller owns the array
    return static_cast<int>(index);
}

bool Properties::getNamesWithPrefix(std::string const& prefix, std::vector<std::string>& names) const {
    if (!m_ready) return false;
    for (auto it = m_pairs.lower_bound(prefix); it != m_pairs.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        names.push_back(it->first);
    }
    return true;
}

bool Properties::getString(std::string& text) const {
    text.clear();
    if (!m_ready) return false;
    for (auto const& pair : m_pairs) {
        text += pair.first;
        auto const delimiter = m_delimiters.find(pair.first);
        if (delimiter != m_delimiters.end()) text += "[" + delimiter->second + "]";
        text += DIVIDER;
        text += pair.second;
        text += '\n';
    }
    return true;
}

void Properties::display(std::ostream& os) const {
    os << "File '" << m_file_name << (m_ready ? "' is ready\n" : "' is not ready\n");
    for (auto const& pair : m_pairs) {
        os << pair.first;
        auto const delimiter = m_delimiters.find(pair.first);
        if (delimiter != m_delimiters.end()) os << '[' << delimiter->second << ']';
        os << ": '" << pair.second << "'\n";
    }
    if (!m_last_error.empty()) os << "Error message: '" << m_last_error << "'\n";
}

// --- Conversions ------------------------------------------------------------------

std::string Properties::makeString(double value) {
    // "%g" is the default form of a double on an output stream.
    char text[32];
    int const length = std::snprintf(text, sizeof text, "%g", value);
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::string Properties::makeString(long long value) {
    return std::to_string(value);
}
std::string Properties::makeString(unsigned long long value) {
    return std::to_string(value);
}

bool Properties::makeInt64(std::string& text, long long& value) {
    trim_whitespace(text);
    char* stop = nullptr;
    long long const number = std::strtoll(text.c_str(), &stop, integerBase(text));
    value = consumedWholly(text, stop) ? number : 0;
    return consumedWholly(text, stop);
}

bool Properties::makeUint64(std::string& text, unsigned long long& value) {
    trim_whitespace(text);
    char* stop = nullptr;
    unsigned long long const number = std::strtoull(text.c_str(), &stop, integerBase(text));
    value = consumedWholly(text, stop) ? number : 0;
    return consumedWholly(text, stop);
}

bool Properties::makeDouble(std::string& text, double& value) {
    char* stop = nullptr;
    value = std::strtod(text.c_str(), &stop);
    return consumedWholly(text, stop);
}

bool Properties::caseInsensitiveCompare(std::string const& a, std::string const& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!nocase_compare(a[i], b[i])) return false;
    }
    return true;
}

bool Properties::nocase_compare(char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
}

}  // namespace Configuration
