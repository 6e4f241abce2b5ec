// Waiting for a state that the files of a directory show: the condition
// is checked again whenever a file in the directory is written, created
// or closed, and never on a timer, until it holds or the time is up.
#ifndef TESTS_SUPPORT_DIRECTORYCHANGES_H
#define TESTS_SUPPORT_DIRECTORYCHANGES_H

#include <chrono>
#include <functional>
#include <string>

namespace TestSupport {

class DirectoryChanges {
public:
    // Watches the directory from now on; throws std::runtime_error when
    // it cannot.
    explicit DirectoryChanges(std::string const& directory);
    ~DirectoryChanges();
    DirectoryChanges(DirectoryChanges const&) = delete;
    DirectoryChanges& operator=(DirectoryChanges const&) = delete;

    // True as soon as condition holds; false when it does not within limit.
    bool waitFor(std::function<bool()> const& condition, std::chrono::milliseconds limit);

private:
    int m_fd;
};

}  // namespace TestSupport

#endif  // TESTS_SUPPORT_DIRECTORYCHANGES_H
