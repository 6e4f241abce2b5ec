// Fuzzes the qxx reader on arbitrary bytes. Whatever it accepts must be a
// valid image that the writer writes out and the reader reads back as the
// same image, and that the disassembler and the simulator's decoder
// handle.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "assembler/Disassembler.h"
#include "isa/TevIsa.h"
#include "qxx/QxxImage.h"
#include "qxx/QxxReader.h"
#include "qxx/QxxWriter.h"
#include "simulator/DecodedProgram.h"

namespace {

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    Qxx::QxxImage image;
    std::string error;
    if (!Qxx::readQxx(data, size, image, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    if (!Qxx::validateImage(image, error)) std::abort();

    std::vector<uint8_t> written;
    if (!Qxx::writeQxx(image, written, error)) std::abort();
    Qxx::QxxImage again;
    if (!Qxx::readQxx(written.data(), written.size(), again, error) || !sameProgram(again, image))
        std::abort();

    Assembler::disassemble(image);
    // Both the registers of the example processor and the most the
    // encoding allows.
    Simulator::decodeProgram(image.code.bytes, image.code.address, image.byteOrder,
                             Simulator::RegisterCounts{32, 32});
    Simulator::decodeProgram(image.code.bytes, image.code.address, image.byteOrder,
                             Simulator::k_max_register_counts);
    return 0;
}
