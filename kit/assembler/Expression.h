// Integer expressions of the assembler: numbers (decimal, 0x hex, 0b
// binary), character literals ('a', '\n'), symbols, parentheses, unary
// - ~ +, and the binary operators * / % + - << >> & ^ | with C's
// precedence. Values are 64-bit; arithmetic wraps.
#ifndef ASSEMBLER_EXPRESSION_H
#define ASSEMBLER_EXPRESSION_H

#include <cstdint>
#include <functional>
#include <string>

namespace Assembler {

// Gives a symbol's value, or false with an error text.
using SymbolLookup = std::function<bool(std::string const& name, int64_t& value, std::string& error)>;

bool evaluateExpression(std::string const& text, SymbolLookup const& lookup, int64_t& value,
                        std::string& error);

}  // namespace Assembler

#endif
