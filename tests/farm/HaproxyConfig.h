// The farm's HAProxy configuration, docs/farm/haproxy.cfg, turned into
// one that runs on this machine as an ordinary user, changed only where
// it must be:
//   - "chroot", "user", "group" and "daemon" of the global section are
//     dropped: the balancer runs unprivileged, in the foreground;
//   - the global "log" line logs to standard error instead of syslog;
//   - the stats socket is the given path;
//   - the frontend binds the given address;
//   - the Nth "server" line names the Nth given server and its "check port"
//     that server's health port.
// Everything else (balancing, limits, checks, retries, timeouts) stays as
// operators install it.
#ifndef TESTS_FARM_HAPROXYCONFIG_H
#define TESTS_FARM_HAPROXYCONFIG_H

#include <cstdint>
#include <string>
#include <vector>

namespace FarmTest {

struct FarmServerAddress {
    std::string address;  // host:port of its simulator listener
    uint16_t healthPort = 0;
};

struct FarmAddresses {
    std::string bind;  // host:port of the frontend
    std::string statsSocket;
    std::vector<FarmServerAddress> servers;
};

// False, with the reason in error, when a line to change is missing or the
// configuration has another number of servers than addresses gives.
bool localConfiguration(std::string const& text, FarmAddresses const& addresses, std::string& result,
                        std::string& error);

}  // namespace FarmTest

#endif  // TESTS_FARM_HAPROXYCONFIG_H
