#include "qxas/TargetOptions.h"

#include "configuration/Properties.h"
#include "isa/NodeDimensions.h"
#include "qxx/QxxImage.h"
#include "systemdefinition/Node.h"
#include "systemdefinition/System.h"

namespace Qxas {

bool readTarget(Simulator::ProcessorConfig& target, std::string& error) {
    Configuration::Properties& node =
        SystemDefinition::System::getInstance()->getNode()->getArchConfigProperties();
    target = Simulator::ProcessorConfig();
    return Simulator::readNodeDimensions(node, target, error);
}

bool targetAssemblerOptions(Simulator::ProcessorConfig const& target,
                            Assembler::AssemblerOptions& assemblerOptions, std::string& error) {
    if (target.instructionSet != Qxx::k_instruction_set) {
        error = "the default node's instruction set is '" + target.instructionSet + "'; qxas assembles " +
                Qxx::k_instruction_set + " programs only";
        return false;
    }
    if (target.instructionSize != Qxx::k_instruction_size) {
        error = "the default node's instruction size is " + std::to_string(target.instructionSize) +
                " bytes; " + Qxx::k_instruction_set + " instructions are " +
                std::to_string(Qxx::k_instruction_size) + " bytes";
        return false;
    }
    assemblerOptions.byteOrder = target.byteOrder;
    Simulator::RegisterCounts const registers = targetRegisterCounts(target);
    assemblerOptions.monoRegisters = registers.mono;
    assemblerOptions.polyRegisters = registers.poly;
    assemblerOptions.dataAddress = target.monoMemoryStart;
    return true;
}

Simulator::RegisterCounts targetRegisterCounts(Simulator::ProcessorConfig const& target) {
    return Simulator::RegisterCounts{target.monoRegisterCount(), target.polyRegisterCount()};
}

std::string describeTarget(Assembler::AssemblerOptions const& assemblerOptions) {
    return std::string("target: ") + Qxx::k_instruction_set + ", " + std::to_string(Qxx::k_instruction_size) +
           "-byte instructions, " + Qxx::byteOrderName(assemblerOptions.byteOrder) + " endian, " +
           std::to_string(assemblerOptions.monoRegisters) + " mono and " +
           std::to_string(assemblerOptions.polyRegisters) + " poly registers";
}

}  // namespace Qxas
