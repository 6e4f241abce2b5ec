#include "configuration/Options.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace Configuration {

char const* const Options::s_text = "<string>";
char const* const Options::s_integer = "<integer>";
char const* const Options::s_real = "<real>";

namespace {

char const* const s_expected_a_value = "expected a value";
char const* const s_specified_more_than_once = "cannot be specified more than once";

std::unique_ptr<char[]> copyText(std::string const& text) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

bool isEmpty(char const* text) {
    return text == nullptr || text[0] == '\0';
}

void appendSpaces(std::string& out, long long count) {
    if (count > 0) out.append(static_cast<std::size_t>(count), ' ');
}

// An argument that could name an option: "-" followed by at least one
// character. A lone "-" usually stands for standard input.
bool looksLikeOption(char const* argument) {
    return argument != nullptr && argument[0] == '-' && argument[1] != '\0';
}

char const* argumentAt(int argc, char** argv, int index) {
    if (argv == nullptr || index < 0 || index >= argc) return nullptr;
    return argv[index];
}

// Texts made for unclaimed cluster letters end up in argv, which the caller
// keeps using for the rest of the process, so they are never released.
// The holder itself is never destroyed either, so the texts stay valid
// while static objects are torn down.
char* keepForProcess(std::string const& text) {
    static std::list<std::string>* kept = new std::list<std::string>();
    kept->push_back(text);
    return &kept->back()[0];
}

// An attached-value option reached through any form leaves the following
// argument alone; only options that took argv[index + 1] skip it.
bool skipsNextArgument(Options const* claimer, bool tookValue) {
    return tookValue && !claimer->requiresNonPosixArgument();
}

}  // namespace

Options::Options(char const* longName, char shortName, char const* validValues, int flags, char const* help)
    : Options(longName, shortName, nullptr, validValues, flags, help) {}

Options::Options(char const* longName, char shortName, char const* longShortName, char const* validValues,
                 int flags, char const* help)
    : m_help(help),
      m_valid_values(validValues),
      m_long_name(longName),
      m_long_short_name(longShortName),
      m_short_name(shortName),
      m_appendable((flags & s_appendable) != 0),
      m_requires_argument((flags & s_requires_argument) != 0),
      m_requires_non_posix_argument((flags & s_requires_non_posix_argument) != 0) {}

Options::~Options() = default;

void Options::setValue(char const* text) {
    if (isEmpty(text)) return;
    if (!hasValue()) {
        m_value = copyText(text);
    } else if (!m_appendable) {
        setError(s_specified_more_than_once);
    } else {
        m_value = copyText(std::string(m_value.get()) + "," + text);
    }
}

void Options::setError(char const* text) {
    m_has_error = true;
    if (!isEmpty(text)) m_error = copyText(text);
}

int Options::getValidValuesLength() const {
    return m_valid_values == nullptr ? 0 : static_cast<int>(std::strlen(m_valid_values));
}

Options::iterator Options::getValidValues(iterator& begin) {
    if (!m_valid_values_list) {
        m_valid_values_list = std::make_unique<ValidValuesList>();
        std::string const text = m_valid_values == nullptr ? "" : m_valid_values;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t comma = text.find(',', start);
            if (comma == std::string::npos) comma = text.size();
            if (comma > start) m_valid_values_list->push_back(text.substr(start, comma - start));
            start = comma + 1;
        }
    }
    begin = m_valid_values_list->begin();
    return m_valid_values_list->end();
}

bool Options::isValidValue(std::string const& value) {
    if (!hasValidValues()) return true;
    if (value.empty()) return false;
    iterator entry;
    iterator const end = getValidValues(entry);
    for (; entry != end; ++entry) {
        if (acceptsValue(*entry, value)) return true;
    }
    return false;
}

bool Options::acceptsValue(std::string const& entry, std::string const& value) {
    char const* const text = value.c_str();
    char const* const textEnd = text + value.size();
    char* converted = nullptr;
    if (entry == s_text) return true;
    if (entry == s_integer) {
        bool const hex = value[0] == 'x' || value[0] == 'X' || value[1] == 'x' || value[1] == 'X';
        std::strtol(text, &converted, hex ? 16 : 10);
        return converted == textEnd;
    }
    if (entry == s_real) {
        std::strtod(text, &converted);
        return converted == textEnd;
    }
    return entry == value;
}

char const* Options::getName() {
    if (!m_display_name) {
        std::string name = "--";
        if (m_long_name != nullptr) name += m_long_name;
        name += "/-";
        if (!isEmpty(m_long_short_name)) {
            name += m_long_short_name;
        } else if (m_short_name != 0) {
            name += m_short_name;
        }
        m_display_name = copyText(name);
    }
    return m_display_name.get();
}

bool Options::nameMatches(char const* word) const {
    if (isEmpty(word)) return false;
    if (word[1] == '\0' && m_short_name != 0) return word[0] == m_short_name;
    if (!isEmpty(m_long_short_name) &&
        std::strncmp(word, m_long_short_name, std::strlen(m_long_short_name)) == 0) {
        return true;
    }
    return m_long_name != nullptr && std::strcmp(word, m_long_name) == 0;
}

void Options::getUsageString(std::string& out, int longNameWidth, int validValuesWidth) const {
    std::string const longName = m_long_name == nullptr ? "" : m_long_name;
    out = "--" + longName;
    if (longNameWidth > 0) {
        appendSpaces(out,
                     static_cast<long long>(longNameWidth) - static_cast<long long>(longName.size()) + 1);
    }
    if (m_short_name != 0) {
        out += " (-";
        out += m_short_name;
        out += ")";
    } else if (!isEmpty(m_long_short_name)) {
        out += std::string(" (-") + m_long_short_name + ")";
    } else {
        out += "     ";
    }
    if (m_requires_argument && hasValidValues()) out += std::string(" ") + m_valid_values;
    // The fill is the same whether or not the valid values were printed.
    if (validValuesWidth > 0) {
        appendSpaces(out, static_cast<long long>(validValuesWidth) + 1 - getValidValuesLength());
    }
    if (m_appendable) out += " May be specified more than once.";
    if (!isEmpty(m_help)) out += std::string(" ") + m_help;
}

void Options::claim(int argc, char** argv, int index, bool& tookValue) {
    if (m_requires_non_posix_argument) {
        takeAttachedValue(argumentAt(argc, argv, index), tookValue);
    } else if (m_requires_argument) {
        takeNextArgument(argc, argv, index, tookValue);
    } else {
        m_found = true;
    }
}

void Options::takeAttachedValue(char const* argument, bool& tookValue) {
    m_found = true;
    if (argument == nullptr || argument[0] != '-' || std::strlen(argument) < 3) {
        setError(s_expected_a_value);
        return;
    }
    setValue(argument + 2);
    tookValue = true;
}

// A following argument that looks like an option is left to be scanned on
// its own; a lone "-" is a value.
void Options::takeNextArgument(int argc, char** argv, int index, bool& tookValue) {
    m_found = true;
    char const* next = index < 0 ? nullptr : argumentAt(argc, argv, index + 1);
    if (next == nullptr || looksLikeOption(next)) {
        setError(s_expected_a_value);
        return;
    }
    setValue(next);
    tookValue = true;
}

Options* Options::offerWord(char const* word, int argc, char** argv, int index, bool& tookValue,
                            int& foundCount, Options** options) {
    tookValue = false;
    if (options == nullptr) return nullptr;
    for (Options** option = options; *option != nullptr; ++option) {
        if (!(*option)->nameMatches(word)) continue;
        (*option)->claim(argc, argv, index, tookValue);
        ++foundCount;
        return *option;
    }
    return nullptr;
}

bool Options::updateArgs(char* word, int& argc, char** argv, int index, bool& tookValue, int& foundCount,
                         Options** options) {
    return offerWord(word, argc, argv, index, tookValue, foundCount, options) != nullptr;
}

int Options::processCommandLineArgs(int& argc, char** argv, Options** options) {
    if (options == nullptr) {
        if (argc > 1) argc = 1;
        return 0;
    }
    if (argv == nullptr || argc < 2) return 0;
    int const end = argc;
    int foundCount = 0;
    bool tookValue = false;
    std::vector<char*> remaining;
    for (int i = 1; i < end; ++i) {
        char* const argument = argv[i];
        if (!looksLikeOption(argument)) {
            remaining.push_back(argument);
            continue;
        }
        // "--name" offers the text after both dashes; "--", "-x" and a
        // cluster "-xyz" offer the text after the first one.
        bool const doubleDash = argument[1] == '-' && argument[2] != '\0';
        bool const cluster = argument[1] != '-' && argument[2] != '\0';
        char const* const word = doubleDash ? argument + 2 : argument + 1;
        Options* claimer = offerWord(word, end, argv, i, tookValue, foundCount, options);
        if (claimer != nullptr) {
            if (skipsNextArgument(claimer, tookValue)) ++i;
        } else if (!cluster) {
            remaining.push_back(argument);
        } else {
            char* const unclaimed = offerLetters(argument, end, argv, i, foundCount, options);
            if (unclaimed != nullptr) remaining.push_back(unclaimed);
        }
    }
    for (std::size_t k = 0; k < remaining.size(); ++k) argv[k + 1] = remaining[k];
    argc = static_cast<int>(remaining.size()) + 1;
    return foundCount;
}

// Offers the letters of a cluster such as -vo one at a time. Each letter
// whose option takes the next argument moves position past it, so that
// -ab x y gives x to a and y to b. Returns the argument to keep for the
// unclaimed letters: the cluster itself when none was claimed, a new
// "-" + letters text when some were, null when all were.
char* Options::offerLetters(char* cluster, int argc, char** argv, int& position, int& foundCount,
                            Options** options) {
    std::string unclaimed = "-";
    bool tookValue = false;
    for (char const* letter = cluster + 1; *letter != '\0'; ++letter) {
        char const word[2] = {*letter, '\0'};
        Options* claimer = offerWord(word, argc, argv, position, tookValue, foundCount, options);
        if (claimer == nullptr) {
            unclaimed += *letter;
        } else if (skipsNextArgument(claimer, tookValue)) {
            ++position;
        }
    }
    if (unclaimed.size() == 1) return nullptr;
    if (unclaimed == cluster) return cluster;
    return keepForProcess(unclaimed);
}

}  // namespace Configuration
