// Reads qxx files. Every field is checked before it is used, so a corrupt,
// truncated, oversized or foreign file yields an error text, never a crash
// or an allocation larger than the file.
#ifndef QXX_QXXREADER_H
#define QXX_QXXREADER_H

#include "qxx/QxxImage.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Qxx {

// Parses size bytes at data into image. On failure returns false, leaves a
// text in error and image in an unspecified state.
bool readQxx(uint8_t const* data, size_t size, QxxImage& image, std::string& error);

// Reads the file at path; errors are prefixed with the path and ": ".
bool readQxxFile(std::string const& path, QxxImage& image, std::string& error);

}  // namespace Qxx

#endif
