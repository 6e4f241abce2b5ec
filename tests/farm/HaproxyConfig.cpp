#include "tests/farm/HaproxyConfig.h"

#include <sstream>

namespace FarmTest {

namespace {

// The words of a line, split at blanks.
std::vector<std::string> wordsOf(std::string const& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string indentOf(std::string const& line) {
    return line.substr(0, line.find_first_not_of(" \t"));
}

std::string joined(std::vector<std::string> const& words) {
    std::string text;
    for (std::string const& word : words) text += (text.empty() ? "" : " ") + word;
    return text;
}

// What the changes found, so that a missing one is reported.
struct Found {
    bool bind = false;
    bool stats = false;
    size_t servers = 0;
};

// Sets line to what is written in its place: itself, the changed line, or
// nothing (empty) for a dropped one.
bool changeLine(std::vector<std::string> words, std::string const& section, FarmAddresses const& addresses,
                Found& found, std::string& line, std::string& error) {
    std::string const& keyword = words.front();
    if (section == "global" &&
        (keyword == "chroot" || keyword == "user" || keyword == "group" || keyword == "daemon")) {
        line.clear();
        return true;
    }
    if (section == "global" && keyword == "log") {
        line = indentOf(line) + "log stderr format raw local0";
        return true;
    }
    if (section == "global" && keyword == "stats" && words.size() > 2 && words[1] == "socket") {
        words[2] = addresses.statsSocket;
        found.stats = true;
    } else if (keyword == "bind" && words.size() > 1) {
        words[1] = addresses.bind;
        found.bind = true;
    } else if (keyword == "server" && words.size() > 2) {
        if (found.servers >= addresses.servers.size()) {
            error = "the configuration has more server lines than the test starts servers";
            return false;
        }
        FarmServerAddress const& server = addresses.servers[found.servers++];
        words[2] = server.address;
        bool checkPort = false;
        for (size_t i = 3; i + 1 < words.size(); ++i)
            if (words[i] == "port") {
                words[i + 1] = std::to_string(server.healthPort);
                checkPort = true;
            }
        if (!checkPort) {
            error = "server line without a check port: " + joined(words);
            return false;
        }
    } else {
        return true;
    }
    line = indentOf(line) + joined(words);
    return true;
}

}  // namespace

bool localConfiguration(std::string const& text, FarmAddresses const& addresses, std::string& result,
                        std::string& error) {
    std::istringstream in(text);
    std::string section;
    Found found;
    result.clear();
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> const words = wordsOf(line);
        bool const content = !words.empty() && words.front()[0] != '#';
        if (content && indentOf(line).empty()) section = words.front();
        if (content && !indentOf(line).empty()) {
            if (!changeLine(words, section, addresses, found, line, error)) return false;
            if (line.empty()) continue;
        }
        result += line + "\n";
    }
    if (!found.bind) error = "the configuration has no bind line";
    if (!found.stats) error = "the configuration has no stats socket";
    if (found.servers != addresses.servers.size())
        error = "the configuration has " + std::to_string(found.servers) + " server lines, the test starts " +
                std::to_string(addresses.servers.size()) + " servers";
    return error.empty();
}

}  // namespace FarmTest
