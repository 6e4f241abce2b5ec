#include "qxx/QxxReader.h"

#include "qxx/QxxFormat.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace Qxx {

namespace {

using namespace Format;

uint32_t le32(uint8_t const* p) {
    return load32(p, ByteOrder::Little);
}

char const* sectionName(uint32_t kind) {
    switch (kind) {
        case k_code_section: return "code";
        case k_data_section: return "data";
        default: return "bss";
    }
}

// One pass over one buffer; each step checks what it reads and stops at
// the first fault.
class Reader {
public:
    Reader(uint8_t const* data, size_t size, QxxImage& image, std::string& error)
        : m_data(data), m_size(size), m_image(image), m_error(error) {}

    bool read() {
        return checkSizeAndMagic() && readHeader() && checkTables() && readSections() && readSymbols() &&
               validateImage(m_image, m_error);
    }

private:
    bool fail(std::string const& text) {
        m_error = text;
        return false;
    }

    bool truncated(char const* part, uint64_t needed) {
        return fail("truncated qxx file: the " + std::string(part) + " needs " + std::to_string(needed) +
                    " bytes, the file has " + std::to_string(m_size));
    }

    bool checkSizeAndMagic() {
        if (m_size > k_max_file_size)
            return fail("qxx file too large: " + std::to_string(m_size) + " bytes (limit " +
                        std::to_string(k_max_file_size) + ")");
        size_t available = m_size < sizeof k_magic ? m_size : sizeof k_magic;
        if (available != 0 && std::memcmp(m_data, k_magic, available) != 0)
            return fail("not a qxx file (bad magic number)");
        if (m_size < k_header_size) return truncated("header", k_header_size);
        return true;
    }

    bool readHeader() {
        uint16_t version = load16(m_data + k_version_offset, ByteOrder::Little);
        if (version != k_version)
            return fail("unsupported qxx format version " + std::to_string(version) + " (expected 1)");
        uint8_t order = m_data[k_byte_order_offset];
        if (order != uint8_t(ByteOrder::Little) && order != uint8_t(ByteOrder::Big))
            return fail("invalid byte order " + std::to_string(order) + " in the qxx header");
        m_image.byteOrder = ByteOrder(order);
        m_image.instructionSize = m_data[k_instruction_size_offset];
        if (!readInstructionSet()) return false;
        m_image.entry = le32(m_data + k_entry_offset);
        m_section_count = le32(m_data + k_section_count_offset);
        m_symbol_count = le32(m_data + k_symbol_count_offset);
        m_string_table_size = le32(m_data + k_string_table_size_offset);
        for (uint32_t offset = k_reserved_offset; offset < k_header_size; ++offset)
            if (m_data[offset] != 0) return fail("reserved fields of the qxx header are not zero");
        return true;
    }

    bool readInstructionSet() {
        char const* name = reinterpret_cast<char const*>(m_data + k_instruction_set_offset);
        void const* end = std::memchr(name, '\0', k_instruction_set_length);
        if (end == nullptr) return fail("the instruction set name in the qxx header has no terminator");
        m_image.instructionSet.assign(name, static_cast<char const*>(end));
        if (m_image.instructionSet != k_instruction_set)
            return fail("foreign instruction set '" + m_image.instructionSet + "' (expected 'tev')");
        if (m_image.instructionSize != k_instruction_size)
            return fail("unsupported instruction size " + std::to_string(m_image.instructionSize) +
                        " (tev instructions are 8 bytes)");
        return true;
    }

    bool checkTables() {
        if (m_section_count > k_max_sections)
            return fail("too many sections: " + std::to_string(m_section_count) + " (limit 3)");
        if (m_symbol_count > k_max_symbols)
            return fail("too many symbols: " + std::to_string(m_symbol_count) + " (limit " +
                        std::to_string(k_max_symbols) + ")");
        m_symbol_table = k_header_size + uint64_t(m_section_count) * k_section_entry_size;
        m_string_table = m_symbol_table + uint64_t(m_symbol_count) * k_symbol_entry_size;
        m_tables_end = m_string_table + m_string_table_size;
        if (m_symbol_table > m_size) return truncated("section table", m_symbol_table);
        if (m_string_table > m_size) return truncated("symbol table", m_string_table);
        if (m_tables_end > m_size) return truncated("string table", m_tables_end);
        return true;
    }

    bool readSections() {
        bool seen[4] = {false, false, false, false};
        for (uint32_t index = 0; index < m_section_count; ++index) {
            uint8_t const* entry = m_data + k_header_size + index * k_section_entry_size;
            uint32_t kind = le32(entry);
            std::string label = "section " + std::to_string(index);
            if (kind < k_code_section || kind > k_bss_section)
                return fail(label + " has unknown kind " + std::to_string(kind));
            if (seen[kind]) return fail(label + ": more than one " + sectionName(kind) + " section");
            seen[kind] = true;
            if (le32(entry + 16) != 0) return fail(label + " (" + sectionName(kind) + ") has non-zero flags");
            if (!readSection(kind, le32(entry + 4), le32(entry + 8), le32(entry + 12), label)) return false;
        }
        return true;
    }

    bool readSection(uint32_t kind, uint32_t address, uint32_t size, uint32_t offset,
                     std::string const& label) {
        std::string name = label + " (" + sectionName(kind) + ")";
        if (size > k_max_section_size)
            return fail(name + " is too large: " + std::to_string(size) + " bytes (limit " +
                        std::to_string(k_max_section_size) + ")");
        if (kind == k_bss_section) {
            if (offset != 0) return fail(name + " has a file offset, but bss has no contents");
            m_image.bssAddress = address;
            m_image.bssSize = size;
            return true;
        }
        if (offset < m_tables_end) return fail(name + " overlaps the qxx header or tables");
        if (uint64_t(offset) + size > m_size) return fail(name + " extends past the end of the file");
        Section& section = kind == k_code_section ? m_image.code : m_image.data;
        section.address = address;
        section.bytes.assign(m_data + offset, m_data + offset + size);
        return true;
    }

    bool readSymbols() {
        m_image.symbols.reserve(m_symbol_count);
        for (uint32_t index = 0; index < m_symbol_count; ++index) {
            uint8_t const* entry = m_data + m_symbol_table + uint64_t(index) * k_symbol_entry_size;
            Symbol symbol;
            if (!readSymbolName(index, le32(entry), symbol.name)) return false;
            symbol.value = le32(entry + 4);
            uint8_t kind = entry[8];
            if (kind < uint8_t(SymbolKind::Code) || kind > uint8_t(SymbolKind::Constant))
                return fail("symbol " + std::to_string(index) + " has unknown kind " + std::to_string(kind));
            if (entry[9] != 0 || entry[10] != 0 || entry[11] != 0)
                return fail("symbol " + std::to_string(index) + " has non-zero reserved bytes");
            symbol.kind = SymbolKind(kind);
            m_image.symbols.push_back(std::move(symbol));
        }
        return true;
    }

    bool readSymbolName(uint32_t index, uint32_t offset, std::string& name) {
        std::string label = "symbol " + std::to_string(index);
        if (offset >= m_string_table_size)
            return fail(label + ": name offset " + std::to_string(offset) + " is outside the string table");
        char const* start = reinterpret_cast<char const*>(m_data + m_string_table + offset);
        size_t remaining = m_string_table_size - offset;
        size_t window = remaining < k_max_symbol_name_length + 1 ? remaining : k_max_symbol_name_length + 1;
        void const* end = std::memchr(start, '\0', window);
        if (end == nullptr && window == remaining) return fail(label + ": name has no terminator");
        if (end == nullptr) return fail(label + ": name longer than 255 characters");
        name.assign(start, static_cast<char const*>(end));
        if (name.empty()) return fail(label + ": empty name");
        return true;
    }

    uint8_t const* m_data;
    size_t m_size;
    QxxImage& m_image;
    std::string& m_error;
    uint32_t m_section_count = 0;
    uint32_t m_symbol_count = 0;
    uint32_t m_string_table_size = 0;
    uint64_t m_symbol_table = 0;
    uint64_t m_string_table = 0;
    uint64_t m_tables_end = 0;
};

}  // namespace

bool readQxx(uint8_t const* data, size_t size, QxxImage& image, std::string& error) {
    image = QxxImage();
    image.instructionSet.clear();
    return Reader(data, size, image, error).read();
}

bool readQxxFile(std::string const& path, QxxImage& image, std::string& error) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(path, ignored)) {
        error = path + ": not a regular file";
        return false;
    }
    std::streamoff size = file.tellg();
    if (size < 0 || uint64_t(size) > k_max_file_size) {
        error = path + ": qxx file too large: " + std::to_string(size) + " bytes (limit " +
                std::to_string(k_max_file_size) + ")";
        return false;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), size)) {
        error = path + ": read error";
        return false;
    }
    if (!readQxx(bytes.data(), bytes.size(), image, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace Qxx
