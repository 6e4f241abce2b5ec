#include "hostlib/Diagnostics.h"

#include <cstdio>
#include <mutex>

namespace HostLib {

namespace {

std::mutex& outputMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

void writeErrorLine(std::string const& text) {
    std::string const line = text + "\n";
    std::lock_guard<std::mutex> lock(outputMutex());
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

// Opened and closed for every line, so that the file is complete even
// when the process dies right after the call.
bool appendLine(std::string const& path, std::string const& text) {
    std::string const line = text + "\n";
    std::lock_guard<std::mutex> lock(outputMutex());
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) return false;
    bool const written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    return std::fclose(file) == 0 && written;
}

void reportSimulator(std::string const& text) {
    writeErrorLine("qxapi: " + text);
}

}  // namespace HostLib
