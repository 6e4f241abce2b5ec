// Tests of chips: node lookup by ID when IDs repeat. Chips read the option
// set, so the test builds it in a death-test child.
#include "systemdefinition/Chip.h"

#include <gtest/gtest.h>

#include "systemdefinition/Node.h"
#include "systemdefinition/System.h"
#include "tests/support/SystemTestSupport.h"

using namespace SystemDefinition;
using SystemTest::ChildChecks;
using SystemTest::exampleConfig;
using SystemTest::makeOptionSet;
using SystemTest::TempConfig;
using SystemTest::withLine;

TEST(Chip, RepeatedNodeIDFindsTheFirstNodeEvenInTheNodeLists) {
    TempConfig config(withLine(exampleConfig(), "system.chip0.node-ids", "system.chip0.node-ids[] = 0x5,5"));
    EXPECT_IN_CHILD({
        makeOptionSet(config.path());
        ChildChecks check;
        System* system = System::getInstance();
        check.equal(std::string("system.chip0.core0"), system->getNode(0, 5)->getName(), "node 5");
        std::vector<std::string> names;
        for (Node const* node : system->getAllNodes()) names.push_back(node->getName());
        check.equal(std::vector<std::string>{"system.chip0.core0", "system.chip0.core0"}, names,
                    "every ID is looked up, so the first node comes twice");
        check.finish();
    });
}
