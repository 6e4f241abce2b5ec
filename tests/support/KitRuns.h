// Helpers of the end-to-end tests that run the real qxrun on the kit's
// reference host libraries: the sample programs assembled into a
// temporary directory, and qxrun started the way a user starts it, finding
// the host library through its run path. Needs the compile definitions
// QXRUN_PATH, QX_KIT_EXAMPLES_DIR and QX_HOSTLIB_LIBRARY_DIR of the
// end-to-end test binary.
#ifndef TESTS_SUPPORT_KITRUNS_H
#define TESTS_SUPPORT_KITRUNS_H

#include "assembler/Assembler.h"
#include "qxx/QxxWriter.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace TestSupport {

using Environment = std::vector<std::pair<std::string, std::string>>;

// What qxrun prints for each sample program of examples/ (the reduction
// for the 64 PEs of the example configuration).
struct ExampleResult {
    char const* name;
    char const* out;
};
inline ExampleResult const k_exampleResults[] = {
    {"constant", "Return value = 42\n"},     {"loop", "Return value = 5050\n"},
    {"negative", "Return value = -7\n"},     {"semaphores", "Return value = 31\n"},
    {"reduction", "Return value = 85344\n"},
};

inline std::string readFile(std::string const& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string exampleFile(std::string const& name) {
    return readFile(std::string(QX_KIT_EXAMPLES_DIR) + "/" + name);
}

// Assembles source text (or examples/NAME.qxs when source is empty) into
// NAME.qxx of the directory and gives its path.
inline std::string assembleProgram(TemporaryDirectory const& directory, std::string const& name,
                                   std::string const& source = std::string()) {
    std::string const text = source.empty() ? exampleFile(name + ".qxs") : source;
    Qxx::QxxImage image;
    std::vector<std::string> errors;
    EXPECT_TRUE(Assembler::assemble({{name + ".qxs", text}}, Assembler::AssemblerOptions(), image, errors));
    std::string const path = directory.file(name + ".qxx");
    std::string error;
    EXPECT_TRUE(Qxx::writeQxxFile(path, image, error)) << error;
    return path;
}

// A tool of the kit (program) in the directory (also HOME), with the
// configuration found along qxpath and the host library found through the
// run path; the caller adds what else the run needs.
inline Subprocess kitTool(char const* program, TemporaryDirectory const& directory, std::string const& qxpath,
                          std::vector<std::string> const& arguments) {
    using namespace std::chrono_literals;
    Subprocess run(program);
    run.args(arguments)
        .env("HOME", directory.path())
        .env("QXPATH", qxpath)
        .workingDirectory(directory.path())
        .timeout(60s);
#ifdef QX_KIT_SANITIZED
    // The sanitizers' dlopen interceptor hides the framework's run path
    // from the dynamic loader; sanitized builds name the directory.
    run.env("LD_LIBRARY_PATH", QX_HOSTLIB_LIBRARY_DIR);
#else
    run.unsetEnv("LD_LIBRARY_PATH");
#endif
    return run;
}

// qxrun, run as kitTool says, with more environment variables.
inline Subprocess::Result runQxrun(TemporaryDirectory const& directory, std::string const& qxpath,
                                   std::vector<std::string> const& arguments,
                                   Environment const& environment = {}) {
    Subprocess run = kitTool(QXRUN_PATH, directory, qxpath, arguments);
    for (auto const& [name, value] : environment) run.env(name, value);
    return run.run();
}

// What qxrun prints when the reference host library cannot connect to
// host, for the reason the library gives (the part after "       ").
inline std::string connectFailureOut(std::string const& host, std::string const& reason) {
    return "Error: cannot connect to instance 0 on host " + host + "\n       " + reason +
           "\nCannot register application on chip 0\nReturn value = 0\n";
}

}  // namespace TestSupport

#endif
