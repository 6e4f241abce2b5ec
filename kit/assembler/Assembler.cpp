#include "assembler/Assembler.h"
#include "qxx/ErrorText.h"

#include "assembler/Diagnostics.h"
#include "assembler/InstructionEncoder.h"
#include "assembler/LineParser.h"
#include "assembler/Preprocessor.h"
#include "assembler/SymbolTable.h"
#include "isa/TevIsa.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace Assembler {

namespace {

using Qxx::hex;

struct SectionState {
    char const* name;
    uint32_t base = 0;
    bool baseKnown = true;  // false for bss until the data section's size is known
    uint64_t size = 0;
    uint64_t maxAlignment = 1;
    bool sizeReported = false;
    SourceLocation baseLocation;
    std::vector<uint8_t> bytes;
};

// A statement that occupies room in a section, where the first pass put it.
struct Placed {
    Statement const* statement;
    SectionId section;
    uint64_t offset;
};

// The two passes over the statements. The first places labels and sizes
// every statement; the second evaluates operands and emits the bytes.
class Assembly {
public:
    Assembly(AssemblerOptions const& options, Diagnostics& diagnostics)
        : m_options(options), m_diagnostics(diagnostics), m_lookup(m_symbols.lookup()) {
        m_sections[0].name = "code";
        m_sections[0].base = options.codeAddress;
        m_sections[1].name = "data";
        m_sections[1].base = options.dataAddress;
        m_sections[2].name = "bss";
        m_sections[2].baseKnown = false;
    }

    void run(std::vector<Statement> const& statements, std::string const& mainFile, Qxx::QxxImage& image) {
        if (m_options.codeAddress % 8 != 0)
            m_diagnostics.error(mainFile,
                                "the code address " + hex(m_options.codeAddress) + " is not a multiple of 8");
        for (Statement const& statement : statements) firstPass(statement);
        layout(mainFile);
        for (Placed const& placed : m_placed) secondPass(placed);
        finish(mainFile, image);
    }

private:
    SectionState& current() { return m_sections[int(m_current)]; }

    void error(Statement const& statement, std::string const& message) {
        m_diagnostics.error(statement.location, message);
    }

    // First-pass value: constants only, as labels have no address yet.
    bool firstPassValue(Statement const& statement, std::string const& text, int64_t& value) {
        std::string message;
        if (evaluateExpression(text, m_lookup, value, message)) return true;
        error(statement, message);
        return false;
    }

    void place(Statement const& statement, uint64_t size) {
        SectionState& section = current();
        m_placed.push_back(Placed{&statement, m_current, section.size});
        section.size += size;
        if (section.size > Qxx::k_max_section_size && !section.sizeReported) {
            error(statement, std::string("the ") + section.name + " section is larger than " +
                                 std::to_string(Qxx::k_max_section_size) + " bytes");
            section.sizeReported = true;
        }
    }

    uint64_t currentAddress() { return (current().baseKnown ? current().base : 0) + current().size; }

    void firstPass(Statement const& statement) {
        for (std::string const& label : statement.labels) {
            std::string message;
            if (!m_symbols.defineLabel(label, m_current, current().size, statement.location, message))
                error(statement, message);
        }
        std::string const& op = statement.op;
        if (op.empty()) return;
        if (Simulator::findInstruction(op) != nullptr || op == ".inst") {
            if (m_current != SectionId::Code)
                error(statement, "instruction '" + op + "' outside the code section");
            else
                place(statement, 8);
            return;
        }
        if (op == ".code" || op == ".data" || op == ".bss")
            sectionDirective(statement);
        else if (op == ".equ")
            equDirective(statement);
        else if (op == ".entry")
            entryDirective(statement);
        else if (op == ".align")
            alignDirective(statement);
        else if (op == ".space")
            spaceDirective(statement);
        else if (op == ".byte" || op == ".half" || op == ".word")
            valuesDirective(statement);
        else if (op == ".ascii" || op == ".asciz")
            stringDirective(statement);
        else if (op[0] == '.')
            error(statement, "unknown directive '" + op + "'");
        else
            error(statement, "unknown instruction '" + op + "'");
    }

    void sectionDirective(Statement const& statement) {
        m_current = statement.op == ".code"   ? SectionId::Code
                    : statement.op == ".data" ? SectionId::Data
                                              : SectionId::Bss;
        if (statement.operands.empty()) return;
        int64_t address = 0;
        if (statement.operands.size() != 1) {
            error(statement, statement.op + " takes at most one operand, the section's address");
            return;
        }
        if (!firstPassValue(statement, statement.operands[0], address)) return;
        SectionState& section = current();
        if (address < 0 || address > int64_t(0xffffffff))
            error(statement,
                  "section address " + std::to_string(address) + " is outside the 32-bit address space");
        else if (section.size != 0)
            error(statement, std::string("the address of the ") + section.name +
                                 " section must be set before its contents");
        else if (m_current == SectionId::Code && address % 8 != 0)
            error(statement, "the code address " + hex(uint64_t(address)) + " is not a multiple of 8");
        else {
            section.base = uint32_t(address);
            section.baseKnown = true;
            section.baseLocation = statement.location;
        }
    }

    void equDirective(Statement const& statement) {
        if (statement.operands.size() != 2 || !isIdentifier(statement.operands[0])) {
            error(statement, ".equ needs a name and a value: .equ NAME, value");
            return;
        }
        std::string message;
        if (!m_symbols.defineConstant(statement.operands[0], statement.operands[1], statement.location,
                                      message))
            error(statement, message);
        else
            m_constants.push_back(&statement);
    }

    void entryDirective(Statement const& statement) {
        if (statement.operands.size() != 1)
            error(statement, ".entry needs one operand, the entry point");
        else if (m_entry != nullptr)
            error(statement, "second .entry; the first is at line " + std::to_string(m_entry->location.line));
        else
            m_entry = &statement;
    }

    void alignDirective(Statement const& statement) {
        int64_t alignment = 0;
        if (statement.operands.size() != 1) {
            error(statement, ".align needs one operand, a power of two");
            return;
        }
        if (!firstPassValue(statement, statement.operands[0], alignment)) return;
        if (alignment < 1 || alignment > 4096 || (alignment & (alignment - 1)) != 0) {
            error(statement, ".align needs a power of two from 1 to 4096, not " + std::to_string(alignment));
            return;
        }
        if (m_current == SectionId::Code) {
            if (alignment > 8)
                error(statement, ".align in the code section cannot exceed the instruction size 8");
            return;
        }
        SectionState& section = current();
        section.maxAlignment = std::max(section.maxAlignment, uint64_t(alignment));
        uint64_t padding =
            (uint64_t(alignment) - currentAddress() % uint64_t(alignment)) % uint64_t(alignment);
        if (padding != 0) place(statement, padding);
    }

    void spaceDirective(Statement const& statement) {
        int64_t size = 0;
        if (statement.operands.empty() || statement.operands.size() > 2) {
            error(statement, ".space needs a size and an optional fill byte: .space size[, fill]");
            return;
        }
        if (m_current == SectionId::Code) {
            error(statement, ".space is not allowed in the code section");
            return;
        }
        if (m_current == SectionId::Bss && statement.operands.size() == 2) {
            error(statement, ".space in the bss section cannot have a fill byte");
            return;
        }
        if (!firstPassValue(statement, statement.operands[0], size)) return;
        if (size < 0 || size > int64_t(Qxx::k_max_section_size)) {
            error(statement, ".space size " + std::to_string(size) + " is out of range");
            return;
        }
        place(statement, uint64_t(size));
    }

    static uint64_t widthOf(std::string const& op) { return op == ".byte" ? 1 : op == ".half" ? 2 : 4; }

    bool dataAllowed(Statement const& statement) {
        if (m_current == SectionId::Code) {
            error(statement,
                  "'" + statement.op + "' is not allowed in the code section (use .inst for raw words)");
            return false;
        }
        if (m_current == SectionId::Bss) {
            error(statement,
                  "'" + statement.op + "' is not allowed in the bss section, which holds only zeros");
            return false;
        }
        return true;
    }

    void valuesDirective(Statement const& statement) {
        if (!dataAllowed(statement)) return;
        if (statement.operands.empty()) {
            error(statement, statement.op + " needs at least one value");
            return;
        }
        uint64_t width = widthOf(statement.op);
        if (currentAddress() % width != 0)
            error(statement, "'" + statement.op + "' at address " + hex(currentAddress()) +
                                 " is not aligned to " + std::to_string(width) + " bytes (add .align " +
                                 std::to_string(width) + ")");
        place(statement, width * statement.operands.size());
    }

    void stringDirective(Statement const& statement) {
        if (!dataAllowed(statement)) return;
        if (statement.operands.empty()) {
            error(statement, statement.op + " needs at least one string");
            return;
        }
        uint64_t size = 0;
        for (std::string const& operand : statement.operands) {
            std::string value;
            std::string message;
            if (!parseStringLiteral(operand, value, message)) {
                error(statement, message);
                return;
            }
            size += value.size() + (statement.op == ".asciz" ? 1 : 0);
        }
        place(statement, size);
    }

    // Gives every section its address and the sections' contents their size.
    void layout(std::string const& mainFile) {
        SectionState& data = m_sections[1];
        SectionState& bss = m_sections[2];
        if (!bss.baseKnown) {
            uint64_t alignment = std::max<uint64_t>(8, bss.maxAlignment);
            uint64_t end = uint64_t(data.base) + data.size;
            bss.base = uint32_t((end + alignment - 1) / alignment * alignment);
            if ((end + alignment - 1) / alignment * alignment > 0xffffffffu)
                m_diagnostics.error(mainFile, "the bss section does not fit in the 32-bit address space");
        }
        for (SectionState& section : m_sections) {
            if (uint64_t(section.base) + section.size > (uint64_t(1) << 32))
                m_diagnostics.error(mainFile, std::string("the ") + section.name +
                                                  " section does not fit in the 32-bit address space");
        }
        if (data.size != 0 && bss.size != 0 && data.base < uint64_t(bss.base) + bss.size &&
            bss.base < uint64_t(data.base) + data.size)
            m_diagnostics.error(bss.baseLocation.file.empty() ? data.baseLocation : bss.baseLocation,
                                "the data and bss sections overlap");
        for (int index = 0; index < 2; ++index)
            m_sections[index].bytes.assign(
                std::min<uint64_t>(m_sections[index].size, Qxx::k_max_section_size), 0);
        uint32_t bases[3] = {m_sections[0].base, m_sections[1].base, m_sections[2].base};
        m_symbols.placeSections(bases);
    }

    bool value(Statement const& statement, std::string const& text, int64_t& result) {
        std::string message;
        if (evaluateExpression(text, m_lookup, result, message)) return true;
        error(statement, message);
        return false;
    }

    void secondPass(Placed const& placed) {
        Statement const& statement = *placed.statement;
        if (placed.section == SectionId::Bss) return;
        std::vector<uint8_t>& bytes = m_sections[int(placed.section)].bytes;
        std::string const& op = statement.op;
        if (op == ".space" || op == ".align")
            emitFill(statement, bytes, placed.offset);
        else if (op == ".byte" || op == ".half" || op == ".word")
            emitValues(statement, bytes, placed.offset);
        else if (op == ".ascii" || op == ".asciz")
            emitStrings(statement, bytes, placed.offset);
        else
            emitInstruction(statement, bytes, placed.offset);
    }

    void emitFill(Statement const& statement, std::vector<uint8_t>& bytes, uint64_t offset) {
        int64_t size = 0;
        int64_t fill = 0;
        if (statement.op != ".space" || statement.operands.size() < 2) return;
        if (!value(statement, statement.operands[0], size) || !value(statement, statement.operands[1], fill))
            return;
        if (fill < -128 || fill > 255) {
            error(statement, "fill value " + std::to_string(fill) + " does not fit in a byte");
            return;
        }
        for (int64_t i = 0; i < size && offset + uint64_t(i) < bytes.size(); ++i)
            bytes[offset + uint64_t(i)] = uint8_t(fill);
    }

    void emitValues(Statement const& statement, std::vector<uint8_t>& bytes, uint64_t offset) {
        uint64_t width = widthOf(statement.op);
        int64_t low = -(int64_t(1) << (width * 8 - 1));
        int64_t high = (int64_t(1) << (width * 8)) - 1;
        for (std::string const& operand : statement.operands) {
            int64_t result = 0;
            if (!value(statement, operand, result)) continue;
            if (result < low || result > high) {
                error(statement, "value " + std::to_string(result) + " does not fit in " +
                                     std::to_string(width) + (width == 1 ? " byte" : " bytes"));
            } else if (offset + width <= bytes.size()) {
                if (width == 1)
                    bytes[offset] = uint8_t(result);
                else if (width == 2)
                    Qxx::store16(&bytes[offset], uint16_t(result), m_options.byteOrder);
                else
                    Qxx::store32(&bytes[offset], uint32_t(result), m_options.byteOrder);
            }
            offset += width;
        }
    }

    void emitStrings(Statement const& statement, std::vector<uint8_t>& bytes, uint64_t offset) {
        for (std::string const& operand : statement.operands) {
            std::string text;
            std::string message;
            parseStringLiteral(operand, text, message);
            if (statement.op == ".asciz") text += '\0';
            for (char c : text)
                if (offset < bytes.size()) bytes[offset++] = uint8_t(c);
        }
    }

    void emitInstruction(Statement const& statement, std::vector<uint8_t>& bytes, uint64_t offset) {
        uint64_t word = 0;
        if (statement.op == ".inst") {
            int64_t result = 0;
            if (statement.operands.size() != 1) {
                error(statement, ".inst needs one operand, a 64-bit instruction word");
                return;
            }
            if (!value(statement, statement.operands[0], result)) return;
            word = uint64_t(result);
        } else {
            EncodingContext context{{m_options.monoRegisters, m_options.polyRegisters},
                                    m_sections[0].base,
                                    m_sections[0].size,
                                    m_lookup};
            Simulator::Fields fields;
            std::string message;
            if (!encodeInstruction(*Simulator::findInstruction(statement.op), statement.operands, context,
                                   fields, message)) {
                error(statement, message);
                return;
            }
            word = Simulator::encode(fields);
        }
        if (offset + 8 <= bytes.size()) Qxx::store64(&bytes[offset], word, m_options.byteOrder);
    }

    uint32_t entryPoint() {
        SectionState const& code = m_sections[0];
        uint32_t address = code.base;
        if (m_entry == nullptr) {
            m_symbols.codeLabel("main", address);
            return address;
        }
        int64_t result = 0;
        if (!value(*m_entry, m_entry->operands[0], result)) return address;
        if (result < code.base || result >= int64_t(code.base + code.size) || (result - code.base) % 8 != 0)
            error(*m_entry,
                  "the entry point " + hex(uint64_t(result)) + " is not an instruction of the code");
        return uint32_t(result);
    }

    void finish(std::string const& mainFile, Qxx::QxxImage& image) {
        for (Statement const* statement : m_constants) {
            int64_t result = 0;
            value(*statement, statement->operands[0], result);
        }
        if (m_sections[0].size == 0)
            m_diagnostics.error(mainFile, "no instructions: the code section is empty");
        image = Qxx::QxxImage();
        image.byteOrder = m_options.byteOrder;
        image.entry = entryPoint();
        image.code.address = m_sections[0].base;
        image.code.bytes = std::move(m_sections[0].bytes);
        image.data.address = m_sections[1].base;
        image.data.bytes = std::move(m_sections[1].bytes);
        image.bssAddress = m_sections[2].base;
        image.bssSize = uint32_t(std::min<uint64_t>(m_sections[2].size, Qxx::k_max_section_size));
        std::vector<std::pair<SourceLocation, std::string>> errors;
        image.symbols = m_symbols.exportedSymbols(errors);
        for (auto const& [location, message] : errors) m_diagnostics.error(location, message);
    }

    AssemblerOptions const& m_options;
    Diagnostics& m_diagnostics;
    SymbolTable m_symbols;
    SymbolLookup m_lookup;
    SectionState m_sections[3];
    SectionId m_current = SectionId::Code;
    std::vector<Placed> m_placed;
    std::vector<Statement const*> m_constants;
    Statement const* m_entry = nullptr;
};

}  // namespace

bool assemble(std::vector<SourceFile> const& sources, AssemblerOptions const& options, Qxx::QxxImage& image,
              std::vector<std::string>& errors) {
    Diagnostics diagnostics;
    Preprocessor preprocessor(options, diagnostics);
    for (SourceFile const& source : sources) preprocessor.addSource(source);
    std::string mainFile = sources.empty() ? std::string("<no source>") : sources.back().name;
    Assembly(options, diagnostics).run(preprocessor.statements(), mainFile, image);
    if (diagnostics.empty()) {
        std::string message;
        if (!Qxx::validateImage(image, message)) diagnostics.error(mainFile, message);
    }
    errors = diagnostics.messages();
    return errors.empty();
}

bool readSourceFile(std::string const& path, std::string& text, std::string& reason) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> const file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        reason = std::strerror(errno);
        return false;
    }
    text.clear();
    char buffer[65536];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        if (count > k_max_source_size - text.size()) {
            reason = "more than " + std::to_string(k_max_source_size) + " bytes";
            return false;
        }
        text.append(buffer, count);
    }
    if (std::ferror(file.get())) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

bool readTextFile(std::string const& path, std::string& text) {
    std::error_code ignored;
    std::string reason;
    return std::filesystem::is_regular_file(path, ignored) && readSourceFile(path, text, reason);
}

bool assembleFiles(std::vector<std::string> const& paths, AssemblerOptions const& options,
                   Qxx::QxxImage& image, std::vector<std::string>& errors) {
    std::vector<SourceFile> sources;
    errors.clear();
    FileReader read = options.readFile ? options.readFile : FileReader(readTextFile);
    for (std::string const& path : paths) {
        SourceFile source{path, std::string()};
        if (!read(path, source.text)) errors.push_back(path + ": cannot read the file");
        sources.push_back(std::move(source));
    }
    if (!errors.empty()) return false;
    return assemble(sources, options, image, errors);
}

}  // namespace Assembler
