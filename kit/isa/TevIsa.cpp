#include "isa/TevIsa.h"

#include <cstdio>
#include <map>

namespace Simulator {

namespace {

constexpr InstructionInfo k_table[] = {
#define TEV_INSTRUCTION(name, mnemonic, code, format, effect) \
    {Opcode::name, mnemonic, Format::format, effect},
#include "isa/TevInstructions.def"
#undef TEV_INSTRUCTION
};

using O = Operand;

// Indexed by Format, in the order of its enumerators.
constexpr FormatInfo k_formats[] = {
    {0, {}},                                // NONE
    {1, {O::MonoDst}},                      // D
    {1, {O::MonoA}},                        // A
    {2, {O::MonoDst, O::MonoA}},            // DA
    {3, {O::MonoDst, O::MonoA, O::MonoB}},  // DAB
    {2, {O::MonoDst, O::Imm}},              // DI
    {3, {O::MonoDst, O::MonoA, O::Imm}},    // DAI
    {1, {O::Target}},                       // T
    {2, {O::MonoA, O::Target}},             // AT
    {3, {O::MonoA, O::MonoB, O::Target}},   // ABT
    {1, {O::Imm}},                          // I
    {2, {O::MonoDst, O::MonoMem}},          // LD
    {2, {O::MonoSrc, O::MonoMem}},          // ST
    {3, {O::PolyDst, O::PolyA, O::PolyB}},  // PDAB
    {3, {O::PolyDst, O::PolyA, O::Imm}},    // PDAI
    {2, {O::PolyDst, O::PolyA}},            // PDA
    {2, {O::PolyDst, O::Imm}},              // PDI
    {2, {O::PolyDst, O::MonoA}},            // PDR
    {1, {O::PolyDst}},                      // PD
    {1, {O::PolyA}},                        // PA
    {2, {O::PolyDst, O::PolyMem}},          // PLD
    {2, {O::PolySrc, O::PolyMem}},          // PST
    {2, {O::MonoDst, O::PolyA}},            // RDP
};

static_assert(sizeof k_formats / sizeof k_formats[0] == size_t(Format::RDP) + 1, "one entry per format");

struct Lookup {
    InstructionInfo const* byOpcode[256] = {};
    std::map<std::string, InstructionInfo const*> byMnemonic;

    Lookup() {
        for (InstructionInfo const& info : k_table) {
            byOpcode[uint8_t(info.opcode)] = &info;
            byMnemonic[info.mnemonic] = &info;
        }
    }
};

Lookup const& lookup() {
    static Lookup const table;
    return table;
}

bool isPoly(Operand kind) {
    return kind == O::PolyDst || kind == O::PolySrc || kind == O::PolyA || kind == O::PolyB ||
           kind == O::PolyMem;
}

char const* operandName(Operand kind) {
    switch (kind) {
        case O::MonoDst:
        case O::MonoSrc: return "rd";
        case O::MonoA: return "ra";
        case O::MonoB: return "rb";
        case O::PolyDst:
        case O::PolySrc: return "pd";
        case O::PolyA: return "pa";
        case O::PolyB: return "pb";
        case O::Imm: return "imm";
        case O::Target: return "target";
        case O::MonoMem: return "imm(ra)";
        case O::PolyMem: return "imm(pa)";
    }
    return "?";
}

// Which of the fields rd, ra, rb, imm an operand occupies.
enum FieldMask : unsigned { k_rd = 1, k_ra = 2, k_rb = 4, k_imm = 8 };

unsigned fieldsOf(Operand kind) {
    switch (kind) {
        case O::MonoDst:
        case O::MonoSrc:
        case O::PolyDst:
        case O::PolySrc: return k_rd;
        case O::MonoA:
        case O::PolyA: return k_ra;
        case O::MonoB:
        case O::PolyB: return k_rb;
        case O::Imm:
        case O::Target: return k_imm;
        case O::MonoMem:
        case O::PolyMem: return k_ra | k_imm;
    }
    return 0;
}

uint8_t registerField(Operand kind, Fields const& f) {
    unsigned used = fieldsOf(kind);
    if (used & k_rd) return f.rd;
    if (used & k_rb) return f.rb;
    return f.ra;
}

bool fail(std::string* why, std::string const& text) {
    if (why != nullptr) *why = text;
    return false;
}

bool checkRegister(Operand kind, uint8_t number, RegisterCounts counts, std::string* why) {
    bool valid = isPoly(kind) ? number < counts.poly : (number < counts.mono || number == k_stack_pointer);
    if (!valid) return fail(why, "register " + registerName(kind, number) + " does not exist");
    return true;
}

std::string hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

std::string formatOperand(Operand kind, Fields const& f, TargetNamer const& namer) {
    switch (kind) {
        case O::Imm: return std::to_string(int32_t(f.imm));
        case O::Target: {
            std::string name = namer ? namer(f.imm) : std::string();
            return name.empty() ? hex32(f.imm) : name;
        }
        case O::MonoMem: return std::to_string(int32_t(f.imm)) + "(" + registerName(O::MonoA, f.ra) + ")";
        case O::PolyMem: return std::to_string(int32_t(f.imm)) + "(" + registerName(O::PolyA, f.ra) + ")";
        default: return registerName(kind, registerField(kind, f));
    }
}

}  // namespace

FormatInfo const& formatInfo(Format format) {
    return k_formats[size_t(format)];
}

InstructionInfo const* instructionTable() {
    return k_table;
}

size_t instructionCount() {
    return sizeof k_table / sizeof k_table[0];
}

InstructionInfo const* findInstruction(uint8_t opcode) {
    return lookup().byOpcode[opcode];
}

InstructionInfo const* findInstruction(std::string const& mnemonic) {
    auto found = lookup().byMnemonic.find(mnemonic);
    return found == lookup().byMnemonic.end() ? nullptr : found->second;
}

bool checkFields(Fields const& fields, RegisterCounts counts, std::string* why) {
    InstructionInfo const* info = findInstruction(fields.opcode);
    if (info == nullptr) {
        char text[32];
        std::snprintf(text, sizeof text, "unknown opcode 0x%02x", fields.opcode);
        return fail(why, text);
    }
    FormatInfo const& format = formatInfo(info->format);
    unsigned used = 0;
    for (unsigned index = 0; index < format.count; ++index) {
        Operand kind = format.operands[index];
        used |= fieldsOf(kind);
        if (kind != O::Imm && kind != O::Target &&
            !checkRegister(kind, registerField(kind, fields), counts, why))
            return false;
    }
    if ((!(used & k_rd) && fields.rd != 0) || (!(used & k_ra) && fields.ra != 0) ||
        (!(used & k_rb) && fields.rb != 0) || (!(used & k_imm) && fields.imm != 0))
        return fail(why, std::string("unused fields of ") + info->mnemonic + " are not zero");
    return true;
}

std::string operandSyntax(Format format) {
    FormatInfo const& info = formatInfo(format);
    std::string text;
    for (unsigned index = 0; index < info.count; ++index) {
        if (index != 0) text += ", ";
        text += operandName(info.operands[index]);
    }
    return text;
}

FieldNames fieldNames(Format format) {
    FieldNames names;
    FormatInfo const& info = formatInfo(format);
    for (unsigned index = 0; index < info.count; ++index) {
        Operand const kind = info.operands[index];
        unsigned const used = fieldsOf(kind);
        bool const memory = kind == O::MonoMem || kind == O::PolyMem;
        char const* name = operandName(kind);
        if (used & k_rd) names.rd = name;
        if (used & k_ra) names.ra = memory ? (isPoly(kind) ? "pa" : "ra") : name;
        if (used & k_rb) names.rb = name;
        if (used & k_imm) names.imm = memory ? "imm" : name;
    }
    return names;
}

std::string registerName(Operand kind, uint8_t number) {
    if (isPoly(kind)) return "p" + std::to_string(number);
    if (number == k_stack_pointer) return "sp";
    return "r" + std::to_string(number);
}

std::string formatInstruction(Fields const& fields, TargetNamer const& namer) {
    if (!checkFields(fields, k_max_register_counts)) {
        char text[40];
        std::snprintf(text, sizeof text, ".inst 0x%016llx", static_cast<unsigned long long>(encode(fields)));
        return text;
    }
    InstructionInfo const* info = findInstruction(fields.opcode);
    FormatInfo const& format = formatInfo(info->format);
    std::string text = info->mnemonic;
    for (unsigned index = 0; index < format.count; ++index) {
        text += index == 0 ? " " : ", ";
        text += formatOperand(format.operands[index], fields, namer);
    }
    return text;
}

}  // namespace Simulator
