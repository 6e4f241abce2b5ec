// qxinfo: reports what the kit's tools would work with, in three parts:
// the cards the host library finds (through the host API, as qxrun
// reaches them), the system that target_device.cfg configures (its chips
// and nodes) and the validated architecture parameters of the default
// node.
//
// Everything is written to standard output. The configuration is found
// and checked as the other tools do: a configuration that cannot be read
// ends qxinfo in the option set's words, a broken architecture
// configuration with "ERROR: " and the reason.
//
// Exit status: 0 when every part could be reported (no card found is a
// report too), after help and after version; 1 when the host library
// could not be opened, the system model could not be built, or for a bad
// option; 255 for a broken architecture configuration.
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "KitToolVersion.h"
#include "ToolMain.h"
#include "configuration/CommandOptions.h"
#include "configuration/CommonOptions.h"
#include "generic/Exception.h"
#include "qxapi/qxapi.h"
#include "sdksupport/ArchConfig.h"
#include "systemdefinition/Chip.h"
#include "systemdefinition/Node.h"
#include "systemdefinition/System.h"

namespace {

using Configuration::CommandOptions;
using SDKSupport::ArchConfig;
using SystemDefinition::Node;
using SystemDefinition::System;

char const* const s_title = "qxinfo Orvalis system information";
char const* const s_purpose =
    "It reports the cards found, the configured system and the default node's architecture.";

// Long enough for a host library's whole reason, unlike qxrun's buffer.
int const k_error_text_size = 512;

std::string errorText(QXAPI_handle handle, int code) {
    char text[k_error_text_size] = {};
    QXAPI_get_error_string(handle, code, text, k_error_text_size);
    return text;
}

// The host library of the direct load mode, the number of cards it finds
// and what a connect to the first available card gives. False when the
// host library cannot be opened.
bool reportCards() {
    std::printf("Cards\n");
    QXAPI_handle handle = QXAPI_new(QXAPI_LOAD_DIRECT);
    if (handle == nullptr) {
        std::printf("  host library:     cannot be opened\n");
        return false;
    }
    QXAPI_version_record library{};
    if (QXAPI_version(handle, 3, &library) == 0) std::printf("  host library:     %s\n", library.text);
    uint32_t cards = 0;
    int const counted = QXAPI_num_cards(handle, &cards);
    if (counted == 0)
        std::printf("  cards found:      %u\n", cards);
    else
        std::printf("  cards found:      unknown: %s\n", errorText(handle, counted).c_str());
    int const connected = QXAPI_connect(handle, nullptr, 0);
    uint32_t processors = 0;
    if (connected != 0)
        std::printf("  first card:       %s\n", errorText(handle, connected).c_str());
    else if (QXAPI_num_processors(handle, &processors) == 0)
        std::printf("  first card:       %u processors\n", processors);
    QXAPI_delete(handle);
    return true;
}

char const* nodeTypeName(SystemDefinition::NodeType type) {
    switch (type) {
        case SystemDefinition::VORN: return "vorn";
        case SystemDefinition::MEMORY: return "memory";
        case SystemDefinition::STREAMING: return "streaming";
        case SystemDefinition::SERVICE: return "service";
    }
    return "unknown";
}

// The node's own name: the last part of its section name system.<chip>.<node>.
std::string shortName(std::string const& sectionName) {
    std::string::size_type const dot = sectionName.rfind('.');
    return dot == std::string::npos ? sectionName : sectionName.substr(dot + 1);
}

void reportSystem(System const& system) {
    std::vector<int> const chipIDs = system.getChipIDs();
    std::printf("\nSystem\n");
    std::printf("  chips:            %zu\n", chipIDs.size());
    std::printf("  chip-id size:     %u bits\n", unsigned(system.getChipIDSize()));
    std::printf("  node-id size:     %u bits\n", unsigned(system.getNodeIDSize()));
    std::printf("  interrupt target: %u\n", system.getInterruptTarget());
    std::printf("  default node:     chip %d, node %d\n", system.getDefaultChipID(),
                system.getDefaultNodeID());
    for (int chipID : chipIDs) {
        SystemDefinition::Chip const* chip = system.getChip(chipID);
        std::printf("  chip %d (%s)\n", chipID, chip->getName().c_str());
        std::printf("    %-6s %-10s %-10s %s\n", "node", "name", "type", "unique ID");
        for (int nodeID : chip->getNodeIDs()) {
            Node const* node = chip->getNode(nodeID);
            std::printf("    %-6d %-10s %-10s 0x%x\n", nodeID, shortName(node->getName()).c_str(),
                        nodeTypeName(node->getNodeType()), unsigned(system.makeUniqueNodeID(chipID, nodeID)));
        }
    }
}

void reportArchitecture(System const& system, ArchConfig const& arch) {
    unsigned int left[2] = {};
    unsigned int right[2] = {};
    arch.getPioFlushLeft(left[0], left[1]);
    arch.getPioFlushRight(right[0], right[1]);
    struct Line {
        char const* key;
        unsigned int value;
    } const lines[] = {
        {"total-number-pes", arch.getNumberPolyProcessors()},
        {"mono-registers-size", arch.getMonoRegisterSize()},
        {"poly-memory-size", arch.getPolyMemorySize()},
        {"poly-registers-size", arch.getPolyRegisterSize()},
        {"mono-stack-size", arch.getMonoStackSize()},
        {"mono-heap-size", arch.getMonoHeapSize()},
        {"poly-stack-size", arch.getPolyStackSize()},
        {"enable-stack-size", arch.getEnableStackSize()},
        {"number-semaphores", arch.getNumberSemaphores()},
        {"number-threads", arch.getNumberThreads()},
        {"number-pio", arch.getNumberPio()},
        {"number-sio", arch.getNumberSio()},
        {"instruction-size", arch.getInstructionSize()},
        {"mono-alignment", arch.getMonoAlignment()},
        {"poly-alignment", arch.getPolyAlignment()},
        {"mono-stack-alignment", arch.getMonoStackAlignment()},
        {"poly-stack-alignment", arch.getPolyStackAlignment()},
        {"register-natural-align", arch.getRegNaturalAlign()},
        {"memory-natural-align", arch.getMemNaturalAlign()},
    };
    Node const* node = system.getNode();
    std::printf("\nDefault node %s (chip %d, node %d)\n", node->getName().c_str(), node->getChipID(),
                node->getID());
    std::printf("  %-24s %s\n", "name", arch.getTargetName().c_str());
    std::printf("  %-24s %s\n", "instruction-set", arch.getTargetIset().c_str());
    std::printf("  %-24s %s\n", "endianness",
                arch.getEndianness() == Generic::ENDIANNESS_BIG ? "big" : "little");
    for (Line const& line : lines) std::printf("  %-24s %u\n", line.key, line.value);
    std::printf("  %-24s 0x%x\n", "gsu-address", arch.getGSUAddress());
    std::printf("  %-24s %u,%u\n", "PIO-flush-left", left[0], left[1]);
    std::printf("  %-24s %u,%u\n", "PIO-flush-right", right[0], right[1]);
    std::vector<int> proximity;
    arch.getMemoryProximity(proximity);
    std::string nearby;
    for (int uniqueID : proximity) nearby += (nearby.empty() ? "" : ",") + std::to_string(uniqueID);
    std::printf("  %-24s %s\n", "memory-proximity", nearby.empty() ? "none" : nearby.c_str());
}

int report() {
    System* system = nullptr;
    try {
        system = System::getInstance();
    } catch (Generic::Exception* failure) {
        std::printf("Error: the configured system cannot be built: %s\n", failure->toString().c_str());
        delete failure;
        return 1;
    }
    // Checks the default node's architecture configuration; a broken one
    // ends the process there.
    ArchConfig const* arch = ArchConfig::getInstance();
    bool const cardsReported = reportCards();
    reportSystem(*system);
    reportArchitecture(*system, *arch);
    return cardsReported ? 0 : 1;
}

int run(int argc, char** argv) {
    std::vector<Configuration::Options**> lists{CommandOptions::s_std_tool_command_line_args};
    CommandOptions* options = CommandOptions::makeCommandOptions(argc, argv, &lists, nullptr);
    if (options == nullptr) return 1;
    options->usageLineFormat(false, true, false);

    if (options->isOn(Configuration::CO_L_help)) {
        std::fflush(stdout);
        options->usage();
        std::cout.flush();
        return 0;
    }
    if (options->isOn(Configuration::CO_L_version)) {
        Programs::printKitToolVersion("qxinfo", s_title, s_purpose);
        return 0;
    }
    if (argc > 1) {
        std::fprintf(stderr, "qxinfo: unexpected argument: %s\nUse -h for a list of available options.\n",
                     argv[1]);
        return 1;
    }
    return report();
}

}  // namespace

int main(int argc, char** argv) {
    return Programs::runTool([&] { return run(argc, argv); }, Programs::Unhandled::ExitFromStandardOutput);
}
