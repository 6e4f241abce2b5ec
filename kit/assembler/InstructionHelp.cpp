#include "assembler/InstructionHelp.h"

#include "isa/TevIsa.h"

#include <cstdio>

namespace Assembler {

namespace {

using Simulator::Operand;

std::string syntaxOf(Simulator::InstructionInfo const& info) {
    std::string operands = Simulator::operandSyntax(info.format);
    return std::string(info.mnemonic) + (operands.empty() ? "" : " " + operands);
}

// What each field of the word holds: an operand's name, or 0.
std::string encodingOf(Simulator::InstructionInfo const& info) {
    std::string rd = "0", ra = "0", rb = "0", imm = "0";
    Simulator::FormatInfo const& format = Simulator::formatInfo(info.format);
    for (unsigned index = 0; index < format.count; ++index) {
        switch (format.operands[index]) {
            case Operand::MonoDst:
            case Operand::MonoSrc:
                rd = "rd";
                break;
            case Operand::PolyDst:
            case Operand::PolySrc:
                rd = "pd";
                break;
            case Operand::MonoA:
                ra = "ra";
                break;
            case Operand::PolyA:
                ra = "pa";
                break;
            case Operand::MonoB:
                rb = "rb";
                break;
            case Operand::PolyB:
                rb = "pb";
                break;
            case Operand::Imm:
                imm = "imm";
                break;
            case Operand::Target:
                imm = "target";
                break;
            case Operand::MonoMem:
                ra = "ra";
                imm = "imm";
                break;
            case Operand::PolyMem:
                ra = "pa";
                imm = "imm";
                break;
        }
    }
    char opcode[8];
    std::snprintf(opcode, sizeof opcode, "0x%02x", unsigned(info.opcode));
    return std::string("opcode ") + opcode + " [63:56], " + rd + " [55:48], " + ra + " [47:40], " + rb +
           " [39:32], " + imm + " [31:0]";
}

}  // namespace

bool describeInstruction(std::string const& mnemonic, std::string& text) {
    Simulator::InstructionInfo const* info = Simulator::findInstruction(mnemonic);
    if (info == nullptr) return false;
    text = syntaxOf(*info) + "\n" + "  effect:   " + info->effect + "\n" +
           "  encoding: " + encodingOf(*info) + "\n";
    return true;
}

std::string instructionSummary() {
    std::string text;
    for (size_t index = 0; index < Simulator::instructionCount(); ++index) {
        Simulator::InstructionInfo const& info = Simulator::instructionTable()[index];
        std::string syntax = syntaxOf(info);
        text += syntax;
        for (size_t column = syntax.size(); column < 24; ++column) text += ' ';
        text += std::string(info.effect) + "\n";
    }
    return text;
}

}  // namespace Assembler
