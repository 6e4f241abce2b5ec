// Helpers for the option set's tests. The option set, its descriptors and
// the merged option list are process-wide, so every test that scans a
// command line or builds an option set does so in a death-test child: the
// child runs with a scratch directory as working directory, without QXPATH
// and HOME unless it sets them, and with its standard output and error in
// files that the parent test compares after the child has ended.
#ifndef CONFIGURATION_COMMANDOPTIONS_TEST_H
#define CONFIGURATION_COMMANDOPTIONS_TEST_H

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TemporaryDirectory.h"

namespace CommandOptionsTest {

// A temporary directory whose files "stdout" and "stderr" receive the
// child's standard streams.
class ScratchDir {
public:
    std::string path(std::string const& name) const { return m_directory.file(name); }

    // Writes text to name (directories created as needed); returns its path.
    std::string write(std::string const& name, std::string const& text) const {
        return m_directory.write(name, text);
    }

    std::string read(std::string const& name) const { return m_directory.read(name); }

    std::string out() const { return read("stdout"); }
    std::string err() const { return read("stderr"); }

    // In the child: work in this directory with a clean search environment
    // and the standard streams going to the files "stdout" and "stderr".
    void enterChild() const {
        if (chdir(m_directory.path().c_str()) != 0) std::_Exit(3);
        unsetenv("QXPATH");
        unsetenv("HOME");
        std::fflush(stdout);
        std::fflush(stderr);
        redirect(1, "stdout");
        redirect(2, "stderr");
    }

private:
    void redirect(int fd, char const* name) const {
        int file = open(path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (file < 0 || dup2(file, fd) < 0) std::_Exit(3);
        close(file);
    }

    TestSupport::TemporaryDirectory m_directory;
};

// Runs body in the (death-test) child and ends the child with status 0
// when body returns; body may end the process itself.
template <typename Body>
void runInChild(ScratchDir const& dir, Body body) {
    dir.enterChild();
    body();
    std::cout.flush();
    std::exit(0);
}

// A modifiable argument vector, as main receives it.
class Argv {
public:
    Argv(std::initializer_list<char const*> words) : Argv(std::vector<char const*>(words)) {}
    explicit Argv(std::vector<char const*> const& words) : m_words(words.begin(), words.end()) {
        for (std::string& word : m_words) m_pointers.push_back(word.data());
        m_pointers.push_back(nullptr);
        m_argc = static_cast<int>(m_words.size());
    }
    int& argc() { return m_argc; }
    char** argv() { return m_pointers.data(); }
    // The arguments the scan left, after the program name, joined by blanks.
    std::string remaining() const {
        std::string text;
        for (int i = 1; i < m_argc; ++i) text += (i > 1 ? " " : "") + std::string(m_pointers[i]);
        return text;
    }

private:
    std::vector<std::string> m_words;
    std::vector<char*> m_pointers;
    int m_argc;
};

// A configuration whose current chip is chip0 and current node core0.
inline std::string const k_small_system =
    "chip-id = 0\n"
    "node-id = 0\n"
    "system.chip-ids[] = 0\n"
    "system.chips[] = chip0\n"
    "system.chip0.node-ids[] = 0,1\n"
    "system.chip0.nodes[] = core0,mem0\n";

}  // namespace CommandOptionsTest

#endif  // CONFIGURATION_COMMANDOPTIONS_TEST_H
