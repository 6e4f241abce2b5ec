#include "isa/TevIsa.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace {

using namespace Simulator;

TEST(TevIsa, OpcodesAndMnemonicsAreUniqueAndLeaveRoomForInternalOperations) {
    std::set<unsigned> opcodes;
    std::set<std::string> mnemonics;
    for (size_t index = 0; index < instructionCount(); ++index) {
        InstructionInfo const& info = instructionTable()[index];
        EXPECT_TRUE(opcodes.insert(unsigned(info.opcode)).second) << info.mnemonic;
        EXPECT_TRUE(mnemonics.insert(info.mnemonic).second) << info.mnemonic;
        EXPECT_LT(unsigned(info.opcode), unsigned(Opcode::InternalIllegal)) << info.mnemonic;
        EXPECT_EQ(findInstruction(uint8_t(info.opcode)), &info);
        EXPECT_EQ(findInstruction(info.mnemonic), &info);
    }
}

TEST(TevIsa, FieldsAreCheckedAgainstTheFormatAndTheRegisterCounts) {
    RegisterCounts const counts{32, 8};
    struct Case {
        Fields fields;
        bool valid;
        char const* why;
    } const cases[] = {
        {{uint8_t(Opcode::ADD), 1, 2, 31, 0}, true, ""},
        {{uint8_t(Opcode::ADD), k_stack_pointer, k_stack_pointer, 0, 0}, true, ""},
        {{uint8_t(Opcode::ADD), 32, 2, 3, 0}, false, "register r32 does not exist"},
        {{uint8_t(Opcode::ADD), 1, 2, 3, 5}, false, "unused fields of add are not zero"},
        {{uint8_t(Opcode::PADD), 1, 8, 3, 0}, false, "register p8 does not exist"},
        {{uint8_t(Opcode::PLDW), 1, k_stack_pointer, 0, 4}, false, "register p255 does not exist"},
        {{uint8_t(Opcode::LDW), 1, k_stack_pointer, 0, 4}, true, ""},
        {{uint8_t(Opcode::RET), 0, 0, 1, 0}, false, "unused fields of ret are not zero"},
        {{0x07, 0, 0, 0, 0}, false, "unknown opcode 0x07"},
    };
    for (Case const& c : cases) {
        std::string why;
        EXPECT_EQ(checkFields(c.fields, counts, &why), c.valid) << c.why;
        EXPECT_EQ(why, c.why);
    }
}

TEST(TevIsa, TextOfInstructions) {
    struct Case {
        Fields fields;
        char const* text;
    } const cases[] = {
        {{uint8_t(Opcode::LDW), 3, k_stack_pointer, 0, uint32_t(-8)}, "ldw r3, -8(sp)"},
        {{uint8_t(Opcode::PSTB), 2, 4, 0, 16}, "pstb p2, 16(p4)"},
        {{uint8_t(Opcode::BNE), 0, 1, 2, 0x40}, "bne r1, r2, loop"},
        {{uint8_t(Opcode::JMP), 0, 0, 0, 0x48}, "jmp 0x00000048"},
        {{uint8_t(Opcode::RSUM), 1, 0, 0, 0}, "rsum r1, p0"},
        {{uint8_t(Opcode::PELSE), 0, 0, 0, 0}, "pelse"},
        {{0xee, 1, 2, 3, 4}, ".inst 0xee01020300000004"},
    };
    TargetNamer namer = [](uint32_t address) {
        return address == 0x40 ? std::string("loop") : std::string();
    };
    for (Case const& c : cases) EXPECT_EQ(formatInstruction(c.fields, namer), c.text);
}

TEST(TevIsa, EncodingPlacesTheFieldsInTheDocumentedBits) {
    Fields f{0x3c, 0x01, 0x02, 0x03, 0xdeadbeef};
    EXPECT_EQ(encode(f), 0x3c010203deadbeefull);
    Fields back = decodeWord(0x3c010203deadbeefull);
    EXPECT_EQ(back.opcode, 0x3c);
    EXPECT_EQ(back.rd, 1);
    EXPECT_EQ(back.ra, 2);
    EXPECT_EQ(back.rb, 3);
    EXPECT_EQ(back.imm, 0xdeadbeefu);
}

// The reference for users must list every instruction with its opcode.
TEST(TevIsa, FieldNamesTellWhichOperandPartEachFieldHolds) {
    struct Case {
        Format format;
        std::string rd, ra, rb, imm;
    };
    Case const cases[] = {
        {Format::NONE, "0", "0", "0", "0"},       {Format::DAB, "rd", "ra", "rb", "0"},
        {Format::ABT, "0", "ra", "rb", "target"}, {Format::LD, "rd", "ra", "0", "imm"},
        {Format::ST, "rd", "ra", "0", "imm"},     {Format::PDAB, "pd", "pa", "pb", "0"},
        {Format::PDR, "pd", "ra", "0", "0"},      {Format::PLD, "pd", "pa", "0", "imm"},
        {Format::PST, "pd", "pa", "0", "imm"},    {Format::RDP, "rd", "pa", "0", "0"},
    };
    for (Case const& c : cases) {
        FieldNames const names = fieldNames(c.format);
        SCOPED_TRACE(operandSyntax(c.format));
        EXPECT_EQ(names.rd, c.rd);
        EXPECT_EQ(names.ra, c.ra);
        EXPECT_EQ(names.rb, c.rb);
        EXPECT_EQ(names.imm, c.imm);
    }
}

TEST(TevIsa, TheInstructionReferenceDocumentsEveryInstruction) {
    std::ifstream file(QX_SOURCE_DIR "/docs/tev-isa.md");
    ASSERT_TRUE(file) << "docs/tev-isa.md";
    std::stringstream text;
    text << file.rdbuf();
    for (size_t index = 0; index < instructionCount(); ++index) {
        InstructionInfo const& info = instructionTable()[index];
        char opcode[8];
        std::snprintf(opcode, sizeof opcode, "0x%02x", unsigned(info.opcode));
        std::string row = std::string("| ") + opcode + " | `" + info.mnemonic;
        EXPECT_NE(text.str().find(row), std::string::npos) << "missing row starting " << row;
    }
}

}  // namespace
