// Writes a whole file so that readers see either the old file or the
// complete new one, never a part: the bytes go to a temporary file in the
// same directory, which is then renamed over the target.
#ifndef ASSEMBLER_TOOL_ATOMICFILE_H
#define ASSEMBLER_TOOL_ATOMICFILE_H

#include <cstddef>
#include <string>

namespace Qxas {

// False, with "path: reason" in error, when the file could not be written;
// no temporary file is left behind then, and an existing file at path is
// unchanged. The new file gets the usual permissions (0666 less the umask).
bool writeFileAtomically(std::string const& path, void const* data, size_t size, std::string& error);

}  // namespace Qxas

#endif  // ASSEMBLER_TOOL_ATOMICFILE_H
