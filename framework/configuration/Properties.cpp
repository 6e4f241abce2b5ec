// Construction of the store, the text rules shared by the reader and the
// typed access (trimming, environment references, list elements), and the
// error messages.
#include "configuration/Properties.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace Configuration {

namespace {

char const NO_FILE_NAME[] = "No file name given";
char const STRING_BUFFER[] = "String buffer";
char const ENV_OPEN[] = "$(";
char const ENV_CLOSE[] = ")";

}  // namespace

char const Properties::DIVIDER = '=';
char const Properties::whitespace_chars[7] = "\t\n\v\f\r ";
std::string const Properties::START_ENV_VAR = ENV_OPEN;
std::string const Properties::END_ENV_VAR = ENV_CLOSE;
int const Properties::START_ENV_VAR_LEN = static_cast<int>(sizeof(ENV_OPEN) - 1);
int const Properties::END_ENV_VAR_LEN = static_cast<int>(sizeof(ENV_CLOSE) - 1);
std::size_t const Properties::s_max_line_length = std::size_t(4) << 20;
std::size_t const Properties::s_max_text_length = std::size_t(256) << 20;

Properties::Properties()
    : m_expand_env_variables(true), m_ready(true), m_unnamed(true), m_no_error_yet(true) {}

Properties::Properties(char const* fileName)
    : m_expand_env_variables(true), m_ready(false), m_unnamed(false), m_no_error_yet(false) {
    m_ready = readFile(fileName);
}

Properties::Properties(Properties const& other) = default;
Properties& Properties::operator=(Properties const& other) = default;
Properties::~Properties() = default;

bool Properties::addPropertiesFromString(std::string const& text, bool add) {
    setFileName(STRING_BUFFER);
    if (!add) removePairs();
    m_ready = readText(text);
    return m_ready;
}

bool Properties::addPropertiesFromFile(char const* fileName, bool add) {
    if (!add) removePairs();
    m_ready = readFile(fileName);
    return m_ready;
}

void Properties::removePairs() {
    // The delimiters stay: their texts move to a block of their own, and
    // the text of the pairs is released with them.
    PairTable text;
    PairTable delimiters;
    for (std::uint32_t index : m_delimiters.order()) {
        PairTable::Pair const& delimiter = m_delimiters.at(index);
        delimiters.insertNew(text.keep(delimiter.nameView()), text.keep(delimiter.valueView()));
    }
    m_pairs = std::move(text);
    m_delimiters = std::move(delimiters);
}

std::string& Properties::trim_whitespace(std::string& text) {
    std::size_t const last = text.find_last_not_of(whitespace_chars);
    if (last == std::string::npos) {
        text.clear();
        return text;
    }
    text.erase(last + 1);
    text.erase(0, text.find_first_not_of(whitespace_chars));
    return text;
}

std::string& Properties::replaceEnvVariables(std::string& value) {
    if (!m_expand_env_variables || value.empty()) return value;
    // Searches use the plain literals, which are usable even from other
    // static initialisers. The result is built in a second string so that
    // many references in a long value still cost linear time; only the
    // original is searched, which keeps inserted text from being searched.
    std::size_t start = value.find(ENV_OPEN);
    if (start == std::string::npos) return value;
    std::size_t end = value.find(ENV_CLOSE);
    std::string result;
    std::size_t copied = 0;
    while (start != std::string::npos && end != std::string::npos && start < end) {
        std::size_t const nameBegin = start + START_ENV_VAR_LEN;
        std::string const name(value, nameBegin, end - nameBegin);
        std::size_t const next = end + END_ENV_VAR_LEN;
        // A name holding a NUL cannot be an environment variable.
        char const* setting = name.find('\0') == std::string::npos ? std::getenv(name.c_str()) : nullptr;
        if (setting) {
            result.append(value, copied, start - copied);
            result.append(setting);
            copied = next;
        }
        start = value.find(ENV_OPEN, next);
        end = value.find(ENV_CLOSE, next);
    }
    if (copied == 0) return value;
    result.append(value, copied, std::string::npos);
    value.swap(result);
    return value;
}

bool Properties::getNextToken(std::string& token, std::string const& list, std::string const& delimiter,
                              int& position, int& end) {
    std::size_t const size = list.size();
    std::size_t at = position < 0 ? 0 : std::min(static_cast<std::size_t>(position), size);
    std::size_t const step = delimiter.size();
    if (step == 0) {
        // No delimiter: the rest of the text is one element.
        token.assign(list, at, std::string::npos);
        end = static_cast<int>(size);
        position = end;
        return true;
    }
    while (list.compare(at, step, delimiter) == 0) at += step;
    std::size_t found = list.find(delimiter, at);
    bool const last = found == std::string::npos;
    if (last) found = size;
    token.assign(list, at, found - at);
    end = static_cast<int>(found);
    position = static_cast<int>(found + step);
    return last;
}

void Properties::setSyntaxError(int lineNumber, std::string const& detail) {
    m_last_error = "Syntax error at line number " + std::to_string(lineNumber) + " in file: " + fileName();
    if (!detail.empty()) m_last_error += "\n\t" + detail;
}

void Properties::setSyntaxError(int lineNumber, char const* detail) {
    setSyntaxError(lineNumber, std::string(detail ? detail : ""));
}

bool Properties::getLastErrorMessage(std::string& message) const {
    message = lastError();
    return !message.empty();
}

std::string const& Properties::noFileName() {
    static std::string const s_no_file_name = NO_FILE_NAME;
    return s_no_file_name;
}

std::string const& Properties::fileName() const {
    return m_unnamed ? noFileName() : m_file_name;
}

std::string const& Properties::lastError() const {
    // Every error set is non-empty: an empty one is the initial one.
    return m_no_error_yet && m_last_error.empty() ? noFileName() : m_last_error;
}

void Properties::setFileName(char const* fileName) {
    m_file_name = fileName;
    m_unnamed = false;
}

}  // namespace Configuration
