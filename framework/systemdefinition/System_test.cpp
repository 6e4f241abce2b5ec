// Tests of the system model. The option set and the system are process
// singletons, so each test builds them in a death-test child.
#include "systemdefinition/System.h"

#include <gtest/gtest.h>

#include <climits>

#include "configuration/CommandOptions.h"
#include "systemdefinition/Chip.h"
#include "systemdefinition/Node.h"
#include "systemdefinition/SystemDefinitionExceptions.h"
#include "tests/support/SystemTestSupport.h"

using namespace SystemDefinition;
using SystemTest::ChildChecks;
using SystemTest::exampleConfig;
using SystemTest::makeOptionSet;
using SystemTest::TempConfig;
using SystemTest::withLine;

namespace {

std::vector<std::string> namesOf(std::vector<Node const*> const& nodes) {
    std::vector<std::string> names;
    for (Node const* node : nodes) names.push_back(node->getName());
    return names;
}

}  // namespace

TEST(System, WorkedExampleBuildsOneChipWithTwoNodes) {
    TempConfig config(exampleConfig());
    EXPECT_IN_CHILD({
        makeOptionSet(config.path());
        ChildChecks check;
        System* system = System::getInstance();
        check.equal(system, System::getInstance(), "second getInstance");
        check.equal(std::vector<int>{0}, system->getChipIDs(), "chip IDs");
        check.equal(0u, system->getInterruptTarget(), "interrupt target");
        check.equal(4, int(system->getChipIDSize()), "chip-ID size");
        check.equal(4, int(system->getNodeIDSize()), "node-ID size");
        check.equal(0, system->getDefaultChipID(), "default chip");
        check.equal(0, system->getDefaultNodeID(), "default node");
        check.equal(std::string("chip0"), system->getChip()->getName(), "default chip name");
        check.equal(std::string("system.chip0.core0"), system->getNode()->getName(), "default node");
        check.equal(std::vector<std::string>{"system.chip0.core0", "system.chip0.mem0"},
                    namesOf(system->getAllNodes()), "all nodes");
        check.equal(std::vector<std::string>{"system.chip0.core0"}, namesOf(system->getAllVorns()), "VORNs");
        check.equal(std::vector<std::string>{"system.chip0.mem0"}, namesOf(system->getNodesOfType(MEMORY)),
                    "memory nodes");
        check.equal(std::vector<std::string>{}, namesOf(system->getNodesOfType(SERVICE)), "service nodes");
        check.equal(1, system->getNode(0, 1)->getID(), "getNode(0, 1)");
        check.equal(1, system->makeUniqueNodeID(0, 1), "unique ID of chip 0 node 1");
        check.finish();
    });
}

TEST(System, ConfigurationFaultsThrowTheirClassAndMessage) {
    using Action = void (*)();
    Action const build = [] { System::getInstance(); };
    Action const defaultChip = [] { System::getInstance()->getChip(); };
    Action const defaultNode = [] { System::getInstance()->getNode(); };
    std::type_info const& invalidConfig = typeid(InvalidSystemConfigurationException);
    std::type_info const& unknownAttribute = typeid(UnknownAttributeException);
    std::string const missingSystem =
        "InvalidSystemConfigurationException: Failed to find one or more required system properties.\n";
    struct Case {
        char const* key;   // the line to change
        char const* line;  // its replacement; empty removes it
        Action action;
        std::type_info const& type;
        std::string text;
    } const cases[] = {
        {"chip-id", "", build, invalidConfig, missingSystem + "Could not find 'chip-id'"},
        {"system.interrupt-target", "system.interrupt-target =", build, invalidConfig,
         missingSystem + "Could not find 'system.interrupt-target'"},
        {"system.chips", "system.chips = chip0", build, invalidConfig,
         "InvalidSystemConfigurationException: Failed to find system.chips attribute."},
        {"system.chip-ids", "system.chip-ids[] = zero", build, invalidConfig,
         "InvalidSystemConfigurationException: Failed to find system.chip-ids attribute."},
        {"system.interrupt-target", "system.interrupt-target = many", build, invalidConfig,
         "InvalidSystemConfigurationException: Failed to find system.interrupt-target attribute."},
        {"system.chip-id-size", "system.chip-id-size = 4 bits", build, invalidConfig,
         "InvalidSystemConfigurationException: Failed to find system.chip-id-size attribute."},
        {"system.node-id-size", "system.node-id-size = x", build, invalidConfig,
         "InvalidSystemConfigurationException: Failed to find system.node-id-size attribute."},
        {"system.chip-ids", "system.chip-ids[] = 0,1", build, invalidConfig,
         "InvalidSystemConfigurationException: The system.chips and system.chip-ids must be the same size."},
        {"system.chip0.node-ids", "", build, invalidConfig,
         "InvalidSystemConfigurationException: Failed to find one or more required chip properties."},
        {"system.chip0.node-ids", "system.chip0.node-ids = 0,1", build, invalidConfig,
         "InvalidSystemConfigurationException: Failed to find system.chip0.node-ids attribute."},
        {"system.chip0.nodes", "system.chip0.nodes = core0,mem0", build, invalidConfig,
         "InvalidSystemConfigurationException: Failed to find system.chip0.nodes attribute."},
        {"system.chip0.node-ids", "system.chip0.node-ids[] = 0", build, invalidConfig,
         "InvalidSystemConfigurationException: The system.chip0.nodes and system.chip0.node-ids must be the "
         "same size."},
        {"system.chip0.mem0.node-type", "", build, invalidConfig,
         "InvalidSystemConfigurationException: Could not extract the node: system.chip0.mem0 from the "
         "CommandOptions."},
        {"system.chip0.mem0.spare", "system.chip0.mem0.spare =", build, invalidConfig,
         "InvalidSystemConfigurationException: Could not extract the node: system.chip0.mem0 from the "
         "CommandOptions."},
        {"system.chip0.mem0.node-type", "system.chip0.mem0.size = 4", build, invalidConfig,
         "InvalidSystemConfigurationException: Could not determine the node-type"},
        {"system.chip0.core0.node-type", "system.chip0.core0.node-type = VORN", build, invalidConfig,
         "InvalidSystemConfigurationException: The node-type VORN is not known"},
        {"chip-id", "chip-id = first", defaultChip, unknownAttribute,
         "UnknownAttributeException: Unable to find the chip-id."},
        {"node-id", "node-id = first", defaultNode, unknownAttribute,
         "UnknownAttributeException: Unable to find the node-id."},
    };
    for (Case const& c : cases) {
        TempConfig config(withLine(exampleConfig(), c.key, c.line));
        EXPECT_IN_CHILD({
            makeOptionSet(config.path());
            ChildChecks check;
            check.throws(c.action, c.type, c.text, c.line);
            check.finish();
        }) << "changed line: '"
           << c.key << "' -> '" << c.line << "'";
    }
}

TEST(System, UnknownChipOrNodeIDThrowsInvalidAttribute) {
    TempConfig config(exampleConfig());
    EXPECT_IN_CHILD({
        makeOptionSet(config.path());
        ChildChecks check;
        System* system = System::getInstance();
        std::type_info const& type = typeid(InvalidAttributeException);
        check.throws([&] { system->getChip(5); }, type,
                     "InvalidAttributeException: The chip ID 5 is not known.", "chip 5");
        check.throws([&] { system->getChip(-1); }, type,
                     "InvalidAttributeException: The chip ID -1 is not known.", "chip -1");
        check.throws([&] { system->getNode(7, 0); }, type,
                     "InvalidAttributeException: The chip ID 7 is not known.", "node of chip 7");
        check.throws([&] { system->getNode(0, 2); }, type,
                     "InvalidAttributeException: The node ID 2 is not known.", "node 2 of chip 0");
        check.finish();
    });
}

TEST(System, UniqueNodeIDShiftsChipIDByLowFiveBitsOfNodeIDSize) {
    struct Case {
        char const* nodeIDSize;
        int chipID, nodeID, unique;
    } const cases[] = {
        {"4", 0, 1, 1},   {"4", 1, 2, 18},       {"4", 2, 0, 32},   {"0", 3, 4, 7},          {"32", 3, 4, 7},
        {"36", 1, 0, 16}, {"31", 1, 0, INT_MIN}, {"4", -1, 0, -16}, {"0x8", 2, 0x21, 0x221},
    };
    for (Case const& c : cases) {
        TempConfig config(withLine(exampleConfig(), "system.node-id-size",
                                   std::string("system.node-id-size = ") + c.nodeIDSize));
        EXPECT_IN_CHILD({
            makeOptionSet(config.path());
            ChildChecks check;
            check.equal(c.unique, System::getInstance()->makeUniqueNodeID(c.chipID, c.nodeID), "unique ID");
            check.finish();
        }) << "size "
           << c.nodeIDSize << ", chip " << c.chipID << ", node " << c.nodeID;
    }
}

TEST(System, FailedBuildLeavesNoSystemSoTheNextCallReadsAgain) {
    TempConfig config(withLine(exampleConfig(), "chip-id", ""));
    EXPECT_IN_CHILD({
        makeOptionSet(config.path());
        ChildChecks check;
        check.throws([] { System::getInstance(); }, typeid(InvalidSystemConfigurationException),
                     "InvalidSystemConfigurationException: Failed to find one or more required system "
                     "properties.\nCould not find 'chip-id'",
                     "first build");
        Configuration::CommandOptions::getCommandOptions()->set("0", "chip-id");
        check.equal(0, System::getInstance()->getDefaultChipID(), "default chip after the second build");
        check.finish();
    });
}

TEST(System, HexadecimalChipIDsAndRepeatedIDsPickTheFirstChip) {
    std::string text = withLine(exampleConfig(), "system.chips", "system.chips[] = chip0,chip1");
    text = withLine(text, "system.chip-ids", "system.chip-ids[] = 0x10,16");
    text = withLine(text, "chip-id", "chip-id = 16");
    text +=
        "system.chip1.nodes[] = spu\n"
        "system.chip1.node-ids[] = 0\n"
        "system.chip1.spu.node-type = service\n";
    TempConfig config(text);
    EXPECT_IN_CHILD({
        makeOptionSet(config.path());
        ChildChecks check;
        System* system = System::getInstance();
        check.equal(std::vector<int>{16, 16}, system->getChipIDs(), "chip IDs");
        check.equal(std::string("chip0"), system->getChip()->getName(), "first chip with ID 16");
        check.equal(16, system->getNode(16, 0)->getChipID(), "chip ID of its node");
        check.equal(std::vector<std::string>{"system.chip0.core0", "system.chip0.mem0", "system.chip1.spu"},
                    namesOf(system->getAllNodes()), "all nodes visit every chip");
        check.equal(std::vector<std::string>{"system.chip1.spu"}, namesOf(system->getNodesOfType(SERVICE)),
                    "service nodes");
        check.finish();
    });
}
