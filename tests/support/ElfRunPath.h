// The run paths (DT_RPATH and DT_RUNPATH) of ELF executables and shared
// libraries, read from the file's dynamic section, and the elements of a
// run path that would make the dynamic loader look relative to the
// current directory.
#ifndef TESTS_SUPPORT_ELFRUNPATH_H
#define TESTS_SUPPORT_ELFRUNPATH_H

#include <string>
#include <vector>

namespace TestSupport {

enum class ElfKind {
    NotElf,     // not an ELF file at all (text, archive, ...)
    NotLinked,  // ELF, but neither an executable nor a shared object (object file, core)
    Linked,     // an executable or shared object; its run paths were read
    Unreadable  // an ELF executable or shared object that could not be read (reason in error)
};

// Reads the DT_RPATH and DT_RUNPATH texts of a 64-bit little-endian ELF
// file into runPaths (one entry per tag found, in file order).
ElfKind readRunPaths(std::string const& path, std::vector<std::string>& runPaths, std::string& error);

// The elements of a run path (separated by ":") that are not anchored: an
// empty element means the current directory to the dynamic loader, and
// any element that starts neither with "/" nor with $ORIGIN (or
// ${ORIGIN}) is taken relative to it.
std::vector<std::string> unanchoredRunPathElements(std::string const& runPath);

}  // namespace TestSupport

#endif  // TESTS_SUPPORT_ELFRUNPATH_H
