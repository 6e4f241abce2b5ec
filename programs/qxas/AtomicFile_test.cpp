// A signal that ends qxas while it writes its output removes the
// temporary file; a failed write removes it too and keeps the old file.
#include "qxas/AtomicFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/TemporaryDirectory.h"

namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override { m_temporary.write("out.qxx", "old"); }

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (auto const& entry : std::filesystem::directory_iterator(m_directory))
            names.push_back(entry.path().filename().string());
        return names;
    }

    std::string content() const {
        std::ifstream file(m_directory + "/out.qxx");
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    TestSupport::TemporaryDirectory m_temporary;
    std::string const m_directory = m_temporary.path();
};

using AtomicFileDeathTest = AtomicFileTest;

TEST_F(AtomicFileDeathTest, AnEndingSignalRemovesTheTemporaryFileAndEndsTheProcess) {
    for (int const number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(number);
        std::string const target = m_directory + "/out.qxx";
        EXPECT_EXIT(
            {
                Qxas::AtomicFile file(target);
                if (file.create() && file.write("partial", 7)) std::raise(number);
                std::_Exit(0);
            },
            ::testing::KilledBySignal(number), "");
        EXPECT_EQ(std::vector<std::string>{"out.qxx"}, entries());
        EXPECT_EQ("old", content());
    }
}

TEST_F(AtomicFileTest, ACommittedFileReplacesTheOldAndAnAbandonedOneGoes) {
    std::string const target = m_directory + "/out.qxx";
    {
        Qxas::AtomicFile file(target);
        ASSERT_TRUE(file.create() && file.write("partial", 7));
        EXPECT_EQ(2u, entries().size());
    }
    EXPECT_EQ(std::vector<std::string>{"out.qxx"}, entries());
    EXPECT_EQ("old", content());
    Qxas::AtomicFile file(target);
    ASSERT_TRUE(file.create() && file.write("new", 3) && file.commit());
    EXPECT_EQ(std::vector<std::string>{"out.qxx"}, entries());
    EXPECT_EQ("new", content());
}

}  // namespace
