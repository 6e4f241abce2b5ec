// Typed access to the store: writing and reading scalar values, copying
// groups of pairs, listing names, text output and the conversions between
// numbers and their text.
#include "configuration/Properties.h"

#include <cctype>
#include <cstdint>
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
std::string_view nameOf(char const* name) {
    return name ? std::string_view(name) : std::string_view();
}

std::string propertyMessage(std::string_view name, char const* what) {
    return "Property '" + std::string(name) + "' " + what;
}

// The stored value without leading and trailing whitespace_chars; the
// store keeps it so (the numeric reads trim what they read).
std::string_view trimStored(PairTable::Pair& pair) {
    std::string_view const value = Properties::trimmed(pair.valueView());
    PairTable::setValue(pair, value);
    return value;
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
    std::string_view const key = nameOf(name);
    if (expand) replaceEnvVariables(value);
    if (delimiter) recordDelimiter(key, delimiter, false);
    std::string_view const kept = m_pairs.keep(value);
    if (PairTable::Pair* pair = m_pairs.find(key))
        PairTable::setValue(*pair, kept);
    else
        m_pairs.insert(m_pairs.keep(key), kept);
    m_ready = true;
    return wasReady;
}

void Properties::recordDelimiter(std::string_view name, std::string_view delimiter, bool textHeld) {
    if (PairTable::Pair* recorded = m_delimiters.find(name)) {
        PairTable::setValue(*recorded, textHeld ? delimiter : m_pairs.keep(delimiter));
    } else if (textHeld) {
        m_delimiters.insert(name, delimiter);
    } else {
        m_delimiters.insert(m_pairs.keep(name), m_pairs.keep(delimiter));
    }
}

PairTable::Pair const* Properties::delimiterOf(std::string_view name) const {
    return m_delimiters.empty() ? nullptr : m_delimiters.find(name);
}

void Properties::storeShared(std::string_view name, std::string_view value, bool isList,
                             std::string_view delimiter, Properties const& source, bool isNew) {
    // As set() with the name as a C string: it ends at a NUL.
    name = name.substr(0, name.find('\0'));
    if (m_expand_env_variables && value.find(START_ENV_VAR) != std::string_view::npos) {
        std::string const key(name);
        std::string const list(delimiter);
        storeValue(std::string(value), key.c_str(), isList ? list.c_str() : nullptr, true);
        return;
    }
    m_pairs.shareTextOf(source.m_pairs);
    // As set() with the delimiter as a C string: it ends at a NUL.
    storeHeld(name, value, isList, delimiter.substr(0, delimiter.find('\0')), isNew);
}

void Properties::storeHeld(std::string_view name, std::string_view value, bool isList,
                           std::string_view delimiter, bool isNew) {
    if (isList) recordDelimiter(name, delimiter, true);
    if (isNew)
        m_pairs.insertNew(name, value);
    else if (PairTable::Pair* pair = m_pairs.find(name))
        PairTable::setValue(*pair, value);
    else
        m_pairs.insert(name, value);
    m_ready = true;
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

PairTable::Pair* Properties::findForRead(std::string_view name) {
    if (!m_ready) return nullptr;
    PairTable::Pair* found = m_pairs.find(name);
    if (!found) m_last_error = propertyMessage(name, "has not been found");
    return found;
}

bool Properties::get(std::string& value, std::string const& name, bool trim) {
    PairTable::Pair const* stored = findForRead(name);
    if (!stored) return false;
    value.assign(stored->value, stored->value_size);
    if (trim) trim_whitespace(value);
    return true;
}

bool Properties::get(std::string& value, char const* name, bool trim) {
    PairTable::Pair const* stored = findForRead(nameOf(name));
    if (!stored) return false;
    value.assign(stored->value, stored->value_size);
    if (trim) trim_whitespace(value);
    return true;
}

bool Properties::get(char* buffer, int size, char const* name, bool trim) {
    std::string_view const key = nameOf(name);
    PairTable::Pair const* stored = findForRead(key);
    if (!stored) return false;
    std::size_t const capacity = buffer && size > 0 ? static_cast<std::size_t>(size) : 0;
    if (stored->value_size < capacity) {
        std::string text(stored->valueView());
        if (trim) trim_whitespace(text);
        std::memcpy(buffer, text.data(), text.size());
        return true;
    }
    // Truncated: as much of the untrimmed value as leaves room for a NUL
    // the caller may have put at the end.
    if (capacity > 1) std::memcpy(buffer, stored->value, capacity - 1);
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
    std::string_view const key = nameOf(name);
    PairTable::Pair* stored = findForRead(key);
    if (!stored) return false;
    std::string text(trimStored(*stored));
    if (makeInt64(text, value)) return true;
    m_last_error = propertyMessage(key, "is not an integer");
    return false;
}

bool Properties::get(unsigned long long& value, char const* name) {
    std::string_view const key = nameOf(name);
    PairTable::Pair* stored = findForRead(key);
    if (!stored) return false;
    std::string text(trimStored(*stored));
    if (makeUint64(text, value)) return true;
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
    std::string_view const key = nameOf(name);
    PairTable::Pair* stored = findForRead(key);
    if (!stored) return false;
    std::string text(trimStored(*stored));
    if (makeDouble(text, value)) return true;
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
    for (std::uint32_t index : m_pairs.withPrefix(head)) {
        PairTable::Pair const& pair = m_pairs.at(index);
        if (pair.name_size == head.size()) continue;
        PairTable::Pair const* delimiter = delimiterOf(pair.nameView());
        group.push_back({pair.nameView().substr(head.size()), pair.valueView(), delimiter != nullptr,
                         delimiter ? delimiter->valueView() : std::string_view()});
    }
    return true;
}

bool Properties::get(Properties& target, char const* prefix) {
    // Selecting first keeps the copy right when the target is this store;
    // the views stay valid, as text is never changed once stored.
    std::vector<GroupEntry> group;
    if (!selectGroup(prefix, group)) return false;
    for (GroupEntry const& entry : group)
        target.storeShared(entry.name, entry.value, entry.is_list, entry.delimiter, *this);
    return true;
}

bool Properties::get(std::map<std::string, std::string>& target, char const* prefix) {
    std::vector<GroupEntry> group;
    if (!selectGroup(prefix, group)) return false;
    for (GroupEntry const& entry : group) target[std::string(entry.name)] = std::string(entry.value);
    return true;
}

// --- Queries and text output ----------------------------------------------------

bool Properties::contains(std::string const& name) const {
    return m_ready && m_pairs.find(name) != nullptr;
}
bool Properties::contains(char const* name) const {
    return m_ready && m_pairs.find(nameOf(name)) != nullptr;
}

int Properties::getNumberOfPairs() const {
    return m_ready ? static_cast<int>(m_pairs.size()) : 0;
}

bool Properties::getNames(std::vector<std::string>& names) const {
    if (!m_ready) return false;
    names.clear();
    names.reserve(m_pairs.size());
    for (std::uint32_t index : m_pairs.order()) names.emplace_back(m_pairs.at(index).nameView());
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
    for (std::uint32_t position : m_pairs.order()) array[index++] = m_pairs.at(position).nameView();
    names = array.release();  // the caller owns the array
    return static_cast<int>(index);
}

bool Properties::getNamesWithPrefix(std::string const& prefix, std::vector<std::string>& names) const {
    if (!m_ready) return false;
    for (std::uint32_t index : m_pairs.withPrefix(prefix)) names.emplace_back(m_pairs.at(index).nameView());
    return true;
}

bool Properties::getString(std::string& text) const {
    text.clear();
    if (!m_ready) return false;
    for (std::uint32_t index : m_pairs.order()) {
        PairTable::Pair const& pair = m_pairs.at(index);
        text += pair.nameView();
        if (PairTable::Pair const* delimiter = delimiterOf(pair.nameView())) {
            text += '[';
            text += delimiter->valueView();
            text += ']';
        }
        text += DIVIDER;
        text += pair.valueView();
        text += '\n';
    }
    return true;
}

void Properties::display(std::ostream& os) const {
    os << "File '" << fileName() << (m_ready ? "' is ready\n" : "' is not ready\n");
    for (std::uint32_t index : m_pairs.order()) {
        PairTable::Pair const& pair = m_pairs.at(index);
        os << pair.nameView();
        if (PairTable::Pair const* delimiter = delimiterOf(pair.nameView()))
            os << '[' << delimiter->valueView() << ']';
        os << ": '" << pair.valueView() << "'\n";
    }
    if (!lastError().empty()) os << "Error message: '" << lastError() << "'\n";
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
