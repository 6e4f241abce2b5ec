// Waiting on a directory: a state that a file written later brings is
// seen when the file is written; a state that never comes ends the wait
// at its limit.
#include "tests/support/DirectoryChanges.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/TemporaryDirectory.h"

namespace {

using TestSupport::DirectoryChanges;
using TestSupport::TemporaryDirectory;
using namespace std::chrono_literals;

TEST(DirectoryChanges, AStateIsSeenWhenAFileBringsItAndNotBefore) {
    TemporaryDirectory directory;
    DirectoryChanges changes(directory.path());
    int checks = 0;
    std::thread writer([&directory] { directory.write("log", "ready\n"); });
    EXPECT_TRUE(changes.waitFor(
        [&] {
            ++checks;
            return directory.read("log") == "ready\n";
        },
        120s));
    writer.join();
    // Checked once before the write, then only after changes of the file.
    EXPECT_GE(checks, 1);
    EXPECT_LE(checks, 4);
    EXPECT_TRUE(changes.waitFor([&] { return directory.exists("log"); }, 0ms));
}

TEST(DirectoryChanges, AStateThatNeverComesEndsTheWaitAtItsLimit) {
    TemporaryDirectory directory;
    DirectoryChanges changes(directory.path());
    int checks = 0;
    EXPECT_FALSE(changes.waitFor(
        [&] {
            ++checks;
            return false;
        },
        50ms));
    // Nothing changed in the directory: checked at the start and once more
    // at the limit, never on a timer in between.
    EXPECT_EQ(checks, 2);
}

}  // namespace
