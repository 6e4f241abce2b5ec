#include "tests/farm/HaproxyConfig.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/KitRuns.h"

namespace {

using FarmTest::FarmAddresses;
using FarmTest::localConfiguration;

FarmAddresses twoServers() {
    return {"127.0.0.1:1000", "/tmp/x/admin.sock", {{"127.0.0.1:2001", 3001}, {"127.0.0.1:2002", 3002}}};
}

TEST(HaproxyConfig, ChangesOnlyAddressesAndPrivilegesAndReportsWhatIsMissing) {
    std::string const global =
        "global\n    log /dev/log local0\n    chroot /var/lib/haproxy\n    user haproxy\n    group haproxy\n"
        "    daemon\n    stats socket /run/haproxy/admin.sock mode 660 level admin\n";
    std::string const frontend = "frontend f\n    bind :7411\n";
    std::string const servers =
        "backend b\n    balance leastconn\n    server a 192.0.2.1:7411 check port 7412\n"
        "    server b 192.0.2.2:7411 check port 7412 inter 1s\n";
    struct Case {
        char const* name;
        std::string text;
        std::string result;  // empty: an error is expected
        std::string error;
    } const cases[] = {
        {"all", global + frontend + servers,
         "global\n    log stderr format raw local0\n    stats socket /tmp/x/admin.sock mode 660 level admin\n"
         "frontend f\n    bind 127.0.0.1:1000\nbackend b\n    balance leastconn\n"
         "    server a 127.0.0.1:2001 check port 3001\n    server b 127.0.0.1:2002 check port 3002 inter "
         "1s\n",
         ""},
        {"no bind", global + servers, "", "the configuration has no bind line"},
        {"no stats socket", frontend + servers, "", "the configuration has no stats socket"},
        {"fewer servers", global + frontend + "backend b\n    server a 192.0.2.1:7411 check port 7412\n", "",
         "the configuration has 1 server lines, the test starts 2 servers"},
        {"more servers", global + frontend + servers + "    server c 192.0.2.3:7411 check port 7412\n", "",
         "the configuration has more server lines than the test starts servers"},
        {"no check port", global + frontend + "backend b\n    server a 192.0.2.1:7411 check\n", "",
         "server line without a check port: server a 127.0.0.1:2001 check"},
    };
    for (Case const& c : cases) {
        std::string result, error;
        EXPECT_EQ(localConfiguration(c.text, twoServers(), result, error), c.error.empty()) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        if (c.error.empty()) {
            EXPECT_EQ(result, c.result) << c.name;
        }
    }
}

// The documented configuration has every line the farm test changes.
TEST(HaproxyConfig, DocumentedConfigurationRunsLocally) {
    std::string const text = TestSupport::readFile(std::string(QX_SOURCE_DIR) + "/docs/farm/haproxy.cfg");
    FarmAddresses addresses = twoServers();
    addresses.servers.push_back({"127.0.0.1:2003", 3003});
    addresses.servers.push_back({"127.0.0.1:2004", 3004});
    std::string result, error;
    EXPECT_TRUE(localConfiguration(text, addresses, result, error)) << error;
    EXPECT_NE(result.find("    server sim4 127.0.0.1:2004 check port 3004\n"), std::string::npos) << result;
}

}  // namespace
