#include "simulator/Alu.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

using namespace Simulator;

std::optional<uint32_t> operate(Opcode op, uint32_t a, uint32_t b) {
    std::optional<uint32_t> result;
    if (!Alu::withOperation(op, [&](auto operation) { result = operation(a, b); })) return std::nullopt;
    return result;
}

// Every form of a mnemonic (mono and poly, register and immediate) computes
// the same operation; -10 and 3 tell the signed and unsigned forms apart.
TEST(Alu, EveryFormOfAnOperationComputesTheSameResult) {
    struct Case {
        std::vector<Opcode> forms;
        uint32_t expected;
    };
    uint32_t const a = uint32_t(-10);
    uint32_t const b = 3;
    Case const cases[] = {
        {{Opcode::ADD, Opcode::ADDI, Opcode::PADD, Opcode::PADDI}, uint32_t(-7)},
        {{Opcode::SUB, Opcode::PSUB}, uint32_t(-13)},
        {{Opcode::MUL, Opcode::MULI, Opcode::PMUL, Opcode::PMULI}, uint32_t(-30)},
        {{Opcode::AND, Opcode::ANDI, Opcode::PAND, Opcode::PANDI}, 2},
        {{Opcode::OR, Opcode::ORI, Opcode::POR, Opcode::PORI}, 0xfffffff7u},
        {{Opcode::XOR, Opcode::XORI, Opcode::PXOR, Opcode::PXORI}, 0xfffffff5u},
        {{Opcode::SHL, Opcode::SHLI, Opcode::PSHL, Opcode::PSHLI}, uint32_t(-80)},
        {{Opcode::SHR, Opcode::SHRI, Opcode::PSHR, Opcode::PSHRI}, 0x1ffffffeu},
        {{Opcode::SRA, Opcode::SRAI, Opcode::PSRA, Opcode::PSRAI}, uint32_t(-2)},
        {{Opcode::SEQ, Opcode::PSEQ}, 0},
        {{Opcode::SNE, Opcode::PSNE}, 1},
        {{Opcode::SLT, Opcode::PSLT}, 1},
        {{Opcode::SLE, Opcode::PSLE}, 1},
        {{Opcode::SLTU, Opcode::PSLTU}, 0},
        {{Opcode::SLEU}, 0},
    };
    for (Case const& c : cases) {
        for (Opcode op : c.forms) {
            SCOPED_TRACE(findInstruction(uint8_t(op))->mnemonic);
            EXPECT_EQ(operate(op, a, b), c.expected);
        }
    }
}

// An arithmetic instruction added to the set without an entry in the table
// would do nothing at all when run.
TEST(Alu, EveryArithmeticInstructionHasAnOperation) {
    for (size_t index = 0; index < instructionCount(); ++index) {
        InstructionInfo const& info = instructionTable()[index];
        Format const format = info.format;
        bool const arithmetic = format == Format::DAB || format == Format::DAI || format == Format::PDAB ||
                                format == Format::PDAI;
        if (!arithmetic || info.opcode == Opcode::DIV || info.opcode == Opcode::REM) continue;
        SCOPED_TRACE(info.mnemonic);
        EXPECT_NE(operate(info.opcode, 1, 2), std::nullopt);
    }
}

TEST(Alu, OpcodesWithoutATwoOperandOperationAreNotInTheTable) {
    for (Opcode op :
         {Opcode::DIV, Opcode::REM, Opcode::NOP, Opcode::MOV, Opcode::LI, Opcode::PLI, Opcode::LDW}) {
        SCOPED_TRACE(findInstruction(uint8_t(op))->mnemonic);
        EXPECT_EQ(operate(op, 1, 2), std::nullopt);
    }
}

}  // namespace
