#include "simulator/Processor.h"

#include "tests/support/TevTestPrograms.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace {

using namespace Simulator;
using KitTest::runSource;

struct SemanticsCase {
    char const* family;
    char const* source;  // "halt r0" is appended in the code section
    std::vector<std::pair<unsigned, uint32_t>> registers;
};

// One row per family of instructions; the expected values are worked out
// by hand from docs/tev-isa.md.
SemanticsCase const k_semantics[] = {
    {"add and sub wrap",
     "li r2, 0x7fffffff\n li r3, 1\n add r1, r2, r3\n sub r4, r0, r3",
     {{1, 0x80000000u}, {4, 0xffffffffu}}},
    {"mul keeps the low bits",
     "li r2, 0x10000\n mul r1, r2, r2\n li r3, -3\n li r4, 7\n mul r5, r3, r4",
     {{1, 0}, {5, uint32_t(-21)}}},
    {"div and rem are signed and truncate",
     "li r2, -7\n li r3, 2\n div r1, r2, r3\n rem r4, r2, r3\n li r5, 0x80000000\n li r6, -1\n"
     " div r7, r5, r6\n rem r8, r5, r6",
     {{1, uint32_t(-3)}, {4, uint32_t(-1)}, {7, 0x80000000u}, {8, 0}}},
    {"logic",
     "li r2, 0xf0f0\n li r3, 0xff00\n and r1, r2, r3\n or r4, r2, r3\n xor r5, r2, r3\n not r6, r2\n neg r7, "
     "r3",
     {{1, 0xf000}, {4, 0xfff0}, {5, 0x0ff0}, {6, 0xffff0f0fu}, {7, uint32_t(-0xff00)}}},
    {"shifts mask their count",
     "li r2, 1\n li r3, 33\n shl r1, r2, r3\n li r4, 0x80000000\n li r5, 31\n shr r6, r4, r5\n sra r7, r4, "
     "r5\n"
     " shli r8, r2, 4\n srai r9, r4, 4\n shri r10, r4, 36",
     {{1, 2}, {6, 1}, {7, 0xffffffffu}, {8, 16}, {9, 0xf8000000u}, {10, 0x08000000u}}},
    {"comparisons signed and unsigned",
     "li r2, -1\n li r3, 1\n slt r1, r2, r3\n sltu r4, r2, r3\n sle r5, r3, r3\n sleu r6, r2, r3\n"
     " seq r7, r2, r2\n sne r8, r2, r3",
     {{1, 1}, {4, 0}, {5, 1}, {6, 0}, {7, 1}, {8, 1}}},
    {"immediate forms",
     "li r2, 5\n addi r1, r2, -6\n muli r3, r2, 3\n andi r4, r2, 4\n ori r5, r2, 8\n xori r6, r2, 1\n mov "
     "r7, r2",
     {{1, 0xffffffffu}, {3, 15}, {4, 4}, {5, 13}, {6, 4}, {7, 5}}},
    {"loads extend, stores truncate",
     ".data\nbuf: .word 0x80f17f03, 0\n.code\n li r9, buf\n ldw r1, 0(r9)\n ldb r2, 3(r9)\n ldbu r3, 3(r9)\n"
     " ldh r4, 2(r9)\n ldhu r5, 2(r9)\n ldb r11, 1(r9)\n li r6, 0x12345678\n sth r6, 4(r9)\n stb r6, 7(r9)\n "
     "ldw r7, 4(r9)",
     {{1, 0x80f17f03u},
      {2, 0xffffff80u},
      {3, 0x80},
      {4, 0xffff80f1u},
      {5, 0x80f1},
      {11, 0x7f},
      {7, 0x78005678}}},
    {"branches taken and not taken",
     "li r2, -1\n li r3, 1\n"
     " beq r2, r2, a\n ori r1, r1, 1\na: bne r2, r2, b\n ori r1, r1, 2\nb: blt r2, r3, c\n ori r1, r1, 4\n"
     "c: bge r2, r3, d\n ori r1, r1, 8\nd: bltu r2, r3, e\n ori r1, r1, 16\ne: bgeu r2, r3, f\n ori r1, r1, "
     "32\n"
     "f: beqz r0, g\n ori r1, r1, 64\ng: bnez r0, h\n ori r1, r1, 128\nh: nop",
     {{1, 2 | 8 | 16 | 128}}},
    {"calls through the stack",
     " li r1, 1\n call twice\n li r5, twice\n callr r5\n li r6, over\n jr r6\n li r1, 99\nover: push r1\n "
     "pop r7\n"
     " mov r8, sp\n jmp done\ntwice: add r1, r1, r1\n ret\ndone: nop",
     {{1, 4}, {7, 4}, {8, 0x10000}}},
    {"cycle counter", "cycles r1\n nop\n nop\n cycles r2", {{1, 0}, {2, 3}}},
    {"poly arithmetic and reductions",
     "pidx p1\n pli p2, 10\n padd p3, p1, p2\n rsum r1, p3\n rmax r2, p3\n rmin r3, p3\n psub p4, p2, p1\n"
     " rmin r4, p4\n pmuli p5, p1, 2\n rsum r5, p5",
     {{1, 2656}, {2, 73}, {3, 10}, {4, uint32_t(-53)}, {5, 4032}}},
    {"poly binary operators",
     "pli p1, 12\n pli p2, 10\n pmul p3, p1, p2\n pand p4, p1, p2\n por p5, p1, p2\n pxor p6, p1, p2\n"
     " pli p7, -8\n pli p8, 1\n pshl p9, p1, p8\n pshr p10, p7, p8\n psra p11, p7, p8\n"
     " pseq p12, p1, p1\n psne p13, p1, p2\n pslt p14, p7, p1\n psle p15, p2, p2\n psltu p16, p7, p1\n"
     " rmax r1, p3\n rmax r2, p4\n rmax r3, p5\n rmax r4, p6\n rmax r5, p9\n rmax r6, p10\n rmax r7, p11\n"
     " rsum r8, p12\n rsum r9, p13\n rsum r10, p14\n rsum r11, p15\n rsum r12, p16\n"
     " pandi p17, p1, 4\n pori p18, p1, 1\n pxori p19, p1, 15\n pshli p20, p1, 2\n pshri p21, p7, 28\n psrai "
     "p22, p7, 2\n"
     " pmov p23, p1\n rmax r13, p17\n rmax r14, p18\n rmax r15, p19\n rmax r16, p20\n rmax r17, p21\n rmin "
     "r18, p22\n"
     " rmax r19, p23",
     {{1, 120},
      {2, 8},
      {3, 14},
      {4, 6},
      {5, 24},
      {6, 0x7ffffffc},
      {7, uint32_t(-4)},
      {8, 64},
      {9, 64},
      {10, 64},
      {11, 64},
      {12, 0},
      {13, 4},
      {14, 13},
      {15, 3},
      {16, 48},
      {17, 15},
      {18, uint32_t(-2)},
      {19, 12}}},
    {"enable stack: if, else, nesting and empty reductions",
     "pidx p1\n pandi p2, p1, 1\n pif p2\n pli p3, 5\n pelse\n pli p3, 7\n pendif\n rsum r1, p3\n"
     " pif p0\n rsum r2, p1\n rmin r3, p1\n rmax r4, p1\n rand r5, p1\n ror r6, p1\n pendif\n"
     " pslt p4, p1, p2\n pif p2\n pif p4\n pendif\n rsum r7, p2\n pendif\n ror r8, p1\n rand r9, p2",
     {{1, 32 * 5 + 32 * 7},
      {2, 0},
      {3, 0x7fffffffu},
      {4, 0x80000000u},
      {5, 0xffffffffu},
      {6, 0},
      {7, 32},
      {8, 63},
      {9, 0}}},
    {"poly memory per PE",
     "pidx p1\n pshli p2, p1, 2\n pstw p1, 0(p2)\n pldw p3, 0(p2)\n rsum r1, p3\n pli p4, -1\n pstb p4, "
     "100(p0)\n"
     " pldb p5, 100(p0)\n pldbu p6, 100(p0)\n rsum r2, p5\n rsum r3, p6\n li r4, 3\n pbcast p7, r4\n"
     " pslt p8, p1, p7\n rsum r5, p8",
     {{1, 2016}, {2, uint32_t(-64)}, {3, 16320}, {5, 3}}},
};

TEST(ProcessorSemantics, EachInstructionFamilyComputesItsDocumentedResult) {
    for (SemanticsCase const& c : k_semantics) {
        auto processor = runSource(std::string(".code\n") + c.source + "\n.code\n halt r0\n");
        ASSERT_EQ(processor->state(), ProcessorState::Halted) << c.family << ": " << processor->faultText();
        for (auto const& [reg, value] : c.registers)
            EXPECT_EQ(processor->monoRegister(reg), value) << c.family << ": r" << reg;
    }
}

TEST(ProcessorSemantics, BigEndianStoresTheMostSignificantByteFirst) {
    ProcessorConfig config;
    config.byteOrder = Qxx::ByteOrder::Big;
    auto processor =
        runSource(".data\nw: .word 0x01020304\n.code\n li r1, w\n ldbu r2, 0(r1)\n halt r2\n", config);
    ASSERT_EQ(processor->state(), ProcessorState::Halted) << processor->faultText();
    EXPECT_EQ(processor->returnValue(), 1);
}

TEST(ProcessorSemantics, HaltReturnsASignedValueAndStaysOnTheHalt) {
    auto processor = runSource("li r3, -7\n nop\n halt r3\n");
    EXPECT_EQ(processor->state(), ProcessorState::Halted);
    EXPECT_EQ(processor->returnValue(), -7);
    EXPECT_EQ(processor->pcAddress(), 16u);
    EXPECT_EQ(processor->cycles(), 3u);
    EXPECT_EQ(processor->faultText(), "");
}

struct FaultCase {
    char const* source;
    char const* fault;
};

TEST(ProcessorFaults, EachFaultEndsTheProgramWithItsText) {
    FaultCase const cases[] = {
        {".inst 0xff00000000000000", "illegal instruction 0xff00000000000000 at PC 0x00000000"},
        {"nop\n .inst 0x0228000000000000", "illegal instruction 0x0228000000000000 at PC 0x00000008"},
        {"nop\n .inst 0x0000000000000001", "illegal instruction 0x0000000000000001 at PC 0x00000008"},
        {"nop", "PC 0x00000008 is outside the code"},
        {".inst 0x4000000000001000", "PC 0x00001000 is outside the code"},
        {"li r1, 0x1000\n jr r1", "jump to 0x00001000, which is outside the code, at PC 0x00000008"},
        {"li r1, 3\n push r1\n ret", "jump to 0x00000003, which is outside the code, at PC 0x00000010"},
        {"li r1, 0x10000\n ldw r2, 0(r1)",
         "mono memory access out of range: address 0x00010000, 4 bytes, at PC 0x00000008"},
        {"li r1, -1\n stb r2, 0(r1)",
         "mono memory access out of range: address 0xffffffff, 1 bytes, at PC 0x00000008"},
        {"li r1, 2\n ldw r2, 0(r1)",
         "misaligned mono memory access: address 0x00000002, 4 bytes, at PC 0x00000008"},
        {"li r1, 1\n sth r2, 0(r1)",
         "misaligned mono memory access: address 0x00000001, 2 bytes, at PC 0x00000008"},
        {"pli p1, 4096\n pldw p2, 0(p1)",
         "poly memory access out of range: address 0x00001000, 4 bytes, on PE 0 at PC 0x00000008"},
        {"pidx p1\n pstw p2, 0(p1)",
         "misaligned poly memory access: address 0x00000001, 4 bytes, on PE 1 at PC 0x00000008"},
        {"loop: push r1\n jmp loop", "stack overflow (sp 0x0000f000) at PC 0x00000000"},
        {"pop r1", "stack underflow (sp 0x00010000) at PC 0x00000000"},
        {"ret", "stack underflow (sp 0x00010000) at PC 0x00000000"},
        {"addi sp, sp, -2\n push r1", "misaligned stack pointer 0x0000fffe at PC 0x00000008"},
        {"li sp, 0x100\n pop r1", "stack pointer 0x00000100 is outside the stack at PC 0x00000008"},
        {"loop: pif p0\n jmp loop", "enable stack overflow at PC 0x00000000"},
        {"pendif", "enable stack underflow at PC 0x00000000"},
        {"pelse", "pelse without pif at PC 0x00000000"},
        {"div r1, r2, r3", "division by zero at PC 0x00000000"},
        {"rem r1, r2, r3", "division by zero at PC 0x00000000"},
        {"wait 16", "no semaphore 16 at PC 0x00000000"},
        {"signal 99", "no semaphore 99 at PC 0x00000000"},
        {"loop: jmp loop", "cycle limit of 5000 cycles reached at PC 0x00000000"},
    };
    for (FaultCase const& c : cases) {
        auto processor = runSource(std::string(".code\n") + c.source + "\n", ProcessorConfig(), 5000);
        EXPECT_EQ(processor->state(), ProcessorState::Faulted) << c.source;
        EXPECT_EQ(processor->faultText(), c.fault) << c.source;
    }
}

TEST(ProcessorFaults, AFaultingPolyAccessChangesNoPe) {
    auto processor = runSource("pidx p1\n pli p2, 7\n pshli p3, p1, 7\n pldw p2, 0(p3)\n");
    ASSERT_EQ(processor->state(), ProcessorState::Faulted);
    for (unsigned pe = 0; pe < processor->poly().peCount(); ++pe)
        EXPECT_EQ(processor->poly().value(2, pe), 7u) << pe;
}

// Whatever words the code holds, a run ends in a halt or a fault, within
// the cycle limit, without touching memory it does not own.
TEST(ProcessorFaults, RandomCodeNeverCrashesOrHangs) {
    std::mt19937 random(2024);
    ProcessorConfig small;
    small.totalNumberPes = 3;
    small.enableStackSize = 2;
    small.monoStackSize = 8;
    std::string error;
    auto processor = Processor::create(small, error);
    for (int round = 0; round < 2000; ++round) {
        Qxx::QxxImage image;
        for (int n = 0; n < 16; ++n) {
            Fields f{uint8_t(instructionTable()[random() % instructionCount()].opcode),
                     uint8_t(random() % 36), uint8_t(random() % 36), uint8_t(random() % 36),
                     uint32_t(random() % 4 ? random() % 160 : random())};
            image.code.bytes.resize(image.code.bytes.size() + 8);
            Qxx::store64(&image.code.bytes[image.code.bytes.size() - 8], random() % 8 ? encode(f) : random(),
                         Qxx::ByteOrder::Little);
        }
        ASSERT_TRUE(processor->load(image, error)) << error;
        RunLimits limits;
        limits.maxCycles = 2000;
        ProcessorState end = processor->run(limits);
        EXPECT_TRUE(end == ProcessorState::Halted || end == ProcessorState::Faulted);
    }
}

TEST(ProcessorConfigCheck, DimensionsOutsideTheirLimitsAreRefused) {
    struct Case {
        void (*change)(ProcessorConfig&);
        char const* error;
    } const cases[] = {
        {[](ProcessorConfig& c) { c.instructionSize = 4; },
         "unsupported instruction size 4 (tev instructions are 8 bytes)"},
        {[](ProcessorConfig& c) { c.instructionSet = "iset0"; },
         "unsupported instruction set 'iset0' (the simulator runs tev)"},
        {[](ProcessorConfig& c) { c.totalNumberPes = 0; },
         "total-number-pes must be between 1 and 4096, not 0"},
        {[](ProcessorConfig& c) { c.monoRegistersSize = 130; },
         "mono-registers-size must be a multiple of 4, not 130"},
        {[](ProcessorConfig& c) { c.monoStackSize = 70000; },
         "mono-stack-size must be between 8 and 65536, not 70000"},
        {[](ProcessorConfig& c) { c.monoMemoryStart = 0xffff0000u; },
         "end of mono memory must be between 0 and 4294967292, not 4294967296"},
        {[](ProcessorConfig& c) {
             c.polyMemorySize = 1u << 20;
             c.totalNumberPes = 4096;
         },
         "total poly memory must be between 0 and 268435456, not 4294967296"},
    };
    for (Case const& c : cases) {
        ProcessorConfig config;
        c.change(config);
        std::string error;
        EXPECT_EQ(Processor::create(config, error), nullptr);
        EXPECT_EQ(error, c.error);
    }
}

TEST(ProcessorLoad, ImagesThatDoNotFitAreRefused) {
    std::string error;
    auto processor = Processor::create(ProcessorConfig(), error);
    Qxx::QxxImage image = KitTest::buildProgram(".data 0xf000\n .word 1\n .code\n halt r0\n");
    EXPECT_FALSE(processor->load(image, error));
    EXPECT_EQ(error,
              "the data section 0x0000f000..0x0000f004 does not fit in mono memory 0x00000000..0x0000f000 "
              "below the stack");
    image = KitTest::buildProgram(".bss\n .space 0x10000\n .code\n halt r0\n");
    EXPECT_FALSE(processor->load(image, error));
    EXPECT_EQ(error,
              "the bss section 0x00000000..0x00010000 does not fit in mono memory 0x00000000..0x0000f000 "
              "below the stack");
    image.byteOrder = Qxx::ByteOrder::Big;
    EXPECT_FALSE(processor->load(image, error));
    EXPECT_EQ(error, "the program is big-endian but the processor is little-endian");
    EXPECT_EQ(processor->state(), ProcessorState::Empty);
    EXPECT_EQ(processor->run(), ProcessorState::Empty);
}

TEST(ProcessorHostAccess, RegistersMemoryAndSymbols) {
    auto processor =
        KitTest::loadSource(".data\nvalue: .word 5\n.code\nmain: li r1, value\n ldw r2, 0(r1)\n halt r2\n");
    std::string error;
    uint32_t address = 0;
    ASSERT_TRUE(processor->symbolValue("value", address));
    EXPECT_FALSE(processor->symbolValue("nothing", address));
    uint8_t bytes[4] = {9, 0, 0, 0};
    ASSERT_TRUE(processor->writeMonoMemory(address, bytes, 4, error)) << error;
    EXPECT_FALSE(processor->writeMonoMemory(0xfffe, bytes, 4, error));
    EXPECT_EQ(error, "mono memory access out of range: 0x0000fffe, 4 bytes");
    EXPECT_EQ(processor->run(), ProcessorState::Halted);
    EXPECT_EQ(processor->returnValue(), 9);

    uint32_t value = 0;
    EXPECT_TRUE(processor->readControlRegister(ControlRegister::Status, value, error));
    EXPECT_EQ(value, uint32_t(ProcessorState::Halted));
    EXPECT_TRUE(processor->readControlRegister(ControlRegister::GeneralBase + 2, value, error));
    EXPECT_EQ(value, 9u);
    EXPECT_TRUE(processor->readControlRegister(ControlRegister::Pc, value, error));
    EXPECT_EQ(value, 16u);
    EXPECT_FALSE(processor->readControlRegister(ControlRegister::GeneralBase + 32, value, error));
    EXPECT_EQ(error, "no control register 288");
    EXPECT_FALSE(processor->writeControlRegister(ControlRegister::CyclesLow, 1, error));
    EXPECT_EQ(error, "control register 2 is read only");
    EXPECT_FALSE(processor->writeControlRegister(ControlRegister::Pc, 4, error));
    EXPECT_EQ(error, "0x00000004 is not the address of an instruction of the program");
    EXPECT_FALSE(processor->readPolyMemory(64, 0, bytes, 1, error));
    EXPECT_EQ(error, "poly memory access out of range: PE 64, 0x00000000, 1 bytes");
}

}  // namespace
