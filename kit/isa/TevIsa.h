// The tev instruction set: opcodes, operand formats, the encoding of an
// instruction word, and its text form. Everything here is generated from
// the one list in TevInstructions.def.
//
// An instruction is a 64-bit word, stored in the target's byte order:
//   bits 63..56 opcode, 55..48 rd, 47..40 ra, 39..32 rb, 31..0 imm.
// Fields an instruction does not use must be zero.
#ifndef ISA_TEVISA_H
#define ISA_TEVISA_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace Simulator {

enum class Opcode : uint8_t {
#define TEV_INSTRUCTION(name, mnemonic, code, format, effect) name = code,
#include "isa/TevInstructions.def"
#undef TEV_INSTRUCTION
    // Operations of the decoded program only; no file holds them.
    InternalIllegal = 0xfe,
    InternalPcOutside = 0xff,
};

// One operand of the written form, and the field that holds it.
enum class Operand : uint8_t {
    MonoDst,  // rd, written
    MonoSrc,  // rd, read (the value a store writes)
    MonoA,    // ra
    MonoB,    // rb
    PolyDst,  // rd, a poly register, written
    PolySrc,  // rd, a poly register, read
    PolyA,    // ra, a poly register
    PolyB,    // rb, a poly register
    Imm,      // imm, a number
    Target,   // imm, a code address
    MonoMem,  // imm(ra), a mono address
    PolyMem,  // imm(ra), a poly address with ra a poly register
};

enum class Format : uint8_t {
    NONE,
    D,
    A,
    DA,
    DAB,
    DI,
    DAI,
    T,
    AT,
    ABT,
    I,
    LD,
    ST,
    PDAB,
    PDAI,
    PDA,
    PDI,
    PDR,
    PD,
    PA,
    PLD,
    PST,
    RDP
};

struct FormatInfo {
    uint8_t count;
    Operand operands[3];
};

FormatInfo const& formatInfo(Format format);

struct InstructionInfo {
    Opcode opcode;
    char const* mnemonic;
    Format format;
    char const* effect;
};

// The table in the order of TevInstructions.def.
InstructionInfo const* instructionTable();
size_t instructionCount();

// The instruction with that opcode or mnemonic, or null.
InstructionInfo const* findInstruction(uint8_t opcode);
InstructionInfo const* findInstruction(std::string const& mnemonic);

// The register field value that names the stack pointer "sp".
constexpr uint8_t k_stack_pointer = 255;

struct Fields {
    uint8_t opcode = 0;
    uint8_t rd = 0;
    uint8_t ra = 0;
    uint8_t rb = 0;
    uint32_t imm = 0;
};

inline uint64_t encode(Fields const& f) {
    return (uint64_t(f.opcode) << 56) | (uint64_t(f.rd) << 48) | (uint64_t(f.ra) << 40) |
           (uint64_t(f.rb) << 32) | f.imm;
}

inline Fields decodeWord(uint64_t word) {
    return Fields{uint8_t(word >> 56), uint8_t(word >> 48), uint8_t(word >> 40), uint8_t(word >> 32),
                  uint32_t(word)};
}

struct RegisterCounts {
    unsigned mono;  // r0 .. r(mono-1), plus sp
    unsigned poly;  // p0 .. p(poly-1)
};

// The largest counts the encoding allows (sp takes field value 255).
constexpr RegisterCounts k_max_register_counts{255, 256};

// Whether the fields form a valid instruction for a processor with those
// register counts; if not and why is given, says why.
bool checkFields(Fields const& fields, RegisterCounts counts, std::string* why = nullptr);

// The operand list of a format as written in the syntax, e.g. "rd, imm(ra)".
std::string operandSyntax(Format format);

// What each field of a format's instruction word holds: the name of the
// operand (or, for a memory operand, of its part) in it, or "0" for a field
// the format leaves zero.
struct FieldNames {
    char const* rd = "0";
    char const* ra = "0";
    char const* rb = "0";
    char const* imm = "0";
};
FieldNames fieldNames(Format format);

// "r3", "sp" or "p4".
std::string registerName(Operand kind, uint8_t number);

// Names a code address for the text of a branch target; an empty result
// prints the address in hexadecimal.
using TargetNamer = std::function<std::string(uint32_t address)>;

// The assembler text of an instruction ("add r1, r2, r3"); a word that is
// not a valid instruction prints as ".inst 0x<16 hex digits>".
std::string formatInstruction(Fields const& fields, TargetNamer const& namer = TargetNamer());

}  // namespace Simulator

#endif
