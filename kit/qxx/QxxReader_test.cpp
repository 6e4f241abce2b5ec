#include "qxx/QxxReader.h"
#include "qxx/QxxFormat.h"
#include "qxx/QxxWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <random>

namespace {

using namespace Qxx;

QxxImage sampleImage() {
    QxxImage image;
    image.byteOrder = ByteOrder::Big;
    image.code.address = 0x100;
    image.code.bytes.assign(24, 0);
    image.code.bytes[0] = 0x02;
    image.entry = 0x108;
    image.data.address = 0x2000;
    image.data.bytes = {1, 2, 3, 4, 5};
    image.bssAddress = 0x3000;
    image.bssSize = 64;
    image.symbols = {{"main", 0x108, SymbolKind::Code},
                     {"table", 0x2000, SymbolKind::Data},
                     {"buffer", 0x3000, SymbolKind::Bss},
                     {"LIMIT", 0xffffffff, SymbolKind::Constant}};
    return image;
}

std::vector<uint8_t> sampleBytes() {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(writeQxx(sampleImage(), bytes, error)) << error;
    return bytes;
}

void put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    store32(&bytes[offset], value, ByteOrder::Little);
}

// Offsets in the sample file: 3 sections, then 4 symbols, then strings.
constexpr size_t k_section0 = Format::k_header_size;
constexpr size_t k_section1 = k_section0 + Format::k_section_entry_size;
constexpr size_t k_symbols = k_section0 + 3 * Format::k_section_entry_size;

TEST(QxxFormat, WriteThenReadGivesTheSameImage) {
    std::vector<uint8_t> bytes = sampleBytes();
    QxxImage image;
    std::string error;
    ASSERT_TRUE(readQxx(bytes.data(), bytes.size(), image, error)) << error;
    EXPECT_EQ(image, sampleImage());
}

TEST(QxxFormat, FileRoundTripAndMissingFile) {
    std::string path = ::testing::TempDir() + "qxx_roundtrip.qxx";
    std::string error;
    ASSERT_TRUE(writeQxxFile(path, sampleImage(), error)) << error;
    QxxImage image;
    ASSERT_TRUE(readQxxFile(path, image, error)) << error;
    EXPECT_EQ(image, sampleImage());
    std::remove(path.c_str());
    EXPECT_FALSE(readQxxFile(path, image, error));
    EXPECT_EQ(error, path + ": cannot open: No such file or directory");
    std::string directory = ::testing::TempDir();
    EXPECT_FALSE(readQxxFile(directory, image, error));
    EXPECT_EQ(error, directory + ": not a regular file");
}

TEST(QxxFormat, EveryTruncationOfTheHeaderIsReported) {
    std::vector<uint8_t> bytes = sampleBytes();
    for (size_t size = 0; size < Format::k_header_size; ++size) {
        QxxImage image;
        std::string error;
        EXPECT_FALSE(readQxx(bytes.data(), size, image, error)) << size;
        EXPECT_EQ(error,
                  "truncated qxx file: the header needs 48 bytes, the file has " + std::to_string(size));
    }
}

TEST(QxxFormat, EveryTruncationAfterTheHeaderIsReported) {
    std::vector<uint8_t> bytes = sampleBytes();
    for (size_t size = Format::k_header_size; size < bytes.size(); ++size) {
        QxxImage image;
        std::string error;
        EXPECT_FALSE(readQxx(bytes.data(), size, image, error)) << size;
        EXPECT_FALSE(error.empty());
    }
}

struct CorruptCase {
    char const* name;
    std::function<void(std::vector<uint8_t>&)> corrupt;
    char const* error;
};

TEST(QxxFormat, CorruptFilesAreRejectedWithTheirReason) {
    CorruptCase const cases[] = {
        {"magic", [](auto& b) { b[1] = 'Z'; }, "not a qxx file (bad magic number)"},
        {"version", [](auto& b) { b[4] = 2; }, "unsupported qxx format version 2 (expected 1)"},
        {"byte order", [](auto& b) { b[6] = 3; }, "invalid byte order 3 in the qxx header"},
        {"instruction set", [](auto& b) { std::memcpy(&b[8], "arm\0", 4); },
         "foreign instruction set 'arm' (expected 'tev')"},
        {"unterminated instruction set", [](auto& b) { std::memset(&b[8], 'x', 8); },
         "the instruction set name in the qxx header has no terminator"},
        {"instruction size", [](auto& b) { b[7] = 4; },
         "unsupported instruction size 4 (tev instructions are 8 bytes)"},
        {"reserved header", [](auto& b) { b[40] = 1; }, "reserved fields of the qxx header are not zero"},
        {"too many sections", [](auto& b) { put32(b, 20, 4); }, "too many sections: 4 (limit 3)"},
        {"too many symbols", [](auto& b) { put32(b, 24, 65537); }, "too many symbols: 65537 (limit 65536)"},
        {"symbol table past end", [](auto& b) { put32(b, 24, 1000); },
         "truncated qxx file: the symbol table needs 12108 bytes, the file has 213"},
        {"string table past end", [](auto& b) { put32(b, 28, 0xfffffff0); },
         "truncated qxx file: the string table needs 4294967436 bytes, the file has 213"},
        {"unknown section kind", [](auto& b) { put32(b, k_section1, 7); }, "section 1 has unknown kind 7"},
        {"duplicate section", [](auto& b) { put32(b, k_section1, 1); },
         "section 1: more than one code section"},
        {"section flags", [](auto& b) { put32(b, k_section0 + 16, 1); },
         "section 0 (code) has non-zero flags"},
        {"section past end", [](auto& b) { put32(b, k_section1 + 8, 500); },
         "section 1 (data) extends past the end of the file"},
        {"section offset past end", [](auto& b) { put32(b, k_section0 + 12, 0xfffffff8); },
         "section 0 (code) extends past the end of the file"},
        {"oversized section", [](auto& b) { put32(b, k_section0 + 8, 0x01000001); },
         "section 0 (code) is too large: 16777217 bytes (limit 16777216)"},
        {"section over tables", [](auto& b) { put32(b, k_section0 + 12, 8); },
         "section 0 (code) overlaps the qxx header or tables"},
        {"bss with contents", [](auto& b) { put32(b, k_section1 + 20 + 12, 200); },
         "section 2 (bss) has a file offset, but bss has no contents"},
        {"code size not whole instructions", [](auto& b) { put32(b, k_section0 + 8, 20); },
         "code section size 20 is not a multiple of the instruction size 8"},
        {"misaligned code", [](auto& b) { put32(b, k_section0 + 4, 0x104); },
         "code section address 0x00000104 is not aligned to the instruction size 8"},
        {"entry outside code", [](auto& b) { put32(b, 16, 0x200); },
         "entry point 0x00000200 is outside the code section"},
        {"entry misaligned", [](auto& b) { put32(b, 16, 0x10c); },
         "entry point 0x0000010c is not aligned to the instruction size 8"},
        {"bss over data", [](auto& b) { put32(b, k_section1 + 20 + 4, 0x2004); },
         "data and bss sections overlap"},
        {"wrapping section", [](auto& b) { put32(b, k_section1 + 20 + 4, 0xfffffff0); },
         "bss section wraps around the 32-bit address space"},
        {"name offset outside strings", [](auto& b) { put32(b, k_symbols, 5000); },
         "symbol 0: name offset 5000 is outside the string table"},
        {"name without terminator", [](auto& b) { b[k_symbols + 4 * 12 + 23] = 'x'; },
         "symbol 3: name has no terminator"},
        {"empty name", [](auto& b) { put32(b, k_symbols + 12, 4); }, "symbol 1: empty name"},
        {"unknown symbol kind", [](auto& b) { b[k_symbols + 8] = 9; }, "symbol 0 has unknown kind 9"},
        {"symbol reserved", [](auto& b) { b[k_symbols + 11] = 1; }, "symbol 0 has non-zero reserved bytes"},
        {"duplicate symbol", [](auto& b) { put32(b, k_symbols + 12, 0); }, "duplicate symbol 'main'"},
    };
    for (CorruptCase const& c : cases) {
        std::vector<uint8_t> bytes = sampleBytes();
        c.corrupt(bytes);
        QxxImage image;
        std::string error;
        EXPECT_FALSE(readQxx(bytes.data(), bytes.size(), image, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
}

TEST(QxxFormat, LongNameWithoutTerminatorIsTooLong) {
    QxxImage image = sampleImage();
    image.symbols = {{std::string(255, 'n'), 0x100, SymbolKind::Code}};
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(writeQxx(image, bytes, error)) << error;
    size_t strings = Format::k_header_size + 3 * Format::k_section_entry_size + Format::k_symbol_entry_size;
    bytes[strings + 255] = 'n';  // the terminator; more of the file follows
    EXPECT_FALSE(readQxx(bytes.data(), bytes.size(), image, error));
    EXPECT_EQ(error, "symbol 0: name has no terminator");
}

TEST(QxxFormat, OversizedBufferIsRejectedBeforeParsing) {
    uint8_t byte = 0x7f;
    QxxImage image;
    std::string error;
    EXPECT_FALSE(readQxx(&byte, k_max_file_size + 1, image, error));
    EXPECT_EQ(error, "qxx file too large: 67108865 bytes (limit 67108864)");
}

TEST(QxxFormat, WriterRefusesInvalidImages) {
    struct Case {
        char const* name;
        std::function<void(QxxImage&)> change;
        char const* error;
    } const cases[] = {
        {"no code", [](QxxImage& i) { i.code.bytes.clear(); }, "no code section"},
        {"long name", [](QxxImage& i) { i.symbols[0].name.assign(256, 'a'); },
         "symbol name longer than 255 characters: 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa...'"},
        {"duplicate", [](QxxImage& i) { i.symbols[1].name = "main"; }, "duplicate symbol 'main'"},
        {"foreign", [](QxxImage& i) { i.instructionSet = "x86"; },
         "foreign instruction set 'x86' (expected 'tev')"},
        // Names and places the assembler cannot write back.
        {"odd character", [](QxxImage& i) { i.symbols[3].name = "LIMI,"; },
         "symbol name 'LIMI,' is not a name the assembler can define"},
        {"digit first", [](QxxImage& i) { i.symbols[3].name = "1LIMIT"; },
         "symbol name '1LIMIT' is not a name the assembler can define"},
        {"register", [](QxxImage& i) { i.symbols[3].name = "r170"; },
         "symbol name 'r170' is not a name the assembler can define"},
        {"local", [](QxxImage& i) { i.symbols[3].name = ".Lx"; },
         "symbol name '.Lx' is not a name the assembler can define"},
        {"code label outside", [](QxxImage& i) { i.symbols[0].value = 0x120; },
         "code label 'main' at 0x00000120 is neither an instruction of the code section nor its end"},
        {"code label inside an instruction", [](QxxImage& i) { i.symbols[0].value = 0x104; },
         "code label 'main' at 0x00000104 is neither an instruction of the code section nor its end"},
        {"data label outside", [](QxxImage& i) { i.symbols[1].value = 0x2006; },
         "data label 'table' at 0x00002006 lies outside the data section"},
        {"bss label outside", [](QxxImage& i) { i.symbols[2].value = 0x2fff; },
         "bss label 'buffer' at 0x00002fff lies outside the bss section"},
        {"labels of an empty section apart",
         [](QxxImage& i) {
             i.bssSize = 0;
             i.symbols.push_back({"end", 0x3008, SymbolKind::Bss});
         },
         "bss labels 'buffer' and 'end' of the empty bss section have different addresses"},
    };
    for (Case const& c : cases) {
        QxxImage image = sampleImage();
        c.change(image);
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_FALSE(writeQxx(image, bytes, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
}

TEST(QxxFormat, LabelsAtTheEndsOfTheirSectionsAreValid) {
    QxxImage image = sampleImage();
    // An empty section is left out of the file with its address; its
    // labels keep theirs.
    image.data.bytes.clear();
    image.symbols = {{"code_end", 0x118, SymbolKind::Code},     {"no_data", 0x1234, SymbolKind::Data},
                     {"no_data_too", 0x1234, SymbolKind::Data}, {"bss_end", 0x3040, SymbolKind::Bss},
                     {"_x.y$1", 2, SymbolKind::Constant},       {"rx", 3, SymbolKind::Constant}};
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(writeQxx(image, bytes, error)) << error;
    QxxImage again;
    EXPECT_TRUE(readQxx(bytes.data(), bytes.size(), again, error)) << error;
}

// Random corruption of a valid file: the reader must answer, never crash
// or read outside the buffer (the sanitizer build checks the latter).
TEST(QxxFormat, RandomCorruptionNeverCrashes) {
    std::vector<uint8_t> original = sampleBytes();
    std::mt19937 random(12345);
    for (int round = 0; round < 5000; ++round) {
        std::vector<uint8_t> bytes = original;
        int changes = 1 + int(random() % 4);
        for (int n = 0; n < changes; ++n) bytes[random() % bytes.size()] = uint8_t(random());
        bytes.resize(random() % 8 == 0 ? random() % bytes.size() : bytes.size());
        QxxImage image;
        std::string error;
        if (!readQxx(bytes.data(), bytes.size(), image, error)) {
            EXPECT_FALSE(error.empty());
        }
    }
}

}  // namespace
