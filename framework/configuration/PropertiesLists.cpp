// List names: their delimiters and the readers that split a list value into
// vectors or caller-sized arrays of strings and numbers.
#include "configuration/Properties.h"

namespace Configuration {

namespace {

char const ARRAY_TOO_SMALL[] = "Array not big enough for all values.";
char const NO_DELIMITER_OR_VALUE[] = "The delimiter or value is null.";

std::string_view nameOf(char const* name) {
    return name ? std::string_view(name) : std::string_view();
}

// How each kind of element is converted and what a failed conversion says.
struct StringElement {
    using Type = std::string;
    static constexpr char const* failure = "";
    static bool convert(std::string& text, Type& value) {
        value = text;
        return true;
    }
};
struct Int64Element {
    using Type = long long;
    static constexpr char const* failure = "' is not an integer.";
    static bool convert(std::string& text, Type& value) { return Properties::makeInt64(text, value); }
};
struct Uint64Element {
    using Type = unsigned long long;
    static constexpr char const* failure = "' is not an integer.";
    static bool convert(std::string& text, Type& value) { return Properties::makeUint64(text, value); }
};
struct DoubleElement {
    using Type = double;
    static constexpr char const* failure = "' is not a real.";
    static bool convert(std::string& text, Type& value) { return Properties::makeDouble(text, value); }
};

// Converts each element and hands it to `add`, which refuses it when the
// output is full; either failure is recorded in `error`. The element is
// shown as the conversion left it (integers trimmed, reals as written).
template <class Element, class Add>
std::function<bool(std::string&)> converting(std::string& error, Add add) {
    return [&error, add](std::string& element) mutable {
        typename Element::Type value{};
        if (!Element::convert(element, value)) {
            error = "Element '" + element + Element::failure;
            return false;
        }
        if (add(value)) return true;
        error = ARRAY_TOO_SMALL;
        return false;
    };
}

template <class T>
auto appendTo(std::vector<T>& values) {
    return [&values](T const& value) {
        values.push_back(value);
        return true;
    };
}

// Stores from index 0 on, counting, and refuses one more than the capacity.
template <class T>
auto storeInto(T* values, unsigned int capacity, unsigned int& count) {
    count = 0;
    if (!values) capacity = 0;
    return [values, capacity, &count](T const& value) {
        if (count >= capacity) return false;
        values[count++] = value;
        return true;
    };
}

}  // namespace

bool Properties::getDelimiter(std::string& delimiter, char const* name) const {
    PairTable::Pair const* found = delimiterOf(nameOf(name));
    if (!found) return false;
    delimiter.assign(found->value, found->value_size);
    return !delimiter.empty();
}

bool Properties::forEachElement(char const* name, bool trimStoredValue,
                                std::function<bool(std::string&)> const& visit) {
    std::string_view const key = nameOf(name);
    PairTable::Pair* const pair = m_pairs.find(key);
    if (!pair) {
        m_last_error = "Property '" + std::string(key) + "' has not been found";
        return false;
    }
    PairTable::Pair const* found = delimiterOf(key);
    if (!found) {
        m_last_error = "The property: " + std::string(key) + " is not an array name.";
        return false;
    }
    std::string value(pair->valueView());
    if (trimStoredValue) {
        trim_whitespace(value);
        // The trimmed text lies within the stored one: the store keeps it.
        std::size_t const lead = pair->valueView().find_first_not_of(whitespace_chars);
        PairTable::setValue(*pair, pair->valueView().substr(value.empty() ? 0 : lead, value.size()));
    }
    std::string const delimiter(found->valueView());
    if (delimiter.empty() || value.empty()) {
        m_last_error = NO_DELIMITER_OR_VALUE;
        return false;
    }
    std::string element;
    int position = 0;
    int end = 0;
    bool last = false;
    while (!last) {
        last = getNextToken(element, value, delimiter, position, end);
        if (!element.empty() && !visit(element)) return false;
    }
    return true;
}

bool Properties::getStringVector(std::vector<std::string>& values, char const* name) {
    return forEachElement(name, true, converting<StringElement>(m_last_error, appendTo(values)));
}

bool Properties::getInt64Vector(std::vector<long long>& values, char const* name) {
    return forEachElement(name, false, converting<Int64Element>(m_last_error, appendTo(values)));
}

bool Properties::getUint64Vector(std::vector<unsigned long long>& values, char const* name) {
    return forEachElement(name, false, converting<Uint64Element>(m_last_error, appendTo(values)));
}

bool Properties::getDoubleVector(std::vector<double>& values, char const* name) {
    return forEachElement(name, false, converting<DoubleElement>(m_last_error, appendTo(values)));
}

bool Properties::getStringArray(std::string* values, unsigned int capacity, char const* name,
                                unsigned int& count) {
    return forEachElement(name, false,
                          converting<StringElement>(m_last_error, storeInto(values, capacity, count)));
}

bool Properties::getInt64Array(long long* values, unsigned int capacity, char const* name,
                               unsigned int& count) {
    return forEachElement(name, false,
                          converting<Int64Element>(m_last_error, storeInto(values, capacity, count)));
}

bool Properties::getDoubleArray(double* values, unsigned int capacity, char const* name,
                                unsigned int& count) {
    return forEachElement(name, false,
                          converting<DoubleElement>(m_last_error, storeInto(values, capacity, count)));
}

}  // namespace Configuration
