// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes; tests use it as HOME and working
// directory of the programs they run.
#ifndef TESTS_SUPPORT_TEMPORARYDIRECTORY_H
#define TESTS_SUPPORT_TEMPORARYDIRECTORY_H

#include <string>

namespace TestSupport {

class TemporaryDirectory {
public:
    // Throws std::runtime_error when no directory can be made.
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(TemporaryDirectory const&) = delete;
    TemporaryDirectory& operator=(TemporaryDirectory const&) = delete;

    std::string const& path() const { return m_path; }
    // The full path of a name relative to the directory.
    std::string file(std::string const& relative) const;
    // Writes content to the relative name, making missing directories;
    // returns the full path. Throws std::runtime_error on failure.
    std::string write(std::string const& relative, std::string const& content) const;
    // The content of the relative name, empty when it cannot be read.
    std::string read(std::string const& relative) const;
    bool exists(std::string const& relative) const;

private:
    std::string m_path;
};

}  // namespace TestSupport

#endif  // TESTS_SUPPORT_TEMPORARYDIRECTORY_H
