#include "assembler/FirstPass.h"

#include "assembler/LineParser.h"
#include "isa/TevIsa.h"
#include "qxx/ErrorText.h"

#include <algorithm>

namespace Assembler {

using Qxx::hex;

void FirstPass::add(Statement const& statement) {
    for (std::string const& label : statement.labels) {
        std::string message;
        if (!m_context.symbols.defineLabel(label, m_sections.currentId(), m_sections.current().size,
                                           statement.location, message))
            error(statement, message);
    }
    std::string const& op = statement.op;
    if (op.empty()) return;
    if (Simulator::findInstruction(op) != nullptr || op == ".inst") {
        if (m_sections.currentId() != SectionId::Code)
            error(statement, "instruction '" + op + "' outside the code section");
        else
            m_sections.place(statement, 8);
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

void FirstPass::sectionDirective(Statement const& statement) {
    m_sections.select(statement.op == ".code"   ? SectionId::Code
                      : statement.op == ".data" ? SectionId::Data
                                                : SectionId::Bss);
    if (statement.operands.empty()) return;
    int64_t address = 0;
    if (statement.operands.size() != 1) {
        error(statement, statement.op + " takes at most one operand, the section's address");
        return;
    }
    if (!m_context.value(statement, statement.operands[0], address)) return;
    SectionState& section = m_sections.current();
    if (address < 0 || address > int64_t(0xffffffff))
        error(statement,
              "section address " + std::to_string(address) + " is outside the 32-bit address space");
    else if (section.size != 0)
        error(statement,
              std::string("the address of the ") + section.name + " section must be set before its contents");
    else if (m_sections.currentId() == SectionId::Code && address % 8 != 0)
        error(statement, "the code address " + hex(uint64_t(address)) + " is not a multiple of 8");
    else {
        section.base = uint32_t(address);
        section.baseKnown = true;
        section.baseLocation = statement.location;
    }
}

void FirstPass::equDirective(Statement const& statement) {
    if (statement.operands.size() != 2 || !isIdentifier(statement.operands[0])) {
        error(statement, ".equ needs a name and a value: .equ NAME, value");
        return;
    }
    std::string message;
    if (!m_context.symbols.defineConstant(statement.operands[0], statement.operands[1], statement.location,
                                          message))
        error(statement, message);
    else
        m_constants.push_back(&statement);
}

void FirstPass::entryDirective(Statement const& statement) {
    if (statement.operands.size() != 1)
        error(statement, ".entry needs one operand, the entry point");
    else if (m_entry != nullptr)
        error(statement, "second .entry; the first is at line " + std::to_string(m_entry->location.line));
    else
        m_entry = &statement;
}

void FirstPass::alignDirective(Statement const& statement) {
    int64_t alignment = 0;
    if (statement.operands.size() != 1) {
        error(statement, ".align needs one operand, a power of two");
        return;
    }
    if (!m_context.value(statement, statement.operands[0], alignment)) return;
    if (alignment < 1 || alignment > 4096 || (alignment & (alignment - 1)) != 0) {
        error(statement, ".align needs a power of two from 1 to 4096, not " + std::to_string(alignment));
        return;
    }
    if (m_sections.currentId() == SectionId::Code) {
        if (alignment > 8)
            error(statement, ".align in the code section cannot exceed the instruction size 8");
        return;
    }
    SectionState& section = m_sections.current();
    section.maxAlignment = std::max(section.maxAlignment, uint64_t(alignment));
    uint64_t padding =
        (uint64_t(alignment) - m_sections.currentAddress() % uint64_t(alignment)) % uint64_t(alignment);
    if (padding != 0) m_sections.place(statement, padding);
}

void FirstPass::spaceDirective(Statement const& statement) {
    int64_t size = 0;
    if (statement.operands.empty() || statement.operands.size() > 2) {
        error(statement, ".space needs a size and an optional fill byte: .space size[, fill]");
        return;
    }
    if (m_sections.currentId() == SectionId::Code) {
        error(statement, ".space is not allowed in the code section");
        return;
    }
    if (m_sections.currentId() == SectionId::Bss && statement.operands.size() == 2) {
        error(statement, ".space in the bss section cannot have a fill byte");
        return;
    }
    if (!m_context.value(statement, statement.operands[0], size)) return;
    if (size < 0 || size > int64_t(Qxx::k_max_section_size)) {
        error(statement, ".space size " + std::to_string(size) + " is out of range");
        return;
    }
    m_sections.place(statement, uint64_t(size));
}

bool FirstPass::dataAllowed(Statement const& statement) {
    if (m_sections.currentId() == SectionId::Code) {
        error(statement,
              "'" + statement.op + "' is not allowed in the code section (use .inst for raw words)");
        return false;
    }
    if (m_sections.currentId() == SectionId::Bss) {
        error(statement, "'" + statement.op + "' is not allowed in the bss section, which holds only zeros");
        return false;
    }
    return true;
}

void FirstPass::valuesDirective(Statement const& statement) {
    if (!dataAllowed(statement)) return;
    if (statement.operands.empty()) {
        error(statement, statement.op + " needs at least one value");
        return;
    }
    uint64_t width = dataWidth(statement.op);
    uint64_t address = m_sections.currentAddress();
    if (address % width != 0)
        error(statement, "'" + statement.op + "' at address " + hex(address) + " is not aligned to " +
                             std::to_string(width) + " bytes (add .align " + std::to_string(width) + ")");
    m_sections.place(statement, width * statement.operands.size());
}

void FirstPass::stringDirective(Statement const& statement) {
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
    m_sections.place(statement, size);
}

}  // namespace Assembler
