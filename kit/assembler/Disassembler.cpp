#include "assembler/Disassembler.h"
#include "qxx/ErrorText.h"

#include "isa/TevIsa.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

namespace Assembler {

namespace {

using Qxx::hex;

constexpr char const* k_indent = "        ";

// Labels of one section by address; several may share an address.
using LabelMap = std::multimap<uint32_t, std::string>;

LabelMap labelsOf(Qxx::QxxImage const& image, Qxx::SymbolKind kind) {
    LabelMap labels;
    for (Qxx::Symbol const& symbol : image.symbols)
        if (symbol.kind == kind) labels.emplace(symbol.value, symbol.name);
    return labels;
}

void writeLabels(std::ostream& out, LabelMap const& labels, uint64_t address) {
    auto range = labels.equal_range(uint32_t(address));
    for (auto it = range.first; it != range.second; ++it) out << it->second << ":\n";
}

// Labels that do not lie inside their section [start, end] cannot be
// written as labels; they are named in a comment instead.
void writeStrayLabels(std::ostream& out, LabelMap const& labels, uint64_t start, uint64_t end,
                      char const* section) {
    for (auto const& [address, name] : labels)
        if (address < start || address > end)
            out << "; label " << name << " = " << hex(address) << " lies outside the " << section
                << " section\n";
}

void writeHeader(std::ostream& out, Qxx::QxxImage const& image, LabelMap const& code) {
    out << "; tev program, " << Qxx::byteOrderName(image.byteOrder) << "-endian, entry " << hex(image.entry)
        << "\n";
    auto entry = code.find(image.entry);
    out << k_indent << ".entry " << (entry != code.end() ? entry->second : hex(image.entry)) << "\n";
    for (Qxx::Symbol const& symbol : image.symbols)
        if (symbol.kind == Qxx::SymbolKind::Constant)
            out << k_indent << ".equ " << symbol.name << ", " << hex(symbol.value) << "\n";
}

// Whether the assembler takes the instruction as written: its registers
// exist and a branch target is an instruction of the code.
bool assemblesAsWritten(Simulator::Fields const& fields, Qxx::Section const& code,
                        Simulator::RegisterCounts const& registers) {
    if (!Simulator::checkFields(fields, registers)) return false;
    Simulator::FormatInfo const& format =
        Simulator::formatInfo(Simulator::findInstruction(fields.opcode)->format);
    for (unsigned index = 0; index < format.count; ++index) {
        if (format.operands[index] != Simulator::Operand::Target) continue;
        uint64_t offset = uint64_t(fields.imm) - code.address;
        if (fields.imm < code.address || offset >= code.bytes.size() || offset % 8 != 0) return false;
    }
    return true;
}

// Any other word is written as the raw word, which the assembler takes as
// it is.
std::string instructionText(uint64_t word, Qxx::Section const& code,
                            Simulator::RegisterCounts const& registers, Simulator::TargetNamer const& namer) {
    Simulator::Fields fields = Simulator::decodeWord(word);
    if (assemblesAsWritten(fields, code, registers)) return Simulator::formatInstruction(fields, namer);
    return ".inst " + hex(word, 16);
}

void writeCode(std::ostream& out, Qxx::QxxImage const& image, LabelMap const& labels,
               Simulator::RegisterCounts const& registers) {
    Qxx::Section const& code = image.code;
    Simulator::TargetNamer namer = [&labels](uint32_t address) {
        auto found = labels.find(address);
        return found == labels.end() ? std::string() : found->second;
    };
    out << "\n" << k_indent << ".code " << hex(code.address) << "\n";
    for (size_t offset = 0; offset + 8 <= code.bytes.size(); offset += 8) {
        uint64_t address = uint64_t(code.address) + offset;
        writeLabels(out, labels, address);
        uint64_t word = Qxx::load64(&code.bytes[offset], image.byteOrder);
        std::string text = instructionText(word, code, registers, namer);
        out << k_indent << text;
        for (size_t column = text.size(); column < 32; ++column) out << ' ';
        out << "; " << hex(address) << "  " << hex(word, 16) << "\n";
    }
    writeLabels(out, labels, uint64_t(code.address) + code.bytes.size());
    writeStrayLabels(out, labels, code.address, uint64_t(code.address) + code.bytes.size(), "code");
}

// Words where the address is aligned and four bytes remain before the
// next label, bytes elsewhere; at most eight values a line.
void writeDataRun(std::ostream& out, Qxx::QxxImage const& image, uint64_t from, uint64_t to) {
    Qxx::Section const& data = image.data;
    uint64_t address = from;
    while (address < to) {
        bool words = address % 4 == 0 && to - address >= 4;
        uint64_t width = words ? 4 : 1;
        out << k_indent << (words ? ".word " : ".byte ");
        for (int count = 0;
             count < 8 && address + width <= to && (words || address % 4 != 0 || to - address < 4); ++count) {
            uint8_t const* p = &data.bytes[address - data.address];
            out << (count ? ", " : "") << (words ? hex(Qxx::load32(p, image.byteOrder)) : hex(*p, 2));
            address += width;
        }
        out << "\n";
    }
}

// An empty data or bss section has no address of its own in the file;
// its labels, which all share one address, give it.
uint64_t sectionStart(uint32_t address, uint64_t size, LabelMap const& labels) {
    return size == 0 && !labels.empty() ? labels.begin()->first : address;
}

void writeData(std::ostream& out, Qxx::QxxImage const& image, LabelMap const& labels) {
    Qxx::Section const& data = image.data;
    uint64_t start = sectionStart(data.address, data.bytes.size(), labels);
    uint64_t end = start + data.bytes.size();
    out << "\n" << k_indent << ".data " << hex(start) << "\n";
    uint64_t address = start;
    while (address < end) {
        writeLabels(out, labels, address);
        auto next = labels.upper_bound(uint32_t(address));
        uint64_t stop = next == labels.end() ? end : std::min<uint64_t>(end, next->first);
        writeDataRun(out, image, address, stop);
        address = stop;
    }
    writeLabels(out, labels, end);
    writeStrayLabels(out, labels, start, end, "data");
}

void writeBss(std::ostream& out, Qxx::QxxImage const& image, LabelMap const& labels) {
    uint64_t start = sectionStart(image.bssAddress, image.bssSize, labels);
    uint64_t end = start + image.bssSize;
    out << "\n" << k_indent << ".bss " << hex(start) << "\n";
    uint64_t address = start;
    while (address < end) {
        writeLabels(out, labels, address);
        auto next = labels.upper_bound(uint32_t(address));
        uint64_t stop = next == labels.end() ? end : std::min<uint64_t>(end, next->first);
        out << k_indent << ".space " << (stop - address) << "\n";
        address = stop;
    }
    writeLabels(out, labels, end);
    writeStrayLabels(out, labels, start, end, "bss");
}

}  // namespace

std::string disassemble(Qxx::QxxImage const& image, Simulator::RegisterCounts const& registers) {
    std::ostringstream out;
    LabelMap code = labelsOf(image, Qxx::SymbolKind::Code);
    writeHeader(out, image, code);
    writeCode(out, image, code, registers);
    LabelMap data = labelsOf(image, Qxx::SymbolKind::Data);
    if (!image.data.bytes.empty() || !data.empty()) writeData(out, image, data);
    LabelMap bss = labelsOf(image, Qxx::SymbolKind::Bss);
    if (image.bssSize != 0 || !bss.empty()) writeBss(out, image, bss);
    return out.str();
}

}  // namespace Assembler
