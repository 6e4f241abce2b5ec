#include "assembler/Expression.h"

#include <cctype>

namespace Assembler {

namespace {

// Recursive descent, one function per precedence level. The first error
// stops the evaluation; later levels see m_failed and unwind.
class Parser {
public:
    Parser(std::string const& text, SymbolLookup const& lookup, std::string& error)
        : m_text(text), m_lookup(lookup), m_error(error) {}

    bool evaluate(int64_t& value) {
        value = parseOr();
        skipSpace();
        if (!m_failed && m_pos < m_text.size())
            fail("unexpected '" + m_text.substr(m_pos) + "' in expression");
        if (!m_failed && m_text.find_first_not_of(" \t") == std::string::npos) fail("missing expression");
        return !m_failed;
    }

private:
    static constexpr int k_max_depth = 100;

    int64_t fail(std::string const& text) {
        if (!m_failed) m_error = text;
        m_failed = true;
        return 0;
    }

    void skipSpace() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t')) ++m_pos;
    }

    bool accept(char const* op) {
        skipSpace();
        size_t length = std::char_traits<char>::length(op);
        if (m_text.compare(m_pos, length, op) != 0) return false;
        m_pos += length;
        return true;
    }

    static int64_t wrap(uint64_t value) { return int64_t(value); }

    int64_t parseOr() {
        int64_t value = parseXor();
        while (!m_failed && accept("|")) value |= parseXor();
        return value;
    }

    int64_t parseXor() {
        int64_t value = parseAnd();
        while (!m_failed && accept("^")) value ^= parseAnd();
        return value;
    }

    int64_t parseAnd() {
        int64_t value = parseShift();
        while (!m_failed && accept("&")) value &= parseShift();
        return value;
    }

    int64_t parseShift() {
        int64_t value = parseAdditive();
        for (;;) {
            if (!m_failed && accept("<<"))
                value = wrap(uint64_t(value) << (parseAdditive() & 63));
            else if (!m_failed && accept(">>"))
                value >>= (parseAdditive() & 63);
            else
                return value;
        }
    }

    int64_t parseAdditive() {
        int64_t value = parseMultiplicative();
        for (;;) {
            if (!m_failed && accept("+"))
                value = wrap(uint64_t(value) + uint64_t(parseMultiplicative()));
            else if (!m_failed && accept("-"))
                value = wrap(uint64_t(value) - uint64_t(parseMultiplicative()));
            else
                return value;
        }
    }

    int64_t parseMultiplicative() {
        int64_t value = parseUnary();
        for (;;) {
            char op = 0;
            if (!m_failed && accept("*"))
                op = '*';
            else if (!m_failed && accept("/"))
                op = '/';
            else if (!m_failed && accept("%"))
                op = '%';
            else
                return value;
            int64_t right = parseUnary();
            if (op == '*') {
                value = wrap(uint64_t(value) * uint64_t(right));
            } else if (right == 0) {
                return fail("division by zero in expression");
            } else if (right == -1) {
                value = op == '/' ? wrap(0 - uint64_t(value)) : 0;
            } else {
                value = op == '/' ? value / right : value % right;
            }
        }
    }

    int64_t parseUnary() {
        if (++m_depth > k_max_depth) {
            --m_depth;
            return fail("expression nested too deeply");
        }
        int64_t value = 0;
        if (accept("-"))
            value = wrap(0 - uint64_t(parseUnary()));
        else if (accept("~"))
            value = ~parseUnary();
        else if (accept("+"))
            value = parseUnary();
        else
            value = parsePrimary();
        --m_depth;
        return value;
    }

    int64_t parsePrimary() {
        skipSpace();
        if (m_failed) return 0;
        if (m_pos >= m_text.size()) return fail("missing operand in expression");
        char c = m_text[m_pos];
        if (c == '(') {
            ++m_pos;
            int64_t value = parseOr();
            if (!m_failed && !accept(")")) return fail("missing ')' in expression");
            return value;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) return parseNumber();
        if (c == '\'') return parseCharacter();
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '.') return parseSymbol();
        return fail("unexpected '" + std::string(1, c) + "' in expression");
    }

    int64_t parseNumber() {
        size_t start = m_pos;
        unsigned base = 10;
        if (m_text.compare(m_pos, 2, "0x") == 0 || m_text.compare(m_pos, 2, "0X") == 0)
            base = 16;
        else if (m_text.compare(m_pos, 2, "0b") == 0 || m_text.compare(m_pos, 2, "0B") == 0)
            base = 2;
        if (base != 10) m_pos += 2;
        uint64_t value = 0;
        size_t digits = 0;
        while (m_pos < m_text.size() && std::isalnum(static_cast<unsigned char>(m_text[m_pos]))) {
            char d = char(std::tolower(static_cast<unsigned char>(m_text[m_pos])));
            unsigned digit =
                std::isdigit(static_cast<unsigned char>(d)) ? unsigned(d - '0') : unsigned(d - 'a' + 10);
            if (digit >= base) return fail("invalid number '" + token(start) + "'");
            if (value > (UINT64_MAX - digit) / base)
                return fail("number '" + token(start) + "' is too large");
            value = value * base + digit;
            ++digits;
            ++m_pos;
        }
        if (digits == 0) return fail("invalid number '" + token(start) + "'");
        return wrap(value);
    }

    std::string token(size_t start) const {
        size_t end = start;
        while (end < m_text.size() && std::isalnum(static_cast<unsigned char>(m_text[end]))) ++end;
        return m_text.substr(start, end - start);
    }

    int64_t parseCharacter() {
        size_t close = m_pos + 2;
        if (close < m_text.size() && m_text[m_pos + 1] == '\\') ++close;
        if (close >= m_text.size() || m_text[close] != '\'') return fail("bad character literal");
        char c = m_text[m_pos + 1];
        if (c == '\\') {
            switch (m_text[m_pos + 2]) {
                case 'n': c = '\n'; break;
                case 't': c = '\t'; break;
                case 'r': c = '\r'; break;
                case '0': c = '\0'; break;
                case '\\':
                case '\'':
                case '"': c = m_text[m_pos + 2]; break;
                default: return fail("bad character literal");
            }
        }
        m_pos = close + 1;
        return static_cast<unsigned char>(c);
    }

    int64_t parseSymbol() {
        size_t start = m_pos;
        while (m_pos < m_text.size() &&
               (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '_' ||
                m_text[m_pos] == '.' || m_text[m_pos] == '$'))
            ++m_pos;
        std::string name = m_text.substr(start, m_pos - start);
        int64_t value = 0;
        std::string error;
        if (!m_lookup(name, value, error)) return fail(error);
        return value;
    }

    std::string const& m_text;
    SymbolLookup const& m_lookup;
    std::string& m_error;
    size_t m_pos = 0;
    int m_depth = 0;
    bool m_failed = false;
};

}  // namespace

bool evaluateExpression(std::string const& text, SymbolLookup const& lookup, int64_t& value,
                        std::string& error) {
    return Parser(text, lookup, error).evaluate(value);
}

}  // namespace Assembler
