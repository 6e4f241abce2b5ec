// Run paths: the reader that checks every built and installed binary, and
// qxrun started in a directory where libraries it needs are planted.
#include <gtest/gtest.h>

#ifdef QXRUN_PATH

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/ElfRunPath.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TestTexts.h"

namespace fs = std::filesystem;
using TestSupport::ElfKind;
using TestSupport::Subprocess;
using TestSupport::TemporaryDirectory;
using namespace std::chrono_literals;

namespace {

TEST(RunPath, EmptyAndRelativeElementsAreUnanchored) {
    struct Case {
        char const* runPath;
        std::vector<std::string> unanchored;
    } const cases[] = {
        {"$ORIGIN/../lib", {}},
        {"$ORIGIN", {}},
        {"${ORIGIN}/x:/usr/lib", {}},
        {"$ORIGIN/../lib:", {""}},
        {":/usr/lib", {""}},
        {"/a::/b", {""}},
        {"", {""}},
        {"lib:.:../lib", {"lib", ".", "../lib"}},
        {"$ORIGINAL/x:$LIB/x", {"$ORIGINAL/x", "$LIB/x"}},
    };
    for (Case const& c : cases) {
        EXPECT_EQ(TestSupport::unanchoredRunPathElements(c.runPath), c.unanchored) << c.runPath;
    }
}

TEST(RunPath, ReaderFindsTheRunPathsOfTheBuiltBinaries) {
    TemporaryDirectory directory;
    struct Case {
        std::string path;
        ElfKind kind;
        std::vector<std::string> runPaths;
    } const cases[] = {
        {QXRUN_PATH, ElfKind::Linked, {"$ORIGIN/../lib"}},
        {QX_HOSTAPI_PATH, ElfKind::Linked, {"$ORIGIN"}},
        {QX_FRAMEWORK_PATH, ElfKind::Linked, {}},
        {directory.write("text", "not ELF\n"), ElfKind::NotElf, {}},
    };
    for (Case const& c : cases) {
        std::vector<std::string> runPaths;
        std::string error;
        EXPECT_EQ(TestSupport::readRunPaths(c.path, runPaths, error), c.kind) << c.path << ": " << error;
        EXPECT_EQ(runPaths, c.runPaths) << c.path;
    }
}

// A kit whose lib/ holds the framework and the host-API library but no
// host library (as where the host libraries are installed in a system
// directory), run in a directory that holds a library announcing itself
// under the names of the host library and of libraries qxrun links:
// nothing is taken from there.
TEST(RunPath, QxrunLoadsNoLibraryFromItsWorkingDirectory) {
    TemporaryDirectory kit;
    kit.write("bin/.keep", "");
    kit.write("lib/.keep", "");
    fs::copy_file(QXRUN_PATH, kit.file("bin/qxrun"));
    fs::copy_file(QX_FRAMEWORK_PATH, kit.file(std::string("lib/") + QX_FRAMEWORK_SONAME));
    fs::copy_file(QX_HOSTAPI_PATH, kit.file(std::string("lib/") + QX_HOSTAPI_SONAME));
    struct Case {
        char const* name;
        std::vector<std::string> planted;
    } const cases[] = {
        {"the host library qxrun opens", {"liborvald_lib_direct.so"}},
        {"libraries qxrun links",
         {"libgcc_s.so.1", "libstdc++.so.6", QX_FRAMEWORK_SONAME, QX_HOSTAPI_SONAME}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryDirectory work;
        work.write("target_device.cfg", TestSupport::k_systemConfiguration);
        work.write("program.qxx", "not really a qxx executable\n");
        for (std::string const& name : c.planted) fs::copy_file(QX_PLANTED_LIBRARY_PATH, work.file(name));
        Subprocess::Result const result = Subprocess(kit.file("bin/qxrun"))
                                              .argv0("qxrun")
                                              .args({"--sim", "program.qxx"})
                                              .env("HOME", work.file("home"))
                                              .workingDirectory(work.path())
                                              .timeout(60s)
                                              .run();
        ASSERT_EQ(result.error, "");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out,
                  "Error : failed to load shared library.\n"
                  " liborvald_lib_direct.so: cannot open shared object file: No such file or directory\n"
                  "Failed to create user handle to the driver API.\n"
                  "Return value = 0\n");
        EXPECT_EQ(result.exit_status, 0);
    }
}

}  // namespace

#endif  // QXRUN_PATH
