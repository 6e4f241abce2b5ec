// Construction of the store, the configuration text reader and its error
// messages.
#include "configuration/Properties.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <istream>
#include <streambuf>

namespace Configuration {

namespace {

char const NO_FILE_NAME[] = "No file name given";
char const STRING_BUFFER[] = "String buffer";
char const FAILED_TO_READ[] = "Failed to read from ";
char const BRACKETS_MISMATCH[] = "Valid names require either '[' and ']' or neither.";
char const DEFAULT_DELIMITER[] = ",";
char const ENV_OPEN[] = "$(";
char const ENV_CLOSE[] = ")";

// Lets the reader walk a caller's text in place instead of copying it
// into a string stream. Nothing is ever written through the get area.
class TextStreamBuffer : public std::streambuf {
public:
    TextStreamBuffer(char const* begin, char const* end) {
        char* first = const_cast<char*>(begin);
        setg(first, first, const_cast<char*>(end));
    }
};

// Appends one physical line to `line`, but at most `room` characters of
// it; false when the line goes on beyond that. istream::getline into a
// buffer scans the stream's buffer in bulk like std::getline, and unlike
// it stops at a length, so a line without end never fills the memory.
bool appendPhysicalLine(std::istream& in, std::string& line, std::size_t room, std::size_t& consumed) {
    char chunk[4096];
    for (;;) {
        // One character beyond the room tells a line that is too long.
        std::size_t const wanted = std::min(sizeof chunk - 1, room + 1);
        in.getline(chunk, static_cast<std::streamsize>(wanted + 1));
        std::size_t const count = static_cast<std::size_t>(in.gcount());
        consumed += count;
        std::ios::iostate const state = in.rdstate();
        // getline reports a full chunk with failbit alone; it takes the
        // newline (and counts it) without setting any bit.
        bool const chunkFull = state == std::ios::failbit && count == wanted;
        std::size_t const stored = state == std::ios::goodbit && count > 0 ? count - 1 : count;
        if (stored > room) return false;
        line.append(chunk, stored);
        if (!chunkFull) return true;
        room -= stored;
        in.clear(state & ~std::ios::failbit);
    }
}

// Turns a stream's exceptions off for one scope. Restoring them throws
// when the stream is in a state the caller asked to hear about (it always
// is at the end of the input); that is swallowed, the mask is back.
class ExceptionsOff {
public:
    explicit ExceptionsOff(std::istream& in) : m_in(in), m_mask(in.exceptions()) {
        in.exceptions(std::ios::goodbit);
    }
    ~ExceptionsOff() {
        try {
            m_in.exceptions(m_mask);
        } catch (...) {}
    }
    ExceptionsOff(ExceptionsOff const&) = delete;
    ExceptionsOff& operator=(ExceptionsOff const&) = delete;

private:
    std::istream& m_in;
    std::ios::iostate m_mask;
};

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
    : m_expand_env_variables(true), m_ready(true), m_file_name(NO_FILE_NAME), m_last_error(NO_FILE_NAME) {}

Properties::Properties(char const* fileName) : m_expand_env_variables(true), m_ready(false) {
    m_ready = readFile(fileName);
}

Properties::Properties(Properties const& other) = default;
Properties& Properties::operator=(Properties const& other) = default;
Properties::~Properties() = default;

bool Properties::addPropertiesFromString(std::string const& text, bool add) {
    m_file_name = STRING_BUFFER;
    if (!add) m_pairs.clear();
    m_ready = readText(text);
    return m_ready;
}

bool Properties::addPropertiesFromFile(char const* fileName, bool add) {
    if (!add) m_pairs.clear();
    m_ready = readFile(fileName);
    return m_ready;
}

bool Properties::readFile(char const* fileName) {
    m_file_name = fileName ? fileName : "";
    std::ifstream in;
    if (fileName)
        in.open(fileName, std::ios::in | std::ios::binary);
    else
        in.setstate(std::ios::failbit);
    return readStream(in);
}

bool Properties::readText(std::string const& text) {
    std::size_t const length = std::strlen(text.c_str());
    TextStreamBuffer buffer(text.data(), text.data() + length);
    std::istream in(&buffer);
    return readStream(in);
}

bool Properties::readStream(std::istream& in) {
    if (!in.good()) {
        m_last_error = FAILED_TO_READ + m_file_name;
        return false;
    }
    // The reader reads its chunks through the stream's state bits (a full
    // chunk sets failbit); exceptions the caller asked for are restored,
    // and the read is over, when it returns.
    ExceptionsOff const exceptionsOff(in);
    int lineNumber = 0;
    bool result = true;
    std::size_t consumed = 0;
    std::string line;
    do {
        line.clear();
        switch (getBoundedLine(in, line, lineNumber, consumed)) {
            case LineRead::Complete: break;
            case LineRead::LineTooLong:
                m_last_error = FAILED_TO_READ + m_file_name + ": line " + std::to_string(lineNumber) +
                               " is longer than " + std::to_string(s_max_line_length) + " bytes";
                return false;
            case LineRead::TextTooLong:
                m_last_error = FAILED_TO_READ + m_file_name + ": the text is longer than " +
                               std::to_string(s_max_text_length) + " bytes";
                return false;
        }
        trim_whitespace(line);
        result = handleLine(line, lineNumber);
    } while (in.good() && result);
    // A read error (as opposed to the end of the input) means the input
    // was not read completely, e.g. a directory given as file name.
    if (result && in.bad()) {
        m_last_error = FAILED_TO_READ + m_file_name;
        return false;
    }
    return result;
}

void Properties::getLine(std::istream& in, std::string& line, int& lineNumber) {
    std::size_t consumed = 0;
    getBoundedLine(in, line, lineNumber, consumed);
}

Properties::LineRead Properties::getBoundedLine(std::istream& in, std::string& line, int& lineNumber,
                                                std::size_t& consumed) {
    // A stream buffer that fails to read (libstdc++ throws for a read
    // error, e.g. on a directory) leaves the stream bad; that must not
    // escape as an exception even when the caller's stream asks for them.
    try {
        for (;;) {
            std::size_t const room = s_max_line_length - std::min(line.size(), s_max_line_length);
            bool const fits = appendPhysicalLine(in, line, room, consumed);
            if (lineNumber < INT_MAX) ++lineNumber;
            if (!fits) return LineRead::LineTooLong;
            if (consumed > s_max_text_length) return LineRead::TextTooLong;
            // Only a backslash that follows other text continues the line.
            if (line.size() < 2 || line.back() != '\\') return LineRead::Complete;
            line.back() = ' ';
        }
    } catch (...) {}
    return LineRead::Complete;
}

bool Properties::handleLine(std::string& line, int lineNumber) {
    if (line.empty() || line[0] == '#') return true;
    std::size_t const divider = line.find(DIVIDER);
    if (divider == std::string::npos || divider == 0) {
        setSyntaxError(lineNumber, "'" + line + "'");
        return false;
    }
    std::size_t const nameEnd = line.find_last_not_of(whitespace_chars, divider - 1) + 1;
    std::string name(line, 0, nameEnd);  // the line starts with text, so the name does too
    if (name.back() == ']' && !takeListDeclaration(name, lineNumber)) return false;
    // A list line records its delimiter even when its name turns out to
    // be a duplicate.
    auto const slot = m_pairs.lower_bound(name);
    if (slot != m_pairs.end() && slot->first == name) {
        setSyntaxError(lineNumber, "Warning: Property " + name + " already exists");
        return true;
    }
    std::string value;
    if (divider + 1 == line.size()) {
        setSyntaxError(lineNumber, "Warning: Property " + name + " has empty value");
    } else {
        value.assign(line, divider + 1, std::string::npos);
        replaceEnvVariables(value);
    }
    m_pairs.emplace_hint(slot, std::move(name), std::move(value));
    return true;
}

bool Properties::takeListDeclaration(std::string& name, int lineNumber) {
    std::size_t const open = name.rfind('[');
    if (open == std::string::npos || open == 0) {
        setSyntaxError(lineNumber, BRACKETS_MISMATCH);
        return false;
    }
    std::string delimiter(name, open + 1, name.size() - open - 2);
    if (delimiter.empty()) delimiter = DEFAULT_DELIMITER;
    name.resize(open);  // a blank before "[" stays part of the name
    m_delimiters[name] = std::move(delimiter);
    return true;
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
    m_last_error = "Syntax error at line number " + std::to_string(lineNumber) + " in file: " + m_file_name;
    if (!detail.empty()) m_last_error += "\n\t" + detail;
}

void Properties::setSyntaxError(int lineNumber, char const* detail) {
    setSyntaxError(lineNumber, std::string(detail ? detail : ""));
}

bool Properties::getLastErrorMessage(std::string& message) const {
    message.clear();
    if (m_last_error.empty()) return false;
    message = m_last_error;
    return true;
}

}  // namespace Configuration
