// The boundaries between the built libraries, read from their dynamic
// sections and symbol tables: what each needs, what each exports, and the
// versioned sonames of the framework and the host-API library.
#include <gtest/gtest.h>

#ifdef QX_HOSTAPI_PATH

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "qxapi/qxapi.h"
#include "tests/support/ElfRunPath.h"

using TestSupport::ElfDynamic;
using TestSupport::ElfKind;

namespace {

char const* const k_framework = "libqxframework.so.1";
char const* const k_hostapi = "libqxapi.so.1";

ElfDynamic readLinked(std::string const& path) {
    ElfDynamic dynamic;
    std::string error;
    EXPECT_EQ(TestSupport::readDynamic(path, dynamic, error), ElfKind::Linked) << path << ": " << error;
    return dynamic;
}

TEST(Libraries, TheSharedLibrariesHaveVersionedSonames) {
    struct Case {
        char const* path;
        char const* soname;
    } const cases[] = {
        {QX_FRAMEWORK_PATH, k_framework},
        {QX_HOSTAPI_PATH, k_hostapi},
    };
    for (Case const& c : cases) EXPECT_EQ(readLinked(c.path).soname, c.soname) << c.path;
}

// The host libraries carry what they use of the framework inside them, and
// only qxrun (among the tools) drives the card through the host API.
TEST(Libraries, EachBinaryNeedsOnlyTheLibrariesOfItsLayer) {
    struct Case {
        char const* path;
        std::vector<std::string> needs;
        std::vector<std::string> needsNot;
    } const cases[] = {
        {QX_HOSTLIB_DIRECT_PATH, {}, {k_framework, k_hostapi}},
        {QX_HOSTLIB_TRACE_PATH, {}, {k_framework, k_hostapi}},
        {QX_HOSTLIB_DEBUGGER_PATH, {}, {k_framework, k_hostapi}},
        {QX_HOSTAPI_PATH, {}, {k_framework}},
        {QX_FRAMEWORK_PATH, {}, {k_hostapi}},
        {QXRUN_PATH, {k_framework, k_hostapi}, {}},
        {QXAS_PATH, {k_framework}, {k_hostapi}},
        {QXSIM_PATH, {k_framework}, {k_hostapi}},
    };
    for (Case const& c : cases) {
        std::vector<std::string> const needed = readLinked(c.path).needed;
        auto const needs = [&](std::string const& name) {
            return std::find(needed.begin(), needed.end(), name) != needed.end();
        };
        for (std::string const& name : c.needs)
            EXPECT_TRUE(needs(name)) << c.path << " does not need " << name;
        for (std::string const& name : c.needsNot) EXPECT_FALSE(needs(name)) << c.path << " needs " << name;
    }
}

// Exactly the entry points of the list, and the three binding operations
// that qxapi.h declares beside them.
TEST(Libraries, TheHostApiLibraryExportsTheEntryPointsAndNothingElse) {
    std::set<std::string> expected = {"loadLibStub", "__protected_loadLibStub", "unloadLibStub"};
#define QXAPI_PUBLIC(ret, name, params, args, kind) expected.insert("QXAPI_" #name);
#define QXAPI_PRIVATE(ret, name, params, args, guard) expected.insert("__qxapi_" #name);
#include "qxapi/qxapi_entry_points.def"
#undef QXAPI_PUBLIC
#undef QXAPI_PRIVATE
    ASSERT_EQ(expected.size(), 3u + 50u + 13u);
    std::vector<std::string> const exports = readLinked(QX_HOSTAPI_PATH).exports;
    EXPECT_EQ(std::set<std::string>(exports.begin(), exports.end()), expected);
}

// The framework exports its classes and functions, but neither an entry
// point of the host API nor anything internal to it.
TEST(Libraries, TheFrameworkExportsItsInterfaceOnly) {
    struct Case {
        char const* what;
        char const* fragment;  // of a mangled name
    } const forbidden[] = {
        {"a public entry point", "QXAPI_"},
        {"a private entry point", "__qxapi_"},
        {"a binding slot", "HostApi"},
        {"an anonymous-namespace helper", "_GLOBAL__N_"},
        {"the text stream of the properties reader", "TextStreamBuffer"},
        {"the file search of locateFile", "6Search"},
    };
    std::vector<std::string> const exports = readLinked(QX_FRAMEWORK_PATH).exports;
    for (Case const& c : forbidden) {
        for (std::string const& name : exports)
            EXPECT_EQ(name.find(c.fragment), std::string::npos) << c.what << " is exported: " << name;
    }
    auto const exported = [&](std::string const& name) {
        return std::find(exports.begin(), exports.end(), name) != exports.end();
    };
    EXPECT_TRUE(exported("_ZTIN7Generic9ExceptionE")) << "typeinfo for Generic::Exception";
    EXPECT_TRUE(exported("_ZN13Configuration10PropertiesC1Ev")) << "Configuration::Properties::Properties()";
}

}  // namespace

#endif  // QX_HOSTAPI_PATH
