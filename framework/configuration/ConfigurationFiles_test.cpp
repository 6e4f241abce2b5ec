#include "configuration/SystemConfiguration.h"

#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

namespace {

using Configuration::ConfigurationFiles;
using Configuration::loadConfigurationFiles;

// QXPATH and HOME point into a fresh directory, and the working directory
// is another one (the search ends with the plain file name); all three are
// restored afterwards.
class ConfigurationFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (char const* name : {"QXPATH", "HOME"}) {
            if (char const* value = std::getenv(name)) m_saved[name] = value;
        }
        char cwd[4096];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        m_saved_cwd = cwd;
        ::setenv("QXPATH", m_system.path().c_str(), 1);
        ::setenv("HOME", m_home.path().c_str(), 1);
        ASSERT_EQ(::chdir(m_work.path().c_str()), 0);
    }
    void TearDown() override {
        EXPECT_EQ(::chdir(m_saved_cwd.c_str()), 0);
        for (char const* name : {"QXPATH", "HOME"}) {
            auto saved = m_saved.find(name);
            if (saved == m_saved.end())
                ::unsetenv(name);
            else
                ::setenv(name, saved->second.c_str(), 1);
        }
    }

    TestSupport::TemporaryDirectory m_system;
    TestSupport::TemporaryDirectory m_home;
    TestSupport::TemporaryDirectory m_work;
    std::map<std::string, std::string> m_saved;
    std::string m_saved_cwd;
};

std::string valueOf(Configuration::Properties& store, char const* key) {
    std::string value;
    return store.get(value, key) ? value : "(none)";
}

TEST_F(ConfigurationFilesTest, NoFileIsAnErrorNotAnExit) {
    ConfigurationFiles files;
    std::string error;
    m_home.write("target_device.cfg", "a = 1\n");  // a user file alone does not do
    EXPECT_FALSE(loadConfigurationFiles(nullptr, files, error));
    EXPECT_EQ(error, "No system config filename found.");
    EXPECT_EQ(files.system_file, "");
    EXPECT_EQ(files.user_file, "");
}

TEST_F(ConfigurationFilesTest, UserFileOverlaysTheSystemFile) {
    std::string const system = m_system.write("target_device.cfg", "a = 1\nb = 2\nc = 3\n");
    std::string const user = m_home.write("target_device.cfg", "b = 20\nc =\nd = 40\n");
    ConfigurationFiles files;
    std::string error;
    ASSERT_TRUE(loadConfigurationFiles(nullptr, files, error)) << error;
    EXPECT_EQ(files.system_file, system);
    EXPECT_EQ(files.user_file, user);
    ASSERT_TRUE(files.system && files.user);
    EXPECT_EQ(valueOf(*files.system, "b"), "2");
    Configuration::Properties merged = files.merged();
    // An empty user value does not hide the system's, as in a lookup.
    EXPECT_EQ(valueOf(merged, "a") + valueOf(merged, "b") + valueOf(merged, "c") + valueOf(merged, "d"),
              "120340");
}

TEST_F(ConfigurationFilesTest, SearchOrderAndFailures) {
    struct Case {
        char const* name;
        char const* named;  // the file given by the caller, if any
        char const* system;
        char const* user;
        char const* plain;  // a file under the plain name in the working directory
        bool ok;
        bool userRead;
        std::string systemValue;  // of the key "a" in the system file read
        std::string value;        // of the key "a" after merging
        std::string errorStart;
    } const cases[] = {
        // The user's lookup, too, ends with the plain name when HOME has none.
        {"QXPATH before the plain name", nullptr, "a = 1\n", nullptr, "a = 2\n", true, true, "1", "2", ""},
        {"the plain name when QXPATH has none", nullptr, nullptr, nullptr, "a = 2\n", true, true, "2", "2",
         ""},
        {"HOME before the plain name", nullptr, nullptr, "a = 3\n", "a = 2\n", true, true, "2", "3", ""},
        {"an unreadable system file", nullptr, "broken\n", "a = 3\n", nullptr, false, false, "", "",
         "Syntax error"},
        {"an unreadable user file is ignored", nullptr, "a = 1\n", "broken\n", nullptr, true, false, "1", "1",
         ""},
        {"a named file stands alone", "named.cfg", "a = 1\n", "a = 3\n", nullptr, true, false, "9", "9", ""},
        {"a named file that is missing", "missing.cfg", "a = 1\n", nullptr, nullptr, false, false, "", "",
         "Failed to read from missing.cfg"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        for (auto [directory, text] :
             {std::pair{&m_system, c.system}, {&m_home, c.user}, {&m_work, c.plain}}) {
            ::unlink(directory->file("target_device.cfg").c_str());
            if (text) directory->write("target_device.cfg", text);
        }
        m_work.write("named.cfg", "a = 9\n");
        ConfigurationFiles files;
        std::string error;
        EXPECT_EQ(loadConfigurationFiles(c.named, files, error), c.ok);
        EXPECT_EQ(error.rfind(c.errorStart, 0), 0u) << error;
        EXPECT_EQ(files.user != nullptr, c.userRead);
        EXPECT_EQ(files.user_file.empty(), !c.userRead);
        if (!c.ok) continue;
        EXPECT_EQ(valueOf(*files.system, "a"), c.systemValue);
        Configuration::Properties merged = files.merged();
        EXPECT_EQ(valueOf(merged, "a"), c.value);
    }
}

TEST(SystemPrefix, ResolvesWithoutPrinting) {
    std::map<std::string, std::string> values = {
        {"chip-id", "7"}, {"system.chip-ids", "4,7"},       {"system.chips", "chip0,chip1"},
        {"node-id", "3"}, {"system.chip1.node-ids", "3,0"}, {"system.chip1.nodes", "core0,mem0"},
    };
    Configuration::KeyLookup const lookup = [&values](std::string& value, char const* key) {
        auto found = values.find(key);
        if (found == values.end()) return false;
        value = found->second;
        return true;
    };
    std::string prefix;
    std::string error;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(Configuration::systemPrefix(lookup, prefix, error)) << error;
    EXPECT_EQ(prefix, "system.chip1.core0.");
    values.erase("system.chip1.nodes");
    EXPECT_FALSE(Configuration::systemPrefix(lookup, prefix, error));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(prefix, "system.chip1.");
    EXPECT_EQ(error, "Could not find the current system.chip1.nodes value for 3");
}

}  // namespace
