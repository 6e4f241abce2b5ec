#include "protocol/HostAddress.h"

#include <gtest/gtest.h>

#include "tests/support/ScopedVariable.h"

namespace {

using TestSupport::ScopedVariable;

TEST(HostAddress, SplitsHostAndPortOrGivesTheReason) {
    struct Case {
        char const* text;
        char const* host;  // null: malformed
        int port;          // -1: none in the text
        char const* error;
    } const cases[] = {
        {"qx-farm", "qx-farm", -1, ""},
        {"qx-farm:9000", "qx-farm", 9000, ""},
        {"localhost:7411", "localhost", 7411, ""},
        {"10.1.2.3:1", "10.1.2.3", 1, ""},
        {"10.1.2.3:65535", "10.1.2.3", 65535, ""},
        {"::1", "::1", -1, ""},
        {"fe80::1:2", "fe80::1:2", -1, ""},
        {"[::1]", "::1", -1, ""},
        {"[::1]:8080", "::1", 8080, ""},
        {"[qx-farm]:80", "qx-farm", 80, ""},
        {"", nullptr, 0, "no name in host "},
        {":80", nullptr, 0, "no name before ':' in host :80"},
        {"h:", nullptr, 0, "no port from 1 to 65535 in host h:"},
        {"h:0", nullptr, 0, "no port from 1 to 65535 in host h:0"},
        {"h:65536", nullptr, 0, "no port from 1 to 65535 in host h:65536"},
        {"h:99999", nullptr, 0, "no port from 1 to 65535 in host h:99999"},
        {"h:4294967297", nullptr, 0, "no port from 1 to 65535 in host h:4294967297"},
        {"h:-1", nullptr, 0, "no port from 1 to 65535 in host h:-1"},
        {"h:+80", nullptr, 0, "no port from 1 to 65535 in host h:+80"},
        {"h: 80", nullptr, 0, "no port from 1 to 65535 in host h: 80"},
        {"h:80 ", nullptr, 0, "no port from 1 to 65535 in host h:80 "},
        {"h:0x50", nullptr, 0, "no port from 1 to 65535 in host h:0x50"},
        {"h:x80", nullptr, 0, "no port from 1 to 65535 in host h:x80"},
        {"[::1", nullptr, 0, "no ']' after '[' in host [::1"},
        {"[", nullptr, 0, "no ']' after '[' in host ["},
        {"[]", nullptr, 0, "no address in '[]' in host []"},
        {"[]:80", nullptr, 0, "no address in '[]' in host []:80"},
        {"[::1]80", nullptr, 0, "only ':PORT' may follow ']' in host [::1]80"},
        {"[::1]x", nullptr, 0, "only ':PORT' may follow ']' in host [::1]x"},
        {"[::1]:", nullptr, 0, "no port from 1 to 65535 in host [::1]:"},
        {"[::1]:0", nullptr, 0, "no port from 1 to 65535 in host [::1]:0"},
        {"[::1]:1:2", nullptr, 0, "no port from 1 to 65535 in host [::1]:1:2"},
        {"a-very-long-host-name.example.com:0", nullptr, 0,
         "no port from 1 to 65535 in host a-very-long-host-name.example.co..."},
    };
    for (Case const& c : cases) {
        Protocol::HostAddress address;
        std::string error;
        bool const parsed = Protocol::parseHostAddress(c.text, address, error);
        EXPECT_EQ(parsed, c.host != nullptr) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
        if (!parsed) continue;
        EXPECT_EQ(address.host, c.host) << c.text;
        EXPECT_EQ(address.hasPort, c.port >= 0) << c.text;
        if (c.port >= 0) {
            EXPECT_EQ(address.port, c.port) << c.text;
        }
    }
}

TEST(HostAddress, PortOfTheTextThenQxsimPortThenTheDefault) {
    struct Case {
        char const* text;
        char const* variable;
        int port;  // 0: an error
        char const* error;
    } const cases[] = {
        {"h", nullptr, 7411, ""},
        {"h", "", 7411, ""},
        {"h", "9000", 9000, ""},
        {"h:8000", "9000", 8000, ""},
        {"[::1]:8000", nullptr, 8000, ""},
        {"::1", "9000", 9000, ""},
        {"h:8000", "abc", 8000, ""},  // not read when the text has the port
        {"h", "abc", 0, "QXSIM_PORT=abc is not a port number (1 to 65535)"},
        {"h:0", "9000", 0, "no port from 1 to 65535 in host h:0"},
    };
    for (Case const& c : cases) {
        ScopedVariable const variable("QXSIM_PORT", c.variable);
        Protocol::HostAddress address;
        std::string error;
        EXPECT_EQ(Protocol::hostAddressFromText(c.text, address, error), c.port != 0) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
        if (c.port != 0) {
            EXPECT_EQ(address.port, c.port) << c.text;
        }
    }
}

TEST(HostAddress, ShowsAnIpv6AddressInBrackets) {
    EXPECT_EQ(Protocol::hostAndPort("127.0.0.1", 7411), "127.0.0.1:7411");
    EXPECT_EQ(Protocol::hostAndPort("qx-farm", 80), "qx-farm:80");
    EXPECT_EQ(Protocol::hostAndPort("::1", 9000), "[::1]:9000");
}

}  // namespace
