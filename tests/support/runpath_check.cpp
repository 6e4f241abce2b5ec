// qx_runpath_check DIRECTORY...
//
// Walks the directories (a build tree, an installed prefix) and checks
// the run path of every ELF executable and shared library in them: each
// element must be absolute or start with $ORIGIN. Prints each offender
// with its run path and the number of binaries checked; exits with 1 when
// there is an offender, an unreadable binary or no binary at all.
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "tests/support/ElfRunPath.h"

namespace fs = std::filesystem;
using TestSupport::ElfKind;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: qx_runpath_check DIRECTORY...\n";
        return 2;
    }
    int checked = 0;
    int failures = 0;
    for (int argument = 1; argument < argc; ++argument) {
        std::error_code error;
        for (fs::recursive_directory_iterator it(argv[argument], error), end; !error && it != end;
             it.increment(error)) {
            if (it->is_symlink() || !it->is_regular_file()) continue;
            std::string const path = it->path().string();
            std::vector<std::string> runPaths;
            std::string reason;
            ElfKind const kind = TestSupport::readRunPaths(path, runPaths, reason);
            if (kind == ElfKind::NotElf || kind == ElfKind::NotLinked) continue;
            ++checked;
            if (kind == ElfKind::Unreadable) {
                std::cout << path << ": " << reason << "\n";
                ++failures;
                continue;
            }
            for (std::string const& runPath : runPaths) {
                if (TestSupport::unanchoredRunPathElements(runPath).empty()) continue;
                std::cout << path << ": run path [" << runPath
                          << "] has an empty or relative element (searched from the current directory)\n";
                ++failures;
            }
        }
        if (error) {
            std::cout << argv[argument] << ": " << error.message() << "\n";
            ++failures;
        }
    }
    std::cout << checked << " executables and shared libraries checked, " << failures
              << " with unsafe run paths\n";
    return failures == 0 && checked > 0 ? 0 : 1;
}
