// Fuzzes Generic::locateFile: fuzzed names, name lengths, explicit search
// paths, extensions, environment variables and buffer sizes, searched in a
// small directory tree made at start-up (the working directory of the
// fuzzer). The buffer is allocated with exactly the size passed, so any
// write past it is caught by AddressSanitizer, and every result is checked
// against the contract: a found path fits the buffer with its NUL, is as
// long as reported and names a readable file that is not a directory.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "generic/LocateFile.h"
#include "generic/LocateFileCriteria.h"

namespace {

char const* const s_variable = "QX_FUZZ_DIRS";
std::size_t const s_max_passes = 4;

// Criteria whose passes (extension, variable, or none of them) come from
// the input; may have no pass at all.
class FuzzedCriteria : public Generic::LocateFileCriteria {
public:
    struct Pass {
        bool hasExtension;
        std::string extension;
        bool hasVariable;
        std::string variable;
    };

    explicit FuzzedCriteria(std::vector<Pass> passes) : m_passes(std::move(passes)) {}

    bool toFirst() override {
        m_current = 0;
        return !m_passes.empty();
    }
    bool toNext() override {
        if (m_current >= m_passes.size()) return false;
        return ++m_current < m_passes.size();
    }
    void found() override {}
    char const* extension() override {
        Pass const* pass = current();
        return pass && pass->hasExtension ? pass->extension.c_str() : nullptr;
    }
    char const* pathEnvVar() override {
        Pass const* pass = current();
        return pass && pass->hasVariable ? pass->variable.c_str() : nullptr;
    }
    char const* prefixSearchPath() override { return nullptr; }

private:
    Pass const* current() const { return m_current < m_passes.size() ? &m_passes[m_current] : nullptr; }

    std::vector<Pass> m_passes;
    std::size_t m_current = 0;
};

void makeFile(std::string const& path) {
    std::ofstream(path) << "x = 1\n";
}

// Names that the fuzzer tends to reach: the configuration file's name, a
// name with and without its extension, a directory that looks like a file.
void makeTree() {
    char pattern[] = "/tmp/qx_locate_fuzz_XXXXXX";
    if (mkdtemp(pattern) == nullptr || chdir(pattern) != 0) std::abort();
    static std::string const tree = pattern;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(tree, ignored);
    });
    mkdir("a", 0755);
    mkdir("a/b", 0755);
    mkdir("dir.cfg", 0755);
    makeFile("target_device.cfg");
    makeFile("a/x.cfg");
    makeFile("a/b/target_device");
    makeFile("a/b/y");
    makeFile("z.");
}

std::string variableName(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: return s_variable;
        case 1: return "HOME";
        case 2: return "";
        default: return input.ConsumeRandomLengthString(16);
    }
}

std::vector<FuzzedCriteria::Pass> passes(FuzzedDataProvider& input) {
    std::vector<FuzzedCriteria::Pass> result(input.ConsumeIntegralInRange<std::size_t>(0, s_max_passes));
    for (FuzzedCriteria::Pass& pass : result) {
        pass.hasExtension = input.ConsumeBool();
        pass.extension = input.ConsumeRandomLengthString(8);
        pass.hasVariable = input.ConsumeBool();
        pass.variable = variableName(input);
    }
    return result;
}

void checkResult(bool valid, char const* buffer, int bufferSize, int resultLength) {
    if (!valid) {
        if (resultLength != 0) std::abort();
        return;
    }
    if (resultLength == 0) {
        if (buffer[0] != '\0') std::abort();
        return;
    }
    if (resultLength < 0 || resultLength >= bufferSize) std::abort();
    if (std::strlen(buffer) != static_cast<std::size_t>(resultLength)) std::abort();
    struct stat info;
    if (stat(buffer, &info) != 0 || S_ISDIR(info.st_mode)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    makeTree();
    setenv("HOME", "a/b", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    FuzzedDataProvider input(data, size);
    int const bufferSize = input.ConsumeIntegralInRange<int>(-1, 300);
    bool const withCriteria = input.ConsumeBool();
    bool const singleSet = input.ConsumeBool();
    bool const withSearchPath = input.ConsumeBool();
    std::string const searchPath = input.ConsumeRandomLengthString(128);
    std::string const directories = input.ConsumeRandomLengthString(128);
    std::string const extension = input.ConsumeRandomLengthString(8);
    FuzzedCriteria criteria(passes(input));
    std::string const name = input.ConsumeRandomLengthString(1100);
    int const nameLength = input.ConsumeIntegralInRange<int>(-1, static_cast<int>(name.size()) + 2);

    setenv(s_variable, directories.c_str(), 1);
    // Exactly bufferSize bytes, so that the sanitizer sees any overrun.
    std::unique_ptr<char[]> buffer(bufferSize > 0 ? new char[bufferSize] : nullptr);
    char const* path = withSearchPath ? searchPath.c_str() : nullptr;
    int resultLength = -7;
    bool valid = false;
    if (singleSet) {
        valid = Generic::locateFile(buffer.get(), bufferSize, name.c_str(), nameLength, path, s_variable,
                                    extension.c_str(), &resultLength);
    } else {
        valid = Generic::locateFile(buffer.get(), bufferSize, withCriteria ? &criteria : nullptr,
                                    name.c_str(), nameLength, path, &resultLength);
    }
    checkResult(valid, buffer.get(), bufferSize, resultLength);
    // Without a result length the search must still work.
    if (bufferSize > 0)
        Generic::locateFile(buffer.get(), bufferSize, nullptr, name.c_str(), -1, path, nullptr);
    return 0;
}
