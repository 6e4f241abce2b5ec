#include "tests/support/DirectoryChanges.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace TestSupport {

DirectoryChanges::DirectoryChanges(std::string const& directory)
    : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (m_fd < 0) throw std::runtime_error("inotify_init1 failed");
    if (inotify_add_watch(m_fd, directory.c_str(), IN_MODIFY | IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO) <
        0) {
        close(m_fd);
        throw std::runtime_error("cannot watch " + directory);
    }
}

DirectoryChanges::~DirectoryChanges() {
    close(m_fd);
}

bool DirectoryChanges::waitFor(std::function<bool()> const& condition, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point const deadline = Clock::now() + limit;
    // The events are taken before the condition is checked: a change made
    // after the check is still waiting in the queue.
    for (;;) {
        char events[4096];
        while (read(m_fd, events, sizeof events) > 0) {}
        if (condition()) return true;
        auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd changed{m_fd, POLLIN, 0};
        if (poll(&changed, 1, int(left.count())) < 0 && errno != EINTR) return false;
    }
}

}  // namespace TestSupport
