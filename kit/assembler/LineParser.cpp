#include "assembler/LineParser.h"

#include <cctype>

namespace Assembler {

namespace {

bool isIdentifierStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '.';
}

bool isIdentifierChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '$';
}

// The text without its comment. Quotes are skipped with their escapes; an
// unterminated quote is reported by the literal's reader later.
std::string stripComment(std::string const& text) {
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quote != 0) {
            if (c == '\\')
                ++i;
            else if (c == quote)
                quote = 0;
            continue;
        }
        if (c == '"' || c == '\'')
            quote = c;
        else if (c == ';' || c == '#' || (c == '/' && i + 1 < text.size() && text[i + 1] == '/'))
            return text.substr(0, i);
    }
    return text;
}

bool splitOperands(std::string const& rest, std::vector<std::string>& operands, std::string& error) {
    if (rest.empty()) return true;
    char quote = 0;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i <= rest.size(); ++i) {
        char c = i < rest.size() ? rest[i] : ',';
        if (quote != 0) {
            if (c == '\\')
                ++i;
            else if (c == quote)
                quote = 0;
            if (i >= rest.size()) {
                error = "unterminated quote";
                return false;
            }
            continue;
        }
        if (c == '"' || c == '\'')
            quote = c;
        else if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        else if (c == ',' && (depth <= 0 || i == rest.size())) {
            std::string operand = trim(rest.substr(start, i - start));
            if (operand.empty()) {
                error = "empty operand";
                return false;
            }
            operands.push_back(operand);
            start = i + 1;
        }
    }
    return true;
}

size_t identifierEnd(std::string const& text, size_t start) {
    size_t end = start;
    while (end < text.size() && isIdentifierChar(text[end])) ++end;
    return end;
}

}  // namespace

std::string trim(std::string const& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool isIdentifier(std::string const& text) {
    return !text.empty() && isIdentifierStart(text[0]) && identifierEnd(text, 0) == text.size();
}

bool parseLine(std::string const& text, Statement& statement, std::string& error) {
    std::string line = trim(stripComment(text));
    // Labels: identifiers directly followed by ':'.
    for (;;) {
        if (line.empty() || !isIdentifierStart(line[0])) break;
        size_t end = identifierEnd(line, 0);
        if (end >= line.size() || line[end] != ':') break;
        statement.labels.push_back(line.substr(0, end));
        line = trim(line.substr(end + 1));
    }
    if (line.empty()) return true;
    if (!isIdentifierStart(line[0])) {
        error = "expected an instruction or directive, found '" + line + "'";
        return false;
    }
    size_t end = identifierEnd(line, 0);
    if (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) {
        error = "unexpected '" + std::string(1, line[end]) + "' after '" + line.substr(0, end) + "'";
        return false;
    }
    statement.op = line.substr(0, end);
    statement.rest = trim(line.substr(end));
    return splitOperands(statement.rest, statement.operands, error);
}

bool parseStringLiteral(std::string const& text, std::string& value, std::string& error) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
        error = "expected a string in double quotes, found '" + text + "'";
        return false;
    }
    value.clear();
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            error = "unexpected '\"' inside a string";
            return false;
        }
        if (c != '\\') {
            value += c;
            continue;
        }
        if (i + 2 >= text.size()) {
            error = "unterminated escape in a string";
            return false;
        }
        char e = text[++i];
        switch (e) {
            case 'n': value += '\n'; break;
            case 't': value += '\t'; break;
            case 'r': value += '\r'; break;
            case '0': value += '\0'; break;
            case '\\':
            case '"':
            case '\'': value += e; break;
            case 'x': {
                size_t digits = 0;
                unsigned code = 0;
                while (digits < 2 && i + 1 + 1 < text.size() &&
                       std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
                    char d = text[++i];
                    code = code * 16 + unsigned(std::isdigit(static_cast<unsigned char>(d))
                                                    ? d - '0'
                                                    : (std::tolower(d) - 'a' + 10));
                    ++digits;
                }
                if (digits == 0) {
                    error = "\\x without hexadecimal digits in a string";
                    return false;
                }
                value += char(code);
                break;
            }
            default: error = std::string("unknown escape \\") + e + " in a string"; return false;
        }
    }
    return true;
}

}  // namespace Assembler
