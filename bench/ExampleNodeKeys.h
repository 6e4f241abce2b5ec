// The key lines of the example configuration's processor node, without
// their "system.chip0.core0." prefix: the benchmarks generate large
// configurations by repeating them for every node.
#ifndef BENCH_EXAMPLENODEKEYS_H
#define BENCH_EXAMPLENODEKEYS_H

#include <fstream>
#include <string>
#include <vector>

namespace Bench {

inline std::vector<std::string> exampleNodeKeys(std::string const& sourceDir) {
    std::string const prefix = "system.chip0.core0.";
    std::ifstream in(sourceDir + "/examples/target_device.cfg");
    std::vector<std::string> keys;
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, prefix.size(), prefix) == 0) keys.push_back(line.substr(prefix.size()));
    }
    return keys;
}

}  // namespace Bench

#endif  // BENCH_EXAMPLENODEKEYS_H
