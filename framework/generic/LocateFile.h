// Finding a file by name: under the name itself, or in the directories of
// an explicit search path and of an environment variable, optionally with
// an extension added.
//
// For each pass of the criteria, the directories (explicit search path
// first, then the variable's value) are tried in order; in each, the name
// and then the name + "." + extension. Without directories the name itself
// is tried, then with the extension. The first candidate that can be
// opened for reading wins. Only a plain name (no ":", "/" or "\") is
// combined with directories; a name with a directory part is tried as it
// stands. When some pass has an extension, a final "." of the name is
// dropped, so "target_device." with ".cfg" finds target_device.cfg.
//
// Choices beyond the search itself:
// - An empty entry of a directory list (a leading, trailing or doubled
//   ":") is skipped, so it never turns the name into a path under "/".
// - A candidate that does not fit the buffer together with its NUL cannot
//   be returned, so it counts as not found and the search goes on; nothing
//   is ever written past the buffer.
// - Only a regular file counts as found. A directory cannot be read as a
//   file; a FIFO or a device under the searched name is passed over
//   without opening it for a blocking read.
// - A name length larger than the name text is cut at the text's NUL.
// - Invalid arguments leave the result length 0 and, when there is a
//   buffer, an empty buffer.
#ifndef GENERIC_LOCATEFILE_H
#define GENERIC_LOCATEFILE_H

#include "generic/Export.h"
#include "generic/LocateFileCriteria.h"

namespace Generic {

// Returns whether the arguments were valid: a buffer, a positive size and
// a non-empty name shorter than 1024 characters (nameLength < 0: up to the
// name's NUL). The file was found exactly when *resultLength is then
// non-zero; the buffer holds its path, else an empty text. criteria,
// searchPath and resultLength may be null; without criteria there is one
// pass, without variable, extension or search path.
QX_FRAMEWORK_API bool locateFile(char* buffer, int bufferSize, LocateFileCriteria* criteria, char const* name,
                                 int nameLength, char const* searchPath, int* resultLength);

// The same with a SingleSetOfFileCriteria made of the extension and the
// variable name: a pass with both, then a pass with neither.
QX_FRAMEWORK_API bool locateFile(char* buffer, int bufferSize, char const* name, int nameLength,
                                 char const* searchPath, char const* pathEnvVar, char const* extension,
                                 int* resultLength);

}  // namespace Generic

#endif  // GENERIC_LOCATEFILE_H
