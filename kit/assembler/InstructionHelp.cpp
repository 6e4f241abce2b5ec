#include "assembler/InstructionHelp.h"

#include "isa/TevIsa.h"

#include <cstdio>

namespace Assembler {

namespace {

std::string syntaxOf(Simulator::InstructionInfo const& info) {
    std::string operands = Simulator::operandSyntax(info.format);
    return std::string(info.mnemonic) + (operands.empty() ? "" : " " + operands);
}

// What each field of the word holds: an operand's name, or 0.
std::string encodingOf(Simulator::InstructionInfo const& info) {
    Simulator::FieldNames const fields = Simulator::fieldNames(info.format);
    char opcode[8];
    std::snprintf(opcode, sizeof opcode, "0x%02x", unsigned(info.opcode));
    return std::string("opcode ") + opcode + " [63:56], " + fields.rd + " [55:48], " + fields.ra +
           " [47:40], " + fields.rb + " [39:32], " + fields.imm + " [31:0]";
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
