// Writes qxx files.
#ifndef QXX_QXXWRITER_H
#define QXX_QXXWRITER_H

#include "qxx/QxxImage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Qxx {

// Serialises a valid image (see validateImage) into bytes. Empty data and
// bss sections are left out of the file.
bool writeQxx(QxxImage const& image, std::vector<uint8_t>& bytes, std::string& error);

// Writes the image to the file at path; errors are prefixed with the path.
bool writeQxxFile(std::string const& path, QxxImage const& image, std::string& error);

}  // namespace Qxx

#endif
