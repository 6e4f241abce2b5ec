// Whatever the qxx reader accepts, the disassembler writes as text that
// assembles to the same program: the files of the qxx fuzz corpus and
// byte-flipped variants of them.
#include "assembler/Disassembler.h"
#include "assembler/Assembler.h"
#include "qxx/QxxReader.h"
#include "tests/support/TestPrograms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace {

using Bytes = std::vector<uint8_t>;

// The writer leaves out empty data and bss sections, so their addresses
// carry no meaning; the assembler writes the symbols sorted by name.
Qxx::QxxImage normalised(Qxx::QxxImage image) {
    if (image.data.bytes.empty()) image.data.address = 0;
    if (image.bssSize == 0) image.bssAddress = 0;
    std::sort(image.symbols.begin(), image.symbols.end(),
              [](Qxx::Symbol const& a, Qxx::Symbol const& b) { return a.name < b.name; });
    return image;
}

// Empty when the image's text assembles to the same program, else what
// went wrong, with the text.
std::string roundTripFault(Qxx::QxxImage const& image, Simulator::RegisterCounts const& registers) {
    std::string const text = Assembler::disassemble(image, registers);
    Assembler::AssemblerOptions options;
    options.byteOrder = image.byteOrder;
    options.monoRegisters = registers.mono;
    options.polyRegisters = registers.poly;
    Qxx::QxxImage again;
    std::vector<std::string> errors;
    if (!Assembler::assemble({{"dump.qxs", text}}, options, again, errors))
        return KitTest::joinLines(errors) + "\n" + text;
    if (!(normalised(again) == normalised(image)))
        return "a different program\n" + text + "\nreassembled:\n" + Assembler::disassemble(again, registers);
    return std::string();
}

std::vector<std::pair<std::string, Bytes>> corpus() {
    std::vector<std::pair<std::string, Bytes>> files;
    for (auto const& entry : std::filesystem::directory_iterator(QX_SOURCE_DIR "/fuzz/corpus/qxx")) {
        std::ifstream file(entry.path(), std::ios::binary);
        files.emplace_back(entry.path().filename().string(),
                           Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool read(Bytes const& bytes, Qxx::QxxImage& image) {
    std::string error;
    return Qxx::readQxx(bytes.data(), bytes.size(), image, error);
}

TEST(Disassembler, EveryCorpusFileRoundTrips) {
    std::vector<std::pair<std::string, Bytes>> const files = corpus();
    ASSERT_FALSE(files.empty());
    for (auto const& [name, bytes] : files) {
        Qxx::QxxImage image;
        ASSERT_TRUE(read(bytes, image)) << name;
        for (Simulator::RegisterCounts registers :
             {Assembler::k_default_register_counts, Simulator::RegisterCounts{8, 4}})
            EXPECT_EQ("", roundTripFault(image, registers)) << name;
    }
}

// A few bytes of a corpus file set to random values, with a fixed seed;
// the variants the reader accepts must round trip like the originals.
TEST(Disassembler, EveryAcceptedVariantOfTheCorpusRoundTrips) {
    std::mt19937 random(12);
    int accepted = 0;
    int failed = 0;
    for (auto const& [name, original] : corpus()) {
        for (int variant = 0; variant < 2000; ++variant) {
            Bytes bytes = original;
            int const changes = 1 + int(random() % 4);
            for (int change = 0; change < changes; ++change)
                bytes[random() % bytes.size()] = uint8_t(random());
            Qxx::QxxImage image;
            if (!read(bytes, image)) continue;
            ++accepted;
            std::string const fault = roundTripFault(image, Assembler::k_default_register_counts);
            if (!fault.empty() && ++failed <= 5)
                ADD_FAILURE() << name << " variant " << variant << ": " << fault;
        }
    }
    EXPECT_EQ(0, failed) << "of " << accepted << " accepted variants";
    EXPECT_GT(accepted, 1000);
}

}  // namespace
