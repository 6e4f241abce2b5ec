#include "tests/support/ElfRunPath.h"

#include <elf.h>

#include <cstdint>

#include <fstream>

namespace TestSupport {

namespace {

template <typename T>
bool readAt(std::ifstream& in, std::uint64_t offset, T& value) {
    in.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(in.read(reinterpret_cast<char*>(&value), sizeof value));
}

// The NUL-terminated text at offset of the string table section.
bool readString(std::ifstream& in, Elf64_Shdr const& table, std::uint64_t offset, std::string& text) {
    if (offset >= table.sh_size) return false;
    in.seekg(static_cast<std::streamoff>(table.sh_offset + offset));
    return static_cast<bool>(std::getline(in, text, '\0'));
}

}  // namespace

ElfKind readRunPaths(std::string const& path, std::vector<std::string>& runPaths, std::string& error) {
    runPaths.clear();
    std::ifstream in(path, std::ios::binary);
    Elf64_Ehdr header;
    if (!in || !readAt(in, 0, header) ||
        std::string(reinterpret_cast<char*>(header.e_ident), SELFMAG) != ELFMAG) {
        return ElfKind::NotElf;
    }
    if (header.e_type != ET_EXEC && header.e_type != ET_DYN) return ElfKind::NotLinked;
    if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_shentsize != sizeof(Elf64_Shdr)) {
        error = "not a 64-bit little-endian ELF file";
        return ElfKind::Unreadable;
    }
    for (unsigned index = 0; index < header.e_shnum; ++index) {
        Elf64_Shdr section;
        if (!readAt(in, header.e_shoff + index * sizeof section, section)) {
            error = "section header " + std::to_string(index) + " cannot be read";
            return ElfKind::Unreadable;
        }
        if (section.sh_type != SHT_DYNAMIC) continue;
        Elf64_Shdr strings;
        if (section.sh_link >= header.e_shnum ||
            !readAt(in, header.e_shoff + section.sh_link * sizeof strings, strings)) {
            error = "the dynamic section has no string table";
            return ElfKind::Unreadable;
        }
        for (std::uint64_t at = 0; at + sizeof(Elf64_Dyn) <= section.sh_size; at += sizeof(Elf64_Dyn)) {
            Elf64_Dyn entry;
            if (!readAt(in, section.sh_offset + at, entry)) {
                error = "the dynamic section cannot be read";
                return ElfKind::Unreadable;
            }
            if (entry.d_tag == DT_NULL) break;
            if (entry.d_tag != DT_RPATH && entry.d_tag != DT_RUNPATH) continue;
            std::string text;
            if (!readString(in, strings, entry.d_un.d_val, text)) {
                error = "a run path lies outside the string table";
                return ElfKind::Unreadable;
            }
            runPaths.push_back(text);
        }
    }
    return ElfKind::Linked;
}

std::vector<std::string> unanchoredRunPathElements(std::string const& runPath) {
    std::vector<std::string> unanchored;
    std::size_t start = 0;
    for (;;) {
        std::size_t const colon = runPath.find(':', start);
        std::string const element = runPath.substr(start, colon - start);
        bool anchored = !element.empty() && element[0] == '/';
        for (char const* origin : {"$ORIGIN", "${ORIGIN}"}) {
            std::string const prefix = origin;
            if (element.compare(0, prefix.size(), prefix) == 0 &&
                (element.size() == prefix.size() || element[prefix.size()] == '/')) {
                anchored = true;
            }
        }
        if (!anchored) unanchored.push_back(element);
        if (colon == std::string::npos) return unanchored;
        start = colon + 1;
    }
}

}  // namespace TestSupport
