#include "qxas/AtomicFile.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace Qxas {

namespace {

// The signals that end a run from outside; their handlers remove the
// temporary file and end the process as the signal would have.
int const s_ending_signals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
constexpr size_t s_ending_signal_count = sizeof s_ending_signals / sizeof s_ending_signals[0];

// What the handlers know: the temporary file's path, valid while armed.
char s_temporary[PATH_MAX];
volatile sig_atomic_t s_armed = 0;

struct sigaction s_previous[s_ending_signal_count];
bool s_replaced[s_ending_signal_count];
struct sigaction s_previous_file_size;

// Only async-signal-safe calls: unlink, sigaction, raise.
extern "C" void removeTemporaryAndEnd(int number) {
    if (s_armed) unlink(s_temporary);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(number, &fallback, nullptr);
    // Blocked while this handler runs; delivered, with the default
    // action, as soon as it returns.
    raise(number);
}

sigset_t endingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int number : s_ending_signals) sigaddset(&set, number);
    return set;
}

// A signal the caller ignores (nohup, a background job) stays ignored.
void installHandlers() {
    struct sigaction action {};
    action.sa_handler = removeTemporaryAndEnd;
    action.sa_mask = endingSignals();
    for (size_t index = 0; index < s_ending_signal_count; ++index) {
        sigaction(s_ending_signals[index], nullptr, &s_previous[index]);
        s_replaced[index] = s_previous[index].sa_handler != SIG_IGN;
        if (s_replaced[index]) sigaction(s_ending_signals[index], &action, nullptr);
    }
    // Past a file size limit, write fails with EFBIG instead of the
    // process ending with the temporary file in place.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &s_previous_file_size);
}

void restoreHandlers() {
    for (size_t index = 0; index < s_ending_signal_count; ++index)
        if (s_replaced[index]) sigaction(s_ending_signals[index], &s_previous[index], nullptr);
    sigaction(SIGXFSZ, &s_previous_file_size, nullptr);
}

// Runs step with the ending signals held back, so that the file's
// existence and s_armed change together.
template <typename Step>
auto withSignalsBlocked(Step step) {
    sigset_t const set = endingSignals();
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &set, &previous);
    auto const result = step();
    int const saved = errno;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = saved;
    return result;
}

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
        ssize_t const written = ::write(fd, next, size);
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

// The path with every symbolic link along its last component followed, so
// that replacing the result keeps the links. A link that points nowhere
// gives the path of the file to create. False with errno set on a loop.
bool followLinks(std::string path, std::string& resolved) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status;
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            resolved = path;
            return true;
        }
        std::vector<char> target(PATH_MAX);
        ssize_t const length = readlink(path.c_str(), target.data(), target.size());
        if (length < 0) return false;
        if (size_t(length) >= target.size()) {
            errno = ENAMETOOLONG;
            return false;
        }
        std::string const link(target.data(), size_t(length));
        std::string::size_type const slash = path.rfind('/');
        bool const relative = link.empty() || link[0] != '/';
        path = relative && slash != std::string::npos ? path.substr(0, slash + 1) + link : link;
    }
    errno = ELOOP;
    return false;
}

// Devices, FIFOs and sockets exist apart from their content; they are
// written to, never replaced. Directories and regular files are not.
bool isWrittenThrough(std::string const& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return false;
    return !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

bool writeThrough(std::string const& path, void const* data, size_t size) {
    int const fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    bool const written = writeAll(fd, data, size);
    int const reason = errno;
    if (close(fd) != 0 && written) return false;
    errno = reason;
    return written;
}

bool replace(std::string const& target, void const* data, size_t size) {
    AtomicFile file(target);
    return file.create() && file.write(data, size) && file.commit();
}

}  // namespace

AtomicFile::AtomicFile(std::string target) : m_target(std::move(target)) {}

AtomicFile::~AtomicFile() {
    discard();
}

bool AtomicFile::create() {
    std::string const pattern = temporaryTemplate(m_target);
    if (pattern.size() >= sizeof s_temporary) {
        errno = ENAMETOOLONG;
        return false;
    }
    installHandlers();
    m_created = true;
    m_fd = withSignalsBlocked([&pattern] {
        std::memcpy(s_temporary, pattern.c_str(), pattern.size() + 1);
        int const fd = mkstemp(s_temporary);
        s_armed = fd >= 0;
        return fd;
    });
    return m_fd >= 0 && setDefaultPermissions(m_fd);
}

bool AtomicFile::write(void const* data, size_t size) {
    return writeAll(m_fd, data, size);
}

bool AtomicFile::commit() {
    bool const synced = fsync(m_fd) == 0;
    int const fd = std::exchange(m_fd, -1);
    if (close(fd) != 0 || !synced) return false;
    bool const renamed = withSignalsBlocked([this] {
        bool const done = std::rename(s_temporary, m_target.c_str()) == 0;
        if (done) s_armed = 0;
        return done;
    });
    if (!renamed) return false;
    restoreHandlers();
    m_created = false;
    return true;
}

void AtomicFile::discard() {
    if (!m_created) return;
    int const saved = errno;
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    withSignalsBlocked([] {
        if (s_armed) unlink(s_temporary);
        s_armed = 0;
        return 0;
    });
    restoreHandlers();
    m_created = false;
    errno = saved;
}

bool writeFileAtomically(std::string const& path, void const* data, size_t size, std::string& error) {
    std::string target;
    bool const written =
        followLinks(path, target) &&
        (isWrittenThrough(target) ? writeThrough(target, data, size) : replace(target, data, size));
    if (!written) error = path + ": " + std::strerror(errno);
    return written;
}

}  // namespace Qxas
