#include "assembler/tool/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace Qxas {

namespace {

// The temporary file: a hidden name beside the target, so that the rename
// stays within one file system.
std::string temporaryTemplate(std::string const& path) {
    std::string::size_type const slash = path.rfind('/');
    std::string const directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string const name = slash == std::string::npos ? path : path.substr(slash + 1);
    return directory + "." + name + ".XXXXXX";
}

// mkstemp makes the file readable by its owner only; give it what open
// would have given a new file.
bool setDefaultPermissions(int fd) {
    mode_t const mask = umask(0);
    umask(mask);
    return fchmod(fd, 0666 & ~mask) == 0;
}

bool writeAll(int fd, void const* data, size_t size) {
    char const* next = static_cast<char const*>(data);
    while (size > 0) {
        ssize_t const written = write(fd, next, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return false;
        if (written == 0) {
            errno = EIO;
            return false;
        }
        next += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

bool writeFileAtomically(std::string const& path, void const* data, size_t size, std::string& error) {
    std::string const pattern = temporaryTemplate(path);
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    int const fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    // Each step runs only when the ones before succeeded; reason keeps the
    // errno of the first that failed.
    bool done = setDefaultPermissions(fd) && writeAll(fd, data, size) && fsync(fd) == 0;
    int reason = errno;
    if (close(fd) != 0 && done) {
        done = false;
        reason = errno;
    }
    if (done && std::rename(temporary.data(), path.c_str()) != 0) {
        done = false;
        reason = errno;
    }
    if (done) return true;
    unlink(temporary.data());
    error = path + ": " + std::strerror(reason);
    return false;
}

}  // namespace Qxas
