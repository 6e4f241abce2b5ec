#include "qxx/QxxWriter.h"

#include "qxx/QxxFormat.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace Qxx {

namespace {

using namespace Format;

void put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    store32(bytes.data() + offset, value, ByteOrder::Little);
}

struct SectionEntry {
    uint32_t kind;
    uint32_t address;
    std::vector<uint8_t> const* contents;  // null for bss
    uint32_t size;
};

std::vector<SectionEntry> sectionsOf(QxxImage const& image) {
    std::vector<SectionEntry> sections;
    sections.push_back(
        {k_code_section, image.code.address, &image.code.bytes, uint32_t(image.code.bytes.size())});
    if (!image.data.bytes.empty())
        sections.push_back(
            {k_data_section, image.data.address, &image.data.bytes, uint32_t(image.data.bytes.size())});
    if (image.bssSize != 0) sections.push_back({k_bss_section, image.bssAddress, nullptr, image.bssSize});
    return sections;
}

void writeHeader(QxxImage const& image, uint32_t sectionCount, uint32_t stringTableSize,
                 std::vector<uint8_t>& bytes) {
    std::memcpy(bytes.data() + k_magic_offset, k_magic, sizeof k_magic);
    store16(bytes.data() + k_version_offset, k_version, ByteOrder::Little);
    bytes[k_byte_order_offset] = uint8_t(image.byteOrder);
    bytes[k_instruction_size_offset] = uint8_t(image.instructionSize);
    std::memcpy(bytes.data() + k_instruction_set_offset, image.instructionSet.data(),
                image.instructionSet.size());
    put32(bytes, k_entry_offset, image.entry);
    put32(bytes, k_section_count_offset, sectionCount);
    put32(bytes, k_symbol_count_offset, uint32_t(image.symbols.size()));
    put32(bytes, k_string_table_size_offset, stringTableSize);
}

// Appends the symbols' names to the string table and fills their entries.
void writeSymbols(QxxImage const& image, size_t tableOffset, std::vector<uint8_t>& strings,
                  std::vector<uint8_t>& bytes) {
    size_t offset = tableOffset;
    for (Symbol const& symbol : image.symbols) {
        put32(bytes, offset, uint32_t(strings.size()));
        put32(bytes, offset + 4, symbol.value);
        bytes[offset + 8] = uint8_t(symbol.kind);
        strings.insert(strings.end(), symbol.name.begin(), symbol.name.end());
        strings.push_back(0);
        offset += k_symbol_entry_size;
    }
}

size_t alignUp(size_t value) {
    return (value + k_content_alignment - 1) / k_content_alignment * k_content_alignment;
}

}  // namespace

bool writeQxx(QxxImage const& image, std::vector<uint8_t>& bytes, std::string& error) {
    if (!validateImage(image, error)) return false;
    std::vector<SectionEntry> sections = sectionsOf(image);
    size_t symbolTable = k_header_size + sections.size() * k_section_entry_size;
    size_t stringTable = symbolTable + image.symbols.size() * k_symbol_entry_size;
    bytes.assign(stringTable, 0);
    std::vector<uint8_t> strings;
    writeSymbols(image, symbolTable, strings, bytes);
    writeHeader(image, uint32_t(sections.size()), uint32_t(strings.size()), bytes);
    bytes.insert(bytes.end(), strings.begin(), strings.end());
    for (size_t index = 0; index < sections.size(); ++index) {
        SectionEntry const& section = sections[index];
        uint32_t fileOffset = 0;
        if (section.contents != nullptr) {
            bytes.resize(alignUp(bytes.size()), 0);
            fileOffset = uint32_t(bytes.size());
            bytes.insert(bytes.end(), section.contents->begin(), section.contents->end());
        }
        size_t entry = k_header_size + index * k_section_entry_size;
        put32(bytes, entry, section.kind);
        put32(bytes, entry + 4, section.address);
        put32(bytes, entry + 8, section.size);
        put32(bytes, entry + 12, fileOffset);
    }
    if (bytes.size() > k_max_file_size) {
        error = "qxx file too large: " + std::to_string(bytes.size()) + " bytes (limit " +
                std::to_string(k_max_file_size) + ")";
        return false;
    }
    return true;
}

bool writeQxxFile(std::string const& path, QxxImage const& image, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!writeQxx(image, bytes, error)) {
        error = path + ": " + error;
        return false;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        error = path + ": cannot open for writing: " + std::strerror(errno);
        return false;
    }
    file.write(reinterpret_cast<char const*>(bytes.data()), std::streamsize(bytes.size()));
    file.close();
    if (!file) {
        error = path + ": write error";
        return false;
    }
    return true;
}

}  // namespace Qxx
