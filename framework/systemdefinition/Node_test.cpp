// Tests of nodes: types, the arch store and its asm and abi subsets,
// display. Nodes read the option set, so each test builds it in a
// death-test child.
#include "systemdefinition/Node.h"

#include <gtest/gtest.h>

#include <sstream>

#include "configuration/Properties.h"
#include "systemdefinition/Chip.h"
#include "systemdefinition/System.h"
#include "systemdefinition/SystemDefinitionExceptions.h"
#include "tests/support/SystemTestSupport.h"

using namespace SystemDefinition;
using SystemTest::ChildChecks;
using SystemTest::exampleConfig;
using SystemTest::makeOptionSet;
using SystemTest::TempConfig;
using SystemTest::withLine;

namespace {

std::string valueOf(Configuration::Properties& store, char const* key) {
    std::string value = "<absent>";
    store.get(value, key, true);
    return value;
}

}  // namespace

TEST(Node, VornNodeKeepsItsSectionAndTheAsmAndAbiSubsets) {
    TempConfig config(
        withLine(exampleConfig(), "system.chip0.core0.node-type", "system.chip0.core0.node-type =   vorn  "));
    EXPECT_IN_CHILD({
        makeOptionSet(config.path());
        ChildChecks check;
        Node* core = System::getInstance()->getNode(0, 0);
        check.equal(VORN, core->getNodeType(), "type");
        check.equal(true, core->isVorn() && !core->isMemory() && !core->isStreaming() && !core->isService(),
                    "predicates");
        check.equal(std::string("system.chip0.core0"), core->getName(), "section name");
        Configuration::Properties& arch = core->getArchConfigProperties();
        check.equal(&arch, &core->getAllProperties(), "getAllProperties is the arch store");
        check.equal(std::string("vorn"), valueOf(arch, "node-type"), "arch node-type");
        check.equal(std::string("2"), valueOf(arch, "asm.level"), "arch asm.level");
        check.equal(std::string("little"), valueOf(arch, "endianness"), "arch endianness");
        check.equal(std::string("2"), valueOf(core->getAsmConfigProperties(), "level"), "asm level");
        check.equal(std::string("1"), valueOf(core->getAbiConfigProperties(), "level"), "abi level");
        check.equal(std::string("<absent>"), valueOf(core->getAsmConfigProperties(), "node-type"),
                    "asm holds only asm keys");
        check.finish();
    });
}

TEST(Node, NodeTypesOtherThanVornHaveNoAsmOrAbiSet) {
    std::string text =
        withLine(exampleConfig(), "system.chip0.nodes", "system.chip0.nodes[] = core0,mem0,dma,spu");
    text = withLine(text, "system.chip0.node-ids", "system.chip0.node-ids[] = 0,1,2,3");
    text += "system.chip0.dma.node-type = streaming\nsystem.chip0.spu.node-type = service\n";
    TempConfig config(text);
    struct Case {
        int id;
        NodeType type;
        bool (Node::*predicate)() const;
    } const cases[] = {
        {1, MEMORY, &Node::isMemory}, {2, STREAMING, &Node::isStreaming}, {3, SERVICE, &Node::isService}};
    EXPECT_IN_CHILD({
        makeOptionSet(config.path());
        ChildChecks check;
        System* system = System::getInstance();
        for (Case const& c : cases) {
            Node* node = system->getNode(0, c.id);
            std::string row = "node " + std::to_string(c.id);
            check.equal(c.type, node->getNodeType(), row + " type");
            check.equal(true, (node->*c.predicate)() && !node->isVorn(), row + " predicates");
            check.throws([&] { node->getAsmConfigProperties(); }, typeid(InvalidSystemConfigurationException),
                         "InvalidSystemConfigurationException: The AsmConfig Properties object has not been "
                         "initialised for this node",
                         row + " asm");
            check.throws([&] { node->getAbiConfigProperties(); }, typeid(InvalidSystemConfigurationException),
                         "InvalidSystemConfigurationException: The AbiConfig Properties object has not been "
                         "initialised for this node",
                         row + " abi");
        }
        check.finish();
    });
}

TEST(Node, DisplayWritesTheArchStore) {
    TempConfig config(exampleConfig());
    EXPECT_IN_CHILD({
        makeOptionSet(config.path());
        ChildChecks check;
        Node* memory = System::getInstance()->getNode(0, 1);
        std::ostringstream expected;
        memory->getArchConfigProperties().display(expected);
        std::ostringstream shown;
        check.equal(&shown, &memory->display(shown), "returns its stream");
        check.equal(expected.str(), shown.str(), "display");
        check.equal(std::string::npos != shown.str().find("node-type: 'memory'\n"), true, "node-type line");
        check.finish();
    });
}
