#include "loader/HexOrDec.h"

#include <cstdio>

namespace {

bool looksHexadecimal(char const* text) {
    auto isX = [](char c) { return c == 'x' || c == 'X'; };
    return isX(text[0]) || (text[0] != '\0' && isX(text[1]));
}

}  // namespace

int hex_or_dec_2_uint(char const* text, uint32_t* value) {
    // Read into a local first: scanf does not promise to leave its target
    // alone when the conversion fails.
    unsigned int number = 0;
    int const converted = std::sscanf(text, looksHexadecimal(text) ? "%x" : "%u", &number);
    if (converted == 1) *value = number;
    return converted;
}
