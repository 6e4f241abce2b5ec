#include "generic/LocateFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/ScopedVariable.h"
#include "tests/support/TemporaryDirectory.h"

namespace fs = std::filesystem;

namespace {

char const* const s_variable = "QX_LOCATE_FILE_TEST_PATH";

// A temporary directory tree, removed with everything in it.
class Tree {
public:
    std::string const& root() const { return m_root; }
    std::string path(std::string const& relative) const { return m_root + "/" + relative; }

    // An entry ending in "/" is a directory, one ending in "|" a FIFO
    // (without the "|"), anything else an empty file.
    void add(std::string const& relative) {
        fs::path const entry = path(relative);
        if (relative.back() == '/') {
            fs::create_directories(entry);
            return;
        }
        fs::create_directories(entry.parent_path());
        if (relative.back() == '|') {
            mkfifo(path(relative.substr(0, relative.size() - 1)).c_str(), 0600);
            return;
        }
        std::ofstream(entry.string()).put('\n');
    }

    // "~" stands for the root, so that cases can name paths in the tree.
    std::string expand(std::string text) const {
        for (std::size_t at = text.find('~'); at != std::string::npos;
             at = text.find('~', at + m_root.size())) {
            text.replace(at, 1, m_root);
        }
        return text;
    }
    std::string abbreviate(std::string text) const {
        return text.compare(0, m_root.size(), m_root) == 0 ? "~" + text.substr(m_root.size()) : text;
    }

private:
    TestSupport::TemporaryDirectory m_directory;
    std::string const& m_root = m_directory.path();
};

using TestSupport::ScopedVariable;

class ScopedWorkingDirectory {
public:
    explicit ScopedWorkingDirectory(std::string const& directory) : m_old(fs::current_path()) {
        fs::current_path(directory);
    }
    ~ScopedWorkingDirectory() { fs::current_path(m_old); }

private:
    fs::path m_old;
};

struct Result {
    bool valid;
    std::string path;  // empty when not found
};

Result locate(char const* name, char const* searchPath, char const* extension, int bufferSize = 2046) {
    std::vector<char> buffer(static_cast<std::size_t>(bufferSize), 'X');
    int length = -1;
    bool valid =
        Generic::locateFile(buffer.data(), bufferSize, name, -1, searchPath, s_variable, extension, &length);
    EXPECT_EQ(static_cast<int>(std::strlen(buffer.data())), length) << name;
    return {valid, buffer.data()};
}

// Walks a fixed list of passes and logs what the search asks of it.
class ScriptedCriteria : public Generic::LocateFileCriteria {
public:
    explicit ScriptedCriteria(std::vector<char const*> extensions) : m_extensions(std::move(extensions)) {}
    bool toFirst() override {
        m_log += "first ";
        m_pass = 0;
        return !m_extensions.empty();
    }
    bool toNext() override {
        m_log += "next ";
        return ++m_pass < m_extensions.size();
    }
    void found() override { m_log += "found "; }
    char const* extension() override { return m_extensions.at(m_pass); }
    char const* pathEnvVar() override { return nullptr; }
    char const* prefixSearchPath() override { return nullptr; }
    std::string const& log() const { return m_log; }

private:
    std::vector<char const*> m_extensions;
    std::size_t m_pass = 0;
    std::string m_log;
};

}  // namespace

TEST(LocateFile, SearchesDirectoriesThenTheNameAlone) {
    struct Case {
        char const* name;
        char const* searchPath;
        char const* variable;
        char const* extension;
        std::vector<std::string> entries;
        char const* found;  // "~" is the tree, relative paths are in the working directory
    };
    Case const cases[] = {
        {"n", nullptr, "~/A:~/B", ".cfg", {"B/n", "A/n.cfg"}, "~/A/n.cfg"},
        {"n", nullptr, "~/A:~/B", ".cfg", {"A/n", "A/n.cfg"}, "~/A/n"},
        {"n", nullptr, "~/A:~/B", ".cfg", {"B/n.cfg", "n"}, "~/B/n.cfg"},
        {"n", nullptr, "~/A:~/B", ".cfg", {"n", "n.cfg"}, "n"},
        {"n", nullptr, "~/A:~/B", ".cfg", {"n.cfg"}, ""},
        {"n", nullptr, nullptr, ".cfg", {"n.cfg"}, "n.cfg"},
        {"n", nullptr, "", ".cfg", {"n.cfg"}, "n.cfg"},
        {"n", "~/C", "~/A", ".cfg", {"A/n", "C/n"}, "~/C/n"},
        {"n", "~/C", "~/A", ".cfg", {"A/n"}, "~/A/n"},
        {"n", nullptr, ":~/A::~/B:", ".cfg", {"B/n"}, "~/B/n"},
        {"n", nullptr, ":", ".cfg", {"n"}, "n"},
        {"n", nullptr, "~/A/", ".cfg", {"A/n"}, "~/A/n"},
        {"n", nullptr, "~/A:~/B", ".cfg", {"A/n/", "B/n"}, "~/B/n"},
        {"n", nullptr, "~/A:~/B", ".cfg", {"A/n|", "B/n"}, "~/B/n"},
        {"n", nullptr, nullptr, ".cfg", {"n|", "n.cfg"}, "n.cfg"},
        {"sub/n", nullptr, "~/A", ".cfg", {"A/sub/n"}, ""},
        {"sub/n", nullptr, "~/A", ".cfg", {"A/sub/n", "sub/n.cfg"}, "sub/n.cfg"},
        {"n", nullptr, "~/A", "cfg", {"A/n.cfg"}, "~/A/n.cfg"},
        {"n.", nullptr, "~/A", ".cfg", {"A/n.cfg"}, "~/A/n.cfg"},
        {"n.", nullptr, nullptr, nullptr, {"n."}, "n."},
        {"n.", nullptr, nullptr, "", {"n."}, "n."},
    };
    for (auto const& c : cases) {
        Tree tree;
        for (auto const& entry : c.entries) tree.add(entry);
        ScopedWorkingDirectory inTree(tree.root());
        ScopedVariable variable(s_variable,
                                c.variable == nullptr ? nullptr : tree.expand(c.variable).c_str());
        std::string const searchPath = tree.expand(c.searchPath == nullptr ? "" : c.searchPath);
        Result result = locate(c.name, c.searchPath == nullptr ? nullptr : searchPath.c_str(), c.extension);
        EXPECT_TRUE(result.valid);
        EXPECT_EQ(c.found, tree.abbreviate(result.path))
            << c.name << " along " << (c.variable ? c.variable : "(unset)") << " with " << c.entries.size()
            << " entries";
    }
}

TEST(LocateFile, FindsTheUserFileUnderHome) {
    Tree tree;
    tree.add("target_device.cfg");
    ScopedVariable home("HOME", tree.root().c_str());
    char buffer[2046];
    int length = 0;
    char const* name = "target_device.cfg";
    EXPECT_TRUE(Generic::locateFile(buffer, sizeof buffer, name, static_cast<int>(std::strlen(name)), nullptr,
                                    "HOME", ".cfg", &length));
    EXPECT_EQ(tree.path(name), buffer);
    EXPECT_EQ(static_cast<int>(tree.path(name).size()), length);
}

TEST(LocateFile, RejectsInvalidArguments) {
    Tree tree;
    tree.add("n");
    ScopedWorkingDirectory inTree(tree.root());
    std::string const longest(1023, 'a');
    std::string const tooLong(1024, 'a');
    char storage[64];
    struct Case {
        char* buffer;
        int size;
        char const* name;
        int nameLength;
        bool valid;
        char const* found;
    };
    Case const cases[] = {
        {nullptr, 64, "n", -1, false, ""},
        {storage, 0, "n", -1, false, ""},
        {storage, -1, "n", -1, false, ""},
        {storage, 64, "", -1, false, ""},
        {storage, 64, nullptr, -1, false, ""},
        {storage, 64, "n", 0, false, ""},
        {storage, 64, tooLong.c_str(), -1, false, ""},
        {storage, 64, longest.c_str(), -1, true, ""},
        {storage, 64, "nXYZ", 1, true, "n"},
        {storage, 64, "n", 30, true, "n"},
    };
    int row = 0;
    for (auto const& c : cases) {
        std::strcpy(storage, "stale");
        int length = 99;
        bool valid = Generic::locateFile(c.buffer, c.size, nullptr, c.name, c.nameLength, nullptr, &length);
        EXPECT_EQ(c.valid, valid) << "row " << row;
        EXPECT_EQ(static_cast<int>(std::strlen(c.found)), length) << "row " << row;
        if (c.buffer != nullptr && c.size > 0) {
            EXPECT_STREQ(c.found, storage) << "row " << row;
        }
        ++row;
    }
}

TEST(LocateFile, CandidateLongerThanTheBufferIsSkipped) {
    Tree tree;
    tree.add("a-long-directory-name/n");
    tree.add("B/n");
    ScopedVariable variable(s_variable, tree.expand("~/a-long-directory-name:~/B").c_str());
    int const fits = static_cast<int>(tree.path("B/n").size()) + 1;

    EXPECT_EQ(tree.path("B/n"), locate("n", nullptr, nullptr, fits).path);

    std::vector<char> buffer(256, 'X');
    int length = -1;
    EXPECT_TRUE(Generic::locateFile(buffer.data(), fits - 1, "n", -1, nullptr, s_variable, nullptr, &length));
    EXPECT_EQ(0, length);
    EXPECT_EQ('\0', buffer[0]);
    for (std::size_t k = static_cast<std::size_t>(fits - 1); k < buffer.size(); ++k)
        ASSERT_EQ('X', buffer[k]);
}

TEST(LocateFile, WalksEveryPassAndReportsTheFind) {
    struct Case {
        char const* name;
        std::vector<char const*> extensions;
        std::vector<std::string> entries;
        char const* found;
        char const* log;
    };
    Case const cases[] = {
        {"n", {nullptr, ".cfg"}, {"n.cfg"}, "n.cfg", "first next next first next found "},
        {"n.", {nullptr, ".cfg"}, {"n"}, "n", "first next next first found "},
        {"n", {nullptr, nullptr}, {"n.cfg"}, "", "first next next first next next "},
        {"n", {}, {"n"}, "n", "first first found "},
    };
    for (auto const& c : cases) {
        Tree tree;
        for (auto const& entry : c.entries) tree.add(entry);
        ScopedWorkingDirectory inTree(tree.root());
        ScriptedCriteria criteria(c.extensions);
        char buffer[64];
        int length = -1;
        EXPECT_TRUE(Generic::locateFile(buffer, sizeof buffer, &criteria, c.name, -1, nullptr, &length));
        EXPECT_STREQ(c.found, buffer) << c.log;
        EXPECT_EQ(c.log, criteria.log());
    }
}

TEST(LocateFile, WithoutCriteriaOnlyTheNameItselfIsTried) {
    Tree tree;
    tree.add("A/n");
    tree.add("n.cfg");
    ScopedWorkingDirectory inTree(tree.root());
    char buffer[64];
    int length = -1;
    EXPECT_TRUE(
        Generic::locateFile(buffer, sizeof buffer, nullptr, "n", -1, tree.path("A").c_str(), &length));
    EXPECT_EQ(0, length);
    EXPECT_STREQ("", buffer);
}

// An empty directory entry must not turn the name into a path under "/",
// which is observable only when "/" holds a file of that name.
TEST(LocateFile, EmptyDirectoryEntryIsNotTheRootDirectory) {
    std::string rootFile;
    for (auto const& entry : fs::directory_iterator("/")) {
        if (entry.is_regular_file()) rootFile = entry.path().filename().string();
        if (!rootFile.empty()) break;
    }
    if (rootFile.empty()) GTEST_SKIP() << "no regular file in /";
    Tree tree;
    tree.add("A/" + rootFile);
    for (char const* variable : {"::~/A", "~/B::~/A"}) {
        ScopedVariable path(s_variable, tree.expand(variable).c_str());
        EXPECT_EQ("~/A/" + rootFile, tree.abbreviate(locate(rootFile.c_str(), nullptr, nullptr).path))
            << variable;
    }
}
