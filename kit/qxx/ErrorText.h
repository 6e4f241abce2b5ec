// Small helpers for the error texts of the kit's core: addresses in
// hexadecimal and the fill-the-error-and-fail idiom.
#ifndef QXX_ERRORTEXT_H
#define QXX_ERRORTEXT_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace Qxx {

// "0x" and at least `digits` lower-case hexadecimal digits.
inline std::string hex(uint64_t value, int digits = 8) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

inline bool fail(std::string& error, std::string const& text) {
    error = text;
    return false;
}

}  // namespace Qxx

#endif
