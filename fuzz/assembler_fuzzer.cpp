// Fuzzes the assembler's front end on arbitrary text: the line parser and
// string literals line by line, the preprocessor (includes and macros),
// and the whole assembly. Whatever assembles must be a valid image that
// the writer and reader carry unchanged.
//
// Input: the main source, optionally followed by a NUL and the text of an
// include file. ".include" of any name ending in ".inc" reads that text;
// every other name is missing. The real file system is never read.
//
// The preprocessor is first run with a small line budget; the whole
// assembly (whose budget is large enough for the biggest programs and
// takes seconds to reach) only runs on inputs that stayed within it, so
// that expanding inputs do not turn into timeouts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "assembler/Assembler.h"
#include "assembler/Diagnostics.h"
#include "assembler/Disassembler.h"
#include "assembler/LineParser.h"
#include "assembler/Preprocessor.h"
#include "qxx/QxxReader.h"
#include "qxx/QxxWriter.h"

namespace {

std::size_t const s_max_lines = std::size_t(1) << 16;

bool endsWith(std::string const& text, std::string const& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void parseEachLine(std::string const& source) {
    std::istringstream lines(source);
    std::string line;
    while (std::getline(lines, line)) {
        Assembler::Statement statement;
        std::string error;
        if (!Assembler::parseLine(line, statement, error)) continue;
        for (std::string const& operand : statement.operands) {
            std::string value;
            if (!operand.empty() && operand[0] == '"') Assembler::parseStringLiteral(operand, value, error);
            Assembler::isIdentifier(operand);
        }
    }
}

// The writer leaves out empty data and bss sections and the reader takes
// a missing one as empty at address 0, so the address of an empty
// section does not survive a round trip and carries no meaning.
bool sameProgram(Qxx::QxxImage a, Qxx::QxxImage b) {
    for (Qxx::QxxImage* image : {&a, &b}) {
        if (image->data.bytes.empty()) image->data.address = 0;
        if (image->bssSize == 0) image->bssAddress = 0;
    }
    return a == b;
}

void checkImage(Qxx::QxxImage const& image) {
    std::string error;
    if (!Qxx::validateImage(image, error)) std::abort();
    std::vector<uint8_t> bytes;
    if (!Qxx::writeQxx(image, bytes, error)) std::abort();
    Qxx::QxxImage again;
    if (!Qxx::readQxx(bytes.data(), bytes.size(), again, error) || !sameProgram(again, image)) std::abort();
    Assembler::disassemble(image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    std::string const input(reinterpret_cast<char const*>(data), size);
    std::size_t const split = input.find('\0');
    std::string const source = input.substr(0, split);
    std::string const included = split == std::string::npos ? std::string() : input.substr(split + 1);

    Assembler::AssemblerOptions options;
    options.includeDirectories = {"inc"};
    options.readFile = [&included](std::string const& path, std::string& text) {
        if (!endsWith(path, ".inc")) return false;
        text = included;
        return true;
    };

    parseEachLine(source);

    Assembler::Diagnostics diagnostics;
    Assembler::Preprocessor preprocessor(options, diagnostics, s_max_lines);
    preprocessor.addSource({"main.qxs", source});
    if (diagnostics.messages().size() > Assembler::Diagnostics::k_max_errors + 1) std::abort();
    if (preprocessor.statements().size() > s_max_lines) std::abort();
    // Past the error limit the budget's own message may be hidden.
    if (diagnostics.messages().size() > Assembler::Diagnostics::k_max_errors) return 0;
    for (std::string const& message : diagnostics.messages())
        if (message.find("program too large") != std::string::npos) return 0;

    // Both byte orders are legal; the input's length picks one.
    options.byteOrder = size % 2 == 0 ? Qxx::ByteOrder::Little : Qxx::ByteOrder::Big;
    Qxx::QxxImage image;
    std::vector<std::string> errors;
    if (Assembler::assemble({{"main.qxs", source}}, options, image, errors)) checkImage(image);
    return 0;
}
