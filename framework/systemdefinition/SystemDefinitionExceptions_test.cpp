// The exceptions of the system model differ from Generic::Exception only
// in their type name, and are caught by a handler for the base pointer.
#include "systemdefinition/SystemDefinitionExceptions.h"

#include <gtest/gtest.h>

#include <memory>

using namespace SystemDefinition;

namespace {

template <typename T>
std::string caughtAsBase(std::string const& message) {
    auto owned = std::make_unique<T>(message);
    try {
        throw owned.get();
    } catch (Generic::Exception* e) {
        return e->toString();
    }
    return "not caught";
}

}  // namespace

TEST(SystemDefinitionExceptions, ToStringStartsWithTheClassNameWhenCaughtAsBase) {
    struct Case {
        std::string (*caught)(std::string const&);
        char const* expected;
    } const cases[] = {
        {caughtAsBase<InvalidSystemConfigurationException>, "InvalidSystemConfigurationException: m1"},
        {caughtAsBase<UnknownAttributeException>, "UnknownAttributeException: m1"},
        {caughtAsBase<InvalidAttributeException>, "InvalidAttributeException: m1"},
        {caughtAsBase<CommandOptionNotFoundException>, "CommandOptionNotFoundException: m1"},
    };
    for (Case const& c : cases) EXPECT_EQ(c.expected, c.caught("m1"));
    EXPECT_EQ("UnknownAttributeException: ", UnknownAttributeException("").toString());
}
