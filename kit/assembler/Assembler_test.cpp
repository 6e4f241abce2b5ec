#include "assembler/Assembler.h"

#include "assembler/Disassembler.h"
#include "qxx/QxxWriter.h"
#include "tests/support/TestPrograms.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace Assembler;

std::vector<std::string> errorsOf(std::string const& source,
                                  AssemblerOptions const& options = AssemblerOptions()) {
    Qxx::QxxImage image;
    std::vector<std::string> errors;
    EXPECT_FALSE(assemble({{"test.qxs", source}}, options, image, errors)) << source;
    return errors;
}

struct ErrorCase {
    char const* source;
    std::vector<std::string> errors;
};

TEST(AssemblerErrors, EveryErrorIsReportedWithItsFileAndLine) {
    ErrorCase const cases[] = {
        {"foo r1\nhalt r0", {"test.qxs:1: unknown instruction 'foo'"}},
        {".foo\nhalt r0", {"test.qxs:1: unknown directive '.foo'"}},
        {"halt r0\nadd r1, r2", {"test.qxs:2: 'add' takes 3 operands (rd, ra, rb), not 2"}},
        {"halt r0, r1", {"test.qxs:1: 'halt' takes 1 operand (ra), not 2"}},
        {"li r32, 1\nhalt r0", {"test.qxs:1: no register r32 (the processor has 32 mono registers r0..r31)"}},
        {"padd p1, p2, p32\nhalt r0",
         {"test.qxs:1: no register p32 (the processor has 32 poly registers p0..p31)"}},
        {"add r1, p2, r3\nhalt r0", {"test.qxs:1: expected a mono register (r0, r1, ..., sp), found 'p2'"}},
        {"ldw r1, 4\nhalt r0", {"test.qxs:1: expected an address offset(ra), found '4'"}},
        {"li r1, 0x100000000\nhalt r0", {"test.qxs:1: value 4294967296 does not fit in 32 bits"}},
        {"jmp nowhere\nhalt r0", {"test.qxs:1: undefined symbol 'nowhere'"}},
        {"jmp 4\nhalt r0", {"test.qxs:1: branch target 0x00000004 is not the address of an instruction"}},
        {"jmp 0x100\nhalt r0", {"test.qxs:1: branch target 0x00000100 is outside the code"}},
        {"a: nop\na: halt r0", {"test.qxs:2: symbol 'a' is already defined at test.qxs:1"}},
        {"r1: halt r0", {"test.qxs:1: 'r1' is a register name and cannot be a symbol"}},
        {".word 1\nhalt r0",
         {"test.qxs:1: '.word' is not allowed in the code section (use .inst for raw words)"}},
        {".data\nnop\n.code\nhalt r0", {"test.qxs:2: instruction 'nop' outside the code section"}},
        {".bss\n.byte 1\n.code\nhalt r0",
         {"test.qxs:2: '.byte' is not allowed in the bss section, which holds only zeros"}},
        {".data\n.byte 1\n.word 2\n.code\nhalt r0",
         {"test.qxs:3: '.word' at address 0x00000001 is not aligned to 4 bytes (add .align 4)"}},
        {".data\n.byte 256, -129\n.code\nhalt r0",
         {"test.qxs:2: value 256 does not fit in 1 byte", "test.qxs:2: value -129 does not fit in 1 byte"}},
        {".equ A, B\n.equ B, A\nli r1, A\nhalt r0",
         {"test.qxs:3: constant 'A' is defined in terms of itself",
          "test.qxs:1: constant 'A' is defined in terms of itself",
          "test.qxs:2: constant 'B' is defined in terms of itself"}},
        {"x: halt r0\n.data\n.space x", {"test.qxs:3: the address of label 'x' is not known yet here"}},
        {".data\n.ascii \"abc\n.code\nhalt r0", {"test.qxs:2: unterminated quote"}},
        {".data\n.ascii \"a\\qb\"\n.code\nhalt r0", {"test.qxs:2: unknown escape \\q in a string"}},
        {".data\n.align 3\n.code\nhalt r0",
         {"test.qxs:2: .align needs a power of two from 1 to 4096, not 3"}},
        {"nop\n.code 8\nhalt r0",
         {"test.qxs:2: the address of the code section must be set before its contents"}},
        {".entry 0x100\nhalt r0",
         {"test.qxs:1: the entry point 0x00000100 is not an instruction of the code"}},
        {"", {"test.qxs: no instructions: the code section is empty"}},
        {"li r1, (1 + 2\nli r2, 1 / 0\nhalt r0",
         {"test.qxs:1: missing ')' in expression", "test.qxs:2: division by zero in expression"}},
        {".endm\nhalt r0", {"test.qxs:1: .endm without .macro"}},
        {".macro m a\n nop\nhalt r0",
         {"test.qxs:1: missing .endm for macro 'm'", "test.qxs: no instructions: the code section is empty"}},
        {".macro m a\n li r1, \\a\n.endm\nm 1, 2\nhalt r0",
         {"test.qxs:4: macro 'm' takes 1 arguments, not 2"}},
        {".macro m\n li r99, 1\n.endm\nm\nhalt r0",
         {"test.qxs:4: no register r99 (the processor has 32 mono registers r0..r31) (in macro m)"}},
        {".macro m\n m\n.endm\nm\nhalt r0",
         {"test.qxs:4: macros nested too deeply (does 'm' call itself?) (in macro m)"}},
        {".include \"missing.inc\"\nhalt r0", {"test.qxs:1: cannot find include file 'missing.inc'"}},
    };
    for (ErrorCase const& c : cases) EXPECT_EQ(errorsOf(c.source), c.errors) << c.source;
}

TEST(AssemblerDirectives, DataBssConstantsAndEntryBuildTheDocumentedImage) {
    Qxx::QxxImage image = KitTest::assembleSource(
        "        .equ SIZE, end - start      ; constants may use labels\n"
        "        .equ COUNT, 3\n"
        "        .entry go\n"
        "        .data 0x100\n"
        "start:  .word 0x11223344, -1\n"
        "        .half 0x5566\n"
        "        .byte 'A', COUNT\n"
        "        .ascii \"hi\"\n"
        "        .asciz \"\\n\"\n"
        "        .align 4\n"
        "        .space COUNT, 0xee\n"
        "end:\n"
        "        .bss\n"
        "        .align 16\n"
        "buffer: .space 32\n"
        "        .code 0x40\n"
        "first:  nop\n"
        "go:     li r1, SIZE\n"
        "        halt r1\n");
    std::vector<uint8_t> const data = {0x44, 0x33, 0x22, 0x11, 0xff, 0xff, 0xff, 0xff, 0x66, 0x55,
                                       'A',  3,    'h',  'i',  '\n', 0,    0xee, 0xee, 0xee};
    EXPECT_EQ(image.data.address, 0x100u);
    EXPECT_EQ(image.data.bytes, data);
    EXPECT_EQ(image.bssAddress, 0x120u);
    EXPECT_EQ(image.bssSize, 32u);
    EXPECT_EQ(image.code.address, 0x40u);
    EXPECT_EQ(image.entry, 0x48u);
    std::vector<Qxx::Symbol> const symbols = {
        {"COUNT", 3, Qxx::SymbolKind::Constant}, {"SIZE", 19, Qxx::SymbolKind::Constant},
        {"buffer", 0x120, Qxx::SymbolKind::Bss}, {"end", 0x113, Qxx::SymbolKind::Data},
        {"first", 0x40, Qxx::SymbolKind::Code},  {"go", 0x48, Qxx::SymbolKind::Code},
        {"start", 0x100, Qxx::SymbolKind::Data}};
    EXPECT_EQ(image.symbols, symbols);
}

TEST(AssemblerDirectives, MainIsTheDefaultEntryAndLocalLabelsAreNotExported) {
    Qxx::QxxImage image = KitTest::assembleSource(".Lskip: nop\nmain: halt r0\n");
    EXPECT_EQ(image.entry, 8u);
    ASSERT_EQ(image.symbols.size(), 1u);
    EXPECT_EQ(image.symbols[0].name, "main");
}

TEST(AssemblerExpressions, PrecedenceLiteralsAndLimits) {
    struct Case {
        char const* expression;
        int64_t value;
    } const cases[] = {
        {"1 + 2 * 3", 7}, {"(1 + 2) * 3", 9}, {"1 << 4 | 1", 17}, {"-7 / 2", -3},
        {"-7 % 2", -1},   {"~0 & 0xff", 255}, {"'A' + 1", 66},    {"'\\n'", 10},
        {"0b101 ^ 1", 4}, {"10 - 2 - 3", 5},  {"6 & 3 ^ 1", 3},   {"- -3", 3},
    };
    for (Case const& c : cases) {
        Qxx::QxxImage image = KitTest::assembleSource(std::string(".equ V, ") + c.expression + "\nhalt r0\n");
        ASSERT_EQ(image.symbols.size(), 1u) << c.expression;
        EXPECT_EQ(int32_t(image.symbols[0].value), c.value) << c.expression;
    }
    std::string deep = std::string(500, '(') + "1" + std::string(500, ')');
    EXPECT_EQ(errorsOf("li r1, " + deep + "\nhalt r0"),
              std::vector<std::string>{"test.qxs:1: expression nested too deeply"});
}

// Each image the assembler makes comes back from its disassembly unchanged.
TEST(Disassembler, DisassemblyReassemblesToTheSameImage) {
    std::string const sources[] = {
        ".equ LIMIT, 0xffffffff\n.data 0x10\nhead: .byte 1, 2, 3\n.align 4\nwords: .word 1, 2, 3, 4, 5, 6, "
        "7, 8, 9\n"
        "tail: .byte 9\n.bss\nzeros: .space 12\nmore: .space 4\nlast:\n.code 0x80\nstart: li r1, LIMIT\n"
        "loop: addi r1, r1, 1\n bnez r1, loop\n .inst 0xee00000000000000\n ldw r2, -4(sp)\n pldw p1, 8(p2)\n"
        " call start\n jmp 0x80\nmain: halt r1\nend:\n",
        "li r1, 1\nhalt r1\n",
    };
    for (std::string const& source : sources) {
        Qxx::QxxImage image = KitTest::assembleSource(source);
        std::string text = disassemble(image);
        Qxx::QxxImage again = KitTest::assembleSource(text);
        EXPECT_EQ(again, image) << text;
    }
}

TEST(Disassembler, ShowsLabelsInstructionsAndTheirWords) {
    Qxx::QxxImage image =
        KitTest::assembleSource(".data\nv: .word 7\n.code\nmain: li r1, v\nloop: bnez r1, loop\n");
    EXPECT_EQ(disassemble(image),
              "; tev program, little-endian, entry 0x00000000\n"
              "        .entry main\n"
              "\n"
              "        .code 0x00000000\n"
              "main:\n"
              "        li r1, 0                        ; 0x00000000  0x0201000000000000\n"
              "loop:\n"
              "        bnez r1, loop                   ; 0x00000008  0x4f00010000000008\n"
              "\n"
              "        .data 0x00000000\n"
              "v:\n"
              "        .word 0x00000007\n");
}

}  // namespace
