// Programs for the simulator's unit tests, built from a short text with
// the instruction set's own encoder, so that the simulator is tested
// without the assembler. The text is a small subset of the tev syntax:
// one statement a line, "label:" prefixes, the directives .code, .data
// [address], .bss, .word v, ..., .space n and .inst v, and instructions
// with register, number, label and imm(ra) operands. Sections are placed
// as the assembler places them: code at 0, data at the processor's first
// mono byte (or where .data says), bss after the data.
#ifndef TESTS_SUPPORT_TEVTESTPROGRAMS_H
#define TESTS_SUPPORT_TEVTESTPROGRAMS_H

#include "isa/TevIsa.h"
#include "qxx/QxxImage.h"
#include "simulator/Processor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace KitTest {

namespace TevTextDetail {

inline std::string trim(std::string const& text) {
    size_t const first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

inline std::vector<std::string> splitOperands(std::string const& text) {
    std::vector<std::string> operands;
    std::stringstream stream(text);
    std::string operand;
    while (std::getline(stream, operand, ','))
        if (!trim(operand).empty()) operands.push_back(trim(operand));
    return operands;
}

enum class Place { Code, Data, Bss };

struct Line {
    Place place;
    std::string label;
    std::string word;  // mnemonic or directive
    std::vector<std::string> operands;
};

class Builder {
public:
    Builder(Qxx::ByteOrder byte_order, uint32_t data_address) : m_order(byte_order) {
        m_image.byteOrder = byte_order;
        m_image.data.address = data_address;
    }

    Qxx::QxxImage build(std::string const& source) {
        std::vector<Line> lines = parse(source);
        uint32_t sizes[3] = {0, 0, 0};
        for (Line const& line : lines) {
            uint32_t& size = sizes[int(line.place)];
            if (!line.label.empty()) m_labels[line.label] = {line.place, size};
            size += lineSize(line);
        }
        m_image.bssAddress = m_image.data.address + ((sizes[1] + 3) & ~3u);
        m_image.bssSize = sizes[2];
        for (auto const& [name, label] : m_labels) {
            Qxx::SymbolKind const kinds[] = {Qxx::SymbolKind::Code, Qxx::SymbolKind::Data,
                                             Qxx::SymbolKind::Bss};
            m_image.symbols.push_back({name, address(label.first, label.second), kinds[int(label.first)]});
        }
        for (Line const& line : lines) emit(line);
        return m_image;
    }

private:
    std::vector<Line> parse(std::string const& source) {
        std::vector<Line> lines;
        std::stringstream stream(source);
        std::string text;
        Place place = Place::Code;
        while (std::getline(stream, text)) {
            Line line{place, "", "", {}};
            text = trim(text);
            size_t const colon = text.find(':');
            if (colon != std::string::npos) {
                line.label = trim(text.substr(0, colon));
                text = trim(text.substr(colon + 1));
            }
            size_t const space = text.find_first_of(" \t");
            line.word = text.substr(0, space);
            if (space != std::string::npos) line.operands = splitOperands(text.substr(space));
            if (line.word == ".code" || line.word == ".data" || line.word == ".bss") {
                place = line.word == ".code" ? Place::Code : line.word == ".data" ? Place::Data : Place::Bss;
                if (place == Place::Data && !line.operands.empty())
                    m_image.data.address = uint32_t(std::strtoll(line.operands[0].c_str(), nullptr, 0));
                line.place = place;
                line.word.clear();
            }
            if (!line.label.empty() || !line.word.empty()) lines.push_back(line);
        }
        return lines;
    }

    uint32_t lineSize(Line const& line) const {
        if (line.word.empty()) return 0;
        if (line.word == ".word") return uint32_t(4 * line.operands.size());
        if (line.word == ".space") return uint32_t(value(line.operands.at(0)));
        return Qxx::k_instruction_size;
    }

    uint32_t address(Place place, uint32_t offset) const {
        uint32_t const bases[] = {0, m_image.data.address, m_image.bssAddress};
        return bases[int(place)] + offset;
    }

    int64_t value(std::string const& text) const {
        auto const label = m_labels.find(text);
        if (label != m_labels.end()) return address(label->second.first, label->second.second);
        char* end = nullptr;
        int64_t const number = std::strtoll(text.c_str(), &end, 0);
        EXPECT_TRUE(!text.empty() && *end == '\0') << "not a number or label: '" << text << "'";
        return number;
    }

    static uint8_t registerNumber(std::string const& text) {
        if (text == "sp") return Simulator::k_stack_pointer;
        EXPECT_TRUE(text.size() > 1 && (text[0] == 'r' || text[0] == 'p')) << "not a register: " << text;
        return uint8_t(std::atoi(text.c_str() + 1));
    }

    void emit(Line const& line) {
        std::vector<uint8_t>& bytes = line.place == Place::Code ? m_image.code.bytes : m_image.data.bytes;
        if (line.word.empty() || line.word == ".space") return;
        if (line.word == ".word") {
            for (std::string const& operand : line.operands) {
                bytes.resize(bytes.size() + 4);
                Qxx::store32(&bytes[bytes.size() - 4], uint32_t(value(operand)), m_order);
            }
            return;
        }
        uint64_t word = 0;
        if (line.word == ".inst")
            word = std::strtoull(line.operands.at(0).c_str(), nullptr, 0);
        else
            word = Simulator::encode(fields(line));
        bytes.resize(bytes.size() + 8);
        Qxx::store64(&bytes[bytes.size() - 8], word, m_order);
    }

    Simulator::Fields fields(Line const& line) const {
        Simulator::Fields fields;
        Simulator::InstructionInfo const* info = Simulator::findInstruction(line.word);
        EXPECT_TRUE(info) << "no instruction '" << line.word << "'";
        if (!info) return fields;
        fields.opcode = uint8_t(info->opcode);
        Simulator::FormatInfo const& format = Simulator::formatInfo(info->format);
        EXPECT_EQ(line.operands.size(), format.count) << line.word;
        for (size_t index = 0; index < format.count && index < line.operands.size(); ++index) {
            std::string const& operand = line.operands[index];
            switch (format.operands[index]) {
                case Simulator::Operand::MonoDst:
                case Simulator::Operand::MonoSrc:
                case Simulator::Operand::PolyDst:
                case Simulator::Operand::PolySrc: fields.rd = registerNumber(operand); break;
                case Simulator::Operand::MonoA:
                case Simulator::Operand::PolyA: fields.ra = registerNumber(operand); break;
                case Simulator::Operand::MonoB:
                case Simulator::Operand::PolyB: fields.rb = registerNumber(operand); break;
                case Simulator::Operand::Imm:
                case Simulator::Operand::Target: fields.imm = uint32_t(value(operand)); break;
                case Simulator::Operand::MonoMem:
                case Simulator::Operand::PolyMem: {
                    size_t const open = operand.find('(');
                    fields.imm = uint32_t(value(trim(operand.substr(0, open))));
                    fields.ra = registerNumber(operand.substr(open + 1, operand.find(')') - open - 1));
                    break;
                }
            }
        }
        return fields;
    }

    Qxx::ByteOrder m_order;
    Qxx::QxxImage m_image;
    std::map<std::string, std::pair<Place, uint32_t>> m_labels;
};

}  // namespace TevTextDetail

inline Qxx::QxxImage buildProgram(std::string const& source,
                                  Simulator::ProcessorConfig const& config = Simulator::ProcessorConfig()) {
    return TevTextDetail::Builder(config.byteOrder, config.monoMemoryStart).build(source);
}

inline std::unique_ptr<Simulator::Processor> loadSource(
    std::string const& source, Simulator::ProcessorConfig const& config = Simulator::ProcessorConfig()) {
    std::string error;
    std::unique_ptr<Simulator::Processor> processor = Simulator::Processor::create(config, error);
    EXPECT_TRUE(processor) << error;
    EXPECT_TRUE(processor->load(buildProgram(source, config), error)) << error;
    return processor;
}

// Runs with a cycle limit, so that a broken program cannot hang a test.
inline std::unique_ptr<Simulator::Processor> runSource(
    std::string const& source, Simulator::ProcessorConfig const& config = Simulator::ProcessorConfig(),
    uint64_t maxCycles = 1000000) {
    std::unique_ptr<Simulator::Processor> processor = loadSource(source, config);
    Simulator::RunLimits limits;
    limits.maxCycles = maxCycles;
    processor->run(limits);
    return processor;
}

}  // namespace KitTest

#endif
