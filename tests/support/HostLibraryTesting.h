// Helpers of the host library's unit tests: programs assembled into qxx
// files of a temporary directory, a clean environment for the library,
// and a handle connected to the embedded simulator.
#ifndef TESTS_SUPPORT_HOSTLIBRARYTESTING_H
#define TESTS_SUPPORT_HOSTLIBRARYTESTING_H

#include "assembler/Assembler.h"
#include "hostlib/Impl.h"
#include "qxx/QxxWriter.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace HostLibTest {

using namespace HostLib::Impl;

// The library reads these at connect and run; each test starts without them.
inline void clearLibraryEnvironment(std::string const& home) {
    for (char const* name : {"QX_SIM_CYCLE_LIMIT", "QX_SIM_CHIPS", "QX_QXAPI_TRACE", "QX_DEVICE_DIR"})
        ::unsetenv(name);
    ::setenv("QXPATH", home.c_str(), 1);
    ::setenv("HOME", home.c_str(), 1);
}

// Assembles source into directory/name.qxx and returns its path.
inline std::string writeProgram(TestSupport::TemporaryDirectory const& directory, std::string const& name,
                                std::string const& source) {
    Qxx::QxxImage image;
    std::vector<std::string> errors;
    EXPECT_TRUE(Assembler::assemble({{name + ".qxs", source}}, Assembler::AssemblerOptions(), image, errors));
    std::string const path = directory.file(name + ".qxx");
    std::string error;
    EXPECT_TRUE(Qxx::writeQxxFile(path, image, error)) << error;
    return path;
}

inline std::string errorString(QXAPI_handle handle, int code) {
    char text[200] = {};
    do_get_error_string(handle, code, text, sizeof text);
    return text;
}

// A handle connected to the embedded simulator, deleted at the end.
class Connected {
public:
    Connected() : m_handle(do_new(QXAPI_LOAD_DIRECT)) {
        EXPECT_EQ(do_connect(m_handle, "localhost", 0), QXAPI_OK);
        EXPECT_EQ(do_register_application(m_handle, 0), QXAPI_OK);
    }
    ~Connected() { do_delete(m_handle); }
    Connected(Connected const&) = delete;
    Connected& operator=(Connected const&) = delete;

    QXAPI_handle get() const { return m_handle; }

private:
    QXAPI_handle m_handle;
};

char const* const s_constant = ".code\nmain:\n li r1, 42\n halt r1\n";
char const* const s_endless = ".code\nmain:\n jmp main\n";

}  // namespace HostLibTest

#endif  // TESTS_SUPPORT_HOSTLIBRARYTESTING_H
