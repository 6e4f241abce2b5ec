// Reading of the unsigned numbers that qxrun takes on its command line.
#ifndef LOADER_HEXORDEC_H
#define LOADER_HEXORDEC_H

#include <cstdint>

// Reads text as hexadecimal when its first or second character is 'x' or
// 'X' (so "0x10" and "x10" are hexadecimal, with an optional 0x prefix
// accepted as by scanf's %x), otherwise as unsigned decimal. Returns the
// number of items converted, 1 on success; value is written only then.
int hex_or_dec_2_uint(char const* text, uint32_t* value);

#endif  // LOADER_HEXORDEC_H
