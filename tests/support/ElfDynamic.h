// What the dynamic section and the dynamic symbol table of an ELF shared
// library or executable say about its links: its soname, the libraries it
// needs (DT_NEEDED) and the symbols it exports.
#ifndef TESTS_SUPPORT_ELFDYNAMIC_H
#define TESTS_SUPPORT_ELFDYNAMIC_H

#include <string>
#include <vector>

#include "tests/support/ElfRunPath.h"

namespace TestSupport {

struct ElfDynamic {
    std::string soname;               // DT_SONAME, empty when there is none
    std::vector<std::string> needed;  // DT_NEEDED, in file order
    std::vector<std::string>
        exports;  // defined global or weak symbols of default or protected visibility (mangled)
};

// Reads a 64-bit little-endian ELF file as readRunPaths does.
ElfKind readDynamic(std::string const& path, ElfDynamic& dynamic, std::string& error);

}  // namespace TestSupport

#endif  // TESTS_SUPPORT_ELFDYNAMIC_H
