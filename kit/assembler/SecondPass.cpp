#include "assembler/SecondPass.h"

#include "assembler/InstructionEncoder.h"
#include "assembler/LineParser.h"
#include "isa/TevIsa.h"
#include "qxx/ByteOrder.h"

namespace Assembler {

void SecondPass::emit(Placed const& placed) {
    Statement const& statement = *placed.statement;
    if (placed.section == SectionId::Bss) return;
    std::vector<uint8_t>& bytes = m_context.sections[placed.section].bytes;
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

void SecondPass::emitFill(Statement const& statement, std::vector<uint8_t>& bytes, uint64_t offset) {
    int64_t size = 0;
    int64_t fill = 0;
    if (statement.op != ".space" || statement.operands.size() < 2) return;
    if (!m_context.value(statement, statement.operands[0], size) ||
        !m_context.value(statement, statement.operands[1], fill))
        return;
    if (fill < -128 || fill > 255) {
        error(statement, "fill value " + std::to_string(fill) + " does not fit in a byte");
        return;
    }
    for (int64_t i = 0; i < size && offset + uint64_t(i) < bytes.size(); ++i)
        bytes[offset + uint64_t(i)] = uint8_t(fill);
}

void SecondPass::emitValues(Statement const& statement, std::vector<uint8_t>& bytes, uint64_t offset) {
    uint64_t width = dataWidth(statement.op);
    int64_t low = -(int64_t(1) << (width * 8 - 1));
    int64_t high = (int64_t(1) << (width * 8)) - 1;
    for (std::string const& operand : statement.operands) {
        int64_t result = 0;
        if (!m_context.value(statement, operand, result)) continue;
        if (result < low || result > high) {
            error(statement, "value " + std::to_string(result) + " does not fit in " + std::to_string(width) +
                                 (width == 1 ? " byte" : " bytes"));
        } else if (offset + width <= bytes.size()) {
            if (width == 1)
                bytes[offset] = uint8_t(result);
            else if (width == 2)
                Qxx::store16(&bytes[offset], uint16_t(result), m_context.options.byteOrder);
            else
                Qxx::store32(&bytes[offset], uint32_t(result), m_context.options.byteOrder);
        }
        offset += width;
    }
}

void SecondPass::emitStrings(Statement const& statement, std::vector<uint8_t>& bytes, uint64_t offset) {
    for (std::string const& operand : statement.operands) {
        std::string text;
        std::string message;
        parseStringLiteral(operand, text, message);
        if (statement.op == ".asciz") text += '\0';
        for (char c : text)
            if (offset < bytes.size()) bytes[offset++] = uint8_t(c);
    }
}

void SecondPass::emitInstruction(Statement const& statement, std::vector<uint8_t>& bytes, uint64_t offset) {
    AssemblerOptions const& options = m_context.options;
    uint64_t word = 0;
    if (statement.op == ".inst") {
        int64_t result = 0;
        if (statement.operands.size() != 1) {
            error(statement, ".inst needs one operand, a 64-bit instruction word");
            return;
        }
        if (!m_context.value(statement, statement.operands[0], result)) return;
        word = uint64_t(result);
    } else {
        SectionState const& code = m_context.sections[SectionId::Code];
        EncodingContext context{
            {options.monoRegisters, options.polyRegisters}, code.base, code.size, m_context.lookup};
        Simulator::Fields fields;
        std::string message;
        if (!encodeInstruction(*Simulator::findInstruction(statement.op), statement.operands, context, fields,
                               message)) {
            error(statement, message);
            return;
        }
        word = Simulator::encode(fields);
    }
    if (offset + 8 <= bytes.size()) Qxx::store64(&bytes[offset], word, options.byteOrder);
}

}  // namespace Assembler
