#include "protocol/Environment.h"

#include "protocol/Protocol.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/ScopedVariable.h"

namespace {

using TestSupport::ScopedVariable;

TEST(Environment, PortIsADecimalPortNumberOrTheDefault) {
    struct Case {
        char const* value;
        uint16_t port;  // 0: an error
        char const* error;
    } const cases[] = {
        {nullptr, 7411, ""},
        {"", 7411, ""},
        {"9000", 9000, ""},
        {"65535", 65535, ""},
        {"99999", 0, "QXSIM_PORT=99999 is not a port number (1 to 65535)"},
        {"65536", 0, "QXSIM_PORT=65536 is not a port number (1 to 65535)"},
        {"abc", 0, "QXSIM_PORT=abc is not a port number (1 to 65535)"},
        {"0", 0, "QXSIM_PORT=0 is not a port number (1 to 65535)"},
        {"0x1cf3", 0, "QXSIM_PORT=0x1cf3 is not a port number (1 to 65535)"},
        {"-1", 0, "QXSIM_PORT=-1 is not a port number (1 to 65535)"},
        {" 80", 0, "QXSIM_PORT= 80 is not a port number (1 to 65535)"},
        {"12345678901234567890", 0, "QXSIM_PORT=1234567890123456... is not a port number (1 to 65535)"},
    };
    for (Case const& c : cases) {
        ScopedVariable const variable("QXSIM_PORT", c.value);
        uint16_t port = 1;
        std::string error;
        EXPECT_EQ(Protocol::portFromEnvironment(port, error), c.port != 0) << (c.value ? c.value : "unset");
        if (c.port != 0) {
            EXPECT_EQ(port, c.port) << c.value;
        }
        EXPECT_EQ(error, c.error) << (c.value ? c.value : "unset");
    }
}

TEST(Environment, TokenMustFitInAHello) {
    std::string const longest(Protocol::k_max_token_length, 't');
    std::string const tooLong = longest + "t";
    struct Case {
        char const* value;
        bool ok;
        std::string token;
    } const cases[] = {
        {nullptr, true, ""},
        {"", true, ""},
        {longest.c_str(), true, longest},
        {tooLong.c_str(), false, ""},
    };
    for (Case const& c : cases) {
        ScopedVariable const variable("QXSIM_TOKEN", c.value);
        std::string token = "before";
        std::string error;
        EXPECT_EQ(Protocol::tokenFromEnvironment(token, error), c.ok);
        EXPECT_EQ(token, c.token);
        EXPECT_EQ(error, c.ok ? "" : "QXSIM_TOKEN is longer than 4096 bytes");
    }
}

}  // namespace
