#include "assembler/Assembler.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace Assembler {

bool readSourceFile(std::string const& path, std::string& text, std::string& reason) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> const file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        reason = std::strerror(errno);
        return false;
    }
    text.clear();
    char buffer[65536];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        if (count > k_max_source_size - text.size()) {
            reason = "more than " + std::to_string(k_max_source_size) + " bytes";
            return false;
        }
        text.append(buffer, count);
    }
    if (std::ferror(file.get())) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

bool readTextFile(std::string const& path, std::string& text) {
    std::error_code ignored;
    std::string reason;
    return std::filesystem::is_regular_file(path, ignored) && readSourceFile(path, text, reason);
}

}  // namespace Assembler
