// What the dynamic section and the dynamic symbol table of an ELF
// executable or shared library say about its links: its run paths
// (DT_RPATH and DT_RUNPATH), its soname, the libraries it needs and the
// symbols it exports; and the elements of a run path that would make the
// dynamic loader look relative to the current directory.
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

struct ElfDynamic {
    std::vector<std::string> runPaths;  // DT_RPATH and DT_RUNPATH, in file order
    std::string soname;                 // DT_SONAME, empty when there is none
    std::vector<std::string> needed;    // DT_NEEDED, in file order
    std::vector<std::string>
        exports;  // defined global or weak symbols of default or protected visibility (mangled)
};

// Reads the dynamic section and the dynamic symbol table of a 64-bit
// little-endian ELF file.
ElfKind readDynamic(std::string const& path, ElfDynamic& dynamic, std::string& error);

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
