// Dimensions of a VORN node's processor, as the simulator runs it and the
// assembler targets it. The defaults are those of the kit's sample
// target_device.cfg; readNodeDimensions (isa/NodeDimensions.h) fills the
// struct from the node's architecture configuration.
#ifndef ISA_PROCESSORCONFIG_H
#define ISA_PROCESSORCONFIG_H

#include "qxx/ByteOrder.h"

#include <cstdint>
#include <string>

namespace Simulator {

struct ProcessorConfig {
    uint32_t totalNumberPes = 64;
    uint32_t monoMemorySize = 65536;   // bytes
    uint32_t monoMemoryStart = 0;      // address of the first byte
    uint32_t monoRegistersSize = 128;  // bytes: 32 registers of 4 bytes
    uint32_t monoStackSize = 4096;     // bytes at the top of mono memory
    uint32_t polyMemorySize = 4096;    // bytes per PE
    uint32_t polyRegistersSize = 128;  // bytes per PE: 32 registers
    uint32_t enableStackSize = 32;     // entries
    uint32_t numberSemaphores = 16;
    uint32_t numberThreads = 4;    // reported; one thread executes
    uint32_t instructionSize = 8;  // bytes; tev needs 8
    Qxx::ByteOrder byteOrder = Qxx::ByteOrder::Little;
    std::string instructionSet = "tev";

    unsigned monoRegisterCount() const { return monoRegistersSize / 4; }
    unsigned polyRegisterCount() const { return polyRegistersSize / 4; }

    // Checks every dimension against the limits in docs/tev-isa.md; on
    // failure fills error and returns false.
    bool validate(std::string& error) const;
};

}  // namespace Simulator

#endif
