#include "tests/support/ElfRunPath.h"

#include <elf.h>

#include <cstdint>

#include <fstream>

namespace TestSupport {

namespace {

class ElfFile {
public:
    explicit ElfFile(std::string const& path) : m_in(path, std::ios::binary) {}

    template <typename T>
    bool read(std::uint64_t offset, T& value) {
        m_in.seekg(static_cast<std::streamoff>(offset));
        return static_cast<bool>(m_in.read(reinterpret_cast<char*>(&value), sizeof value));
    }

    bool section(Elf64_Ehdr const& header, unsigned index, Elf64_Shdr& section) {
        return index < header.e_shnum && read(header.e_shoff + index * sizeof section, section);
    }

    // The NUL-terminated text at offset of a string table section.
    bool string(Elf64_Shdr const& table, std::uint64_t offset, std::string& text) {
        if (offset >= table.sh_size) return false;
        m_in.seekg(static_cast<std::streamoff>(table.sh_offset + offset));
        return static_cast<bool>(std::getline(m_in, text, '\0'));
    }

private:
    std::ifstream m_in;
};

bool isExport(Elf64_Sym const& symbol) {
    unsigned char const binding = ELF64_ST_BIND(symbol.st_info);
    unsigned char const visibility = ELF64_ST_VISIBILITY(symbol.st_other);
    return symbol.st_shndx != SHN_UNDEF &&
           (binding == STB_GLOBAL || binding == STB_WEAK || binding == STB_GNU_UNIQUE) &&
           (visibility == STV_DEFAULT || visibility == STV_PROTECTED);
}

// The run paths, the soname and the needed libraries of the dynamic section.
bool readLinks(ElfFile& file, Elf64_Shdr const& section, Elf64_Shdr const& strings, ElfDynamic& dynamic) {
    for (std::uint64_t at = 0; at + sizeof(Elf64_Dyn) <= section.sh_size; at += sizeof(Elf64_Dyn)) {
        Elf64_Dyn entry;
        if (!file.read(section.sh_offset + at, entry)) return false;
        if (entry.d_tag == DT_NULL) break;
        std::string* text = nullptr;
        if (entry.d_tag == DT_RPATH || entry.d_tag == DT_RUNPATH)
            text = &dynamic.runPaths.emplace_back();
        else if (entry.d_tag == DT_SONAME)
            text = &dynamic.soname;
        else if (entry.d_tag == DT_NEEDED)
            text = &dynamic.needed.emplace_back();
        if (text != nullptr && !file.string(strings, entry.d_un.d_val, *text)) return false;
    }
    return true;
}

// The exported names of the dynamic symbol table.
bool readExports(ElfFile& file, Elf64_Shdr const& section, Elf64_Shdr const& strings, ElfDynamic& dynamic) {
    for (std::uint64_t at = 0; at + sizeof(Elf64_Sym) <= section.sh_size; at += sizeof(Elf64_Sym)) {
        Elf64_Sym symbol;
        if (!file.read(section.sh_offset + at, symbol)) return false;
        if (!isExport(symbol)) continue;
        std::string name;
        if (!file.string(strings, symbol.st_name, name)) return false;
        dynamic.exports.push_back(name);
    }
    return true;
}

}  // namespace

ElfKind readDynamic(std::string const& path, ElfDynamic& dynamic, std::string& error) {
    dynamic = ElfDynamic();
    ElfFile file(path);
    Elf64_Ehdr header;
    if (!file.read(0, header) || std::string(reinterpret_cast<char*>(header.e_ident), SELFMAG) != ELFMAG)
        return ElfKind::NotElf;
    if (header.e_type != ET_EXEC && header.e_type != ET_DYN) return ElfKind::NotLinked;
    if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_shentsize != sizeof(Elf64_Shdr)) {
        error = "not a 64-bit little-endian ELF file";
        return ElfKind::Unreadable;
    }
    for (unsigned index = 0; index < header.e_shnum; ++index) {
        Elf64_Shdr section;
        Elf64_Shdr strings;
        if (!file.section(header, index, section)) {
            error = "section header " + std::to_string(index) + " cannot be read";
            return ElfKind::Unreadable;
        }
        if (section.sh_type != SHT_DYNAMIC && section.sh_type != SHT_DYNSYM) continue;
        if (!file.section(header, section.sh_link, strings)) {
            error = "section " + std::to_string(index) + " has no string table";
            return ElfKind::Unreadable;
        }
        bool const readable = section.sh_type == SHT_DYNAMIC ? readLinks(file, section, strings, dynamic)
                                                             : readExports(file, section, strings, dynamic);
        if (!readable) {
            error = "section " + std::to_string(index) + " cannot be read";
            return ElfKind::Unreadable;
        }
    }
    return ElfKind::Linked;
}

ElfKind readRunPaths(std::string const& path, std::vector<std::string>& runPaths, std::string& error) {
    ElfDynamic dynamic;
    ElfKind const kind = readDynamic(path, dynamic, error);
    runPaths = dynamic.runPaths;
    return kind;
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
