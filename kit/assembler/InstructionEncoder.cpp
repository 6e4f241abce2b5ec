#include "assembler/InstructionEncoder.h"

#include "assembler/LineParser.h"

#include <cctype>
#include <cstdio>

namespace Assembler {

namespace {

using Simulator::Operand;

bool isPoly(Operand kind) {
    return kind == Operand::PolyDst || kind == Operand::PolySrc || kind == Operand::PolyA ||
           kind == Operand::PolyB || kind == Operand::PolyMem;
}

bool parseRegister(std::string const& text, bool poly, EncodingContext const& context, uint8_t& number,
                   std::string& error) {
    if (!poly && text == "sp") {
        number = Simulator::k_stack_pointer;
        return true;
    }
    char prefix = poly ? 'p' : 'r';
    unsigned count = poly ? context.registers.poly : context.registers.mono;
    bool digits = text.size() >= 2 && text.size() <= 4 && text[0] == prefix;
    for (size_t i = 1; digits && i < text.size(); ++i)
        digits = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (!digits) {
        error = std::string("expected a ") +
                (poly ? "poly register (p0, p1, ...)" : "mono register (r0, r1, ..., sp)") + ", found '" +
                text + "'";
        return false;
    }
    unsigned value = unsigned(std::stoul(text.substr(1)));
    if (value >= count) {
        error = "no register " + text + " (the processor has " + std::to_string(count) + " " +
                (poly ? "poly registers p0.." : "mono registers r0..") + std::string(1, prefix) +
                std::to_string(count - 1) + ")";
        return false;
    }
    number = uint8_t(value);
    return true;
}

bool parseImmediate(std::string const& text, EncodingContext const& context, uint32_t& imm,
                    std::string& error) {
    int64_t value = 0;
    if (!evaluateExpression(text, context.lookup, value, error)) return false;
    if (value < -(int64_t(1) << 31) || value > int64_t(0xffffffff)) {
        error = "value " + std::to_string(value) + " does not fit in 32 bits";
        return false;
    }
    imm = uint32_t(value);
    return true;
}

bool parseTarget(std::string const& text, EncodingContext const& context, uint32_t& imm, std::string& error) {
    if (!parseImmediate(text, context, imm, error)) return false;
    char address[16];
    std::snprintf(address, sizeof address, "0x%08x", imm);
    if (imm < context.codeBase || imm - context.codeBase >= context.codeSize) {
        error = std::string("branch target ") + address + " is outside the code";
        return false;
    }
    if ((imm - context.codeBase) % 8 != 0) {
        error = std::string("branch target ") + address + " is not the address of an instruction";
        return false;
    }
    return true;
}

// "offset(register)" or "(register)".
bool parseMemory(std::string const& text, bool poly, EncodingContext const& context,
                 Simulator::Fields& fields, std::string& error) {
    size_t open = text.rfind('(');
    if (text.empty() || text.back() != ')' || open == std::string::npos) {
        error = std::string("expected an address offset(") + (poly ? "pa" : "ra") + "), found '" + text + "'";
        return false;
    }
    std::string reg = trim(text.substr(open + 1, text.size() - open - 2));
    std::string offset = trim(text.substr(0, open));
    if (!parseRegister(reg, poly, context, fields.ra, error)) return false;
    fields.imm = 0;
    return offset.empty() || parseImmediate(offset, context, fields.imm, error);
}

bool parseOperand(Operand kind, std::string const& text, EncodingContext const& context,
                  Simulator::Fields& fields, std::string& error) {
    switch (kind) {
        case Operand::MonoDst:
        case Operand::MonoSrc:
        case Operand::PolyDst:
        case Operand::PolySrc: return parseRegister(text, isPoly(kind), context, fields.rd, error);
        case Operand::MonoA:
        case Operand::PolyA: return parseRegister(text, isPoly(kind), context, fields.ra, error);
        case Operand::MonoB:
        case Operand::PolyB: return parseRegister(text, isPoly(kind), context, fields.rb, error);
        case Operand::Imm: return parseImmediate(text, context, fields.imm, error);
        case Operand::Target: return parseTarget(text, context, fields.imm, error);
        case Operand::MonoMem:
        case Operand::PolyMem: return parseMemory(text, isPoly(kind), context, fields, error);
    }
    return false;
}

}  // namespace

bool encodeInstruction(Simulator::InstructionInfo const& info, std::vector<std::string> const& operands,
                       EncodingContext const& context, Simulator::Fields& fields, std::string& error) {
    Simulator::FormatInfo const& format = Simulator::formatInfo(info.format);
    if (operands.size() != format.count) {
        std::string syntax = Simulator::operandSyntax(info.format);
        error = std::string("'") + info.mnemonic + "' takes " + std::to_string(format.count) + " operand" +
                (format.count == 1 ? "" : "s") + (syntax.empty() ? "" : " (" + syntax + ")") + ", not " +
                std::to_string(operands.size());
        return false;
    }
    fields = Simulator::Fields{};
    fields.opcode = uint8_t(info.opcode);
    for (size_t index = 0; index < operands.size(); ++index)
        if (!parseOperand(format.operands[index], operands[index], context, fields, error)) return false;
    return true;
}

}  // namespace Assembler
