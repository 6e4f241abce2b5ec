#include "qxas/TargetOptions.h"

#include <cstdint>

#include "configuration/CommandOptions.h"
#include "configuration/CommonOptions.h"
#include "configuration/Properties.h"
#include "qxx/QxxImage.h"
#include "sdksupport/ArchConfig.h"

namespace Qxas {

namespace {

unsigned const s_register_bytes = 4;

// ArchConfig's own getter of the memory start is deprecated and prints a
// notice, so the key is read from the node's section directly. The
// architecture configuration has already checked that it is a number.
uint32_t monoMemoryStart(Configuration::CommandOptions& options) {
    std::string text;
    unsigned long long value = 0;
    if (!options.getWithSystemPrefix(text, Configuration::CO_L_mono_memory_start)) return 0;
    if (!Configuration::Properties::makeUint64(text, value) || value > UINT32_MAX) return 0;
    return static_cast<uint32_t>(value);
}

}  // namespace

bool targetAssemblerOptions(SDKSupport::ArchConfig const& node, Configuration::CommandOptions& options,
                            Assembler::AssemblerOptions& assemblerOptions, std::string& error) {
    if (node.getTargetIset() != Qxx::k_instruction_set) {
        error = "the default node's instruction set is '" + node.getTargetIset() + "'; qxas assembles " +
                Qxx::k_instruction_set + " programs only";
        return false;
    }
    if (node.getInstructionSize() != Qxx::k_instruction_size) {
        error = "the default node's instruction size is " + std::to_string(node.getInstructionSize()) +
                " bytes; " + Qxx::k_instruction_set + " instructions are " +
                std::to_string(Qxx::k_instruction_size) + " bytes";
        return false;
    }
    bool const big = node.getEndianness() == Generic::ENDIANNESS_BIG;
    assemblerOptions.byteOrder = big ? Qxx::ByteOrder::Big : Qxx::ByteOrder::Little;
    Simulator::RegisterCounts const registers = targetRegisterCounts(node);
    assemblerOptions.monoRegisters = registers.mono;
    assemblerOptions.polyRegisters = registers.poly;
    assemblerOptions.dataAddress = monoMemoryStart(options);
    return true;
}

Simulator::RegisterCounts targetRegisterCounts(SDKSupport::ArchConfig const& node) {
    return Simulator::RegisterCounts{unsigned(node.getMonoRegisterSize() / s_register_bytes),
                                     unsigned(node.getPolyRegisterSize() / s_register_bytes)};
}

std::string describeTarget(Assembler::AssemblerOptions const& assemblerOptions) {
    return std::string("target: ") + Qxx::k_instruction_set + ", " + std::to_string(Qxx::k_instruction_size) +
           "-byte instructions, " + Qxx::byteOrderName(assemblerOptions.byteOrder) + " endian, " +
           std::to_string(assemblerOptions.monoRegisters) + " mono and " +
           std::to_string(assemblerOptions.polyRegisters) + " poly registers";
}

}  // namespace Qxas
