#include "tests/support/TemporaryDirectory.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace TestSupport {

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/qx_test_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary directory from " + pattern);
    m_path = name.data();
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TemporaryDirectory::file(std::string const& relative) const {
    return m_path + "/" + relative;
}

std::string TemporaryDirectory::write(std::string const& relative, std::string const& content) const {
    std::filesystem::path const target = file(relative);
    std::error_code error;
    std::filesystem::create_directories(target.parent_path(), error);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) throw std::runtime_error("cannot write " + target.string());
    return target.string();
}

std::string TemporaryDirectory::read(std::string const& relative) const {
    std::ifstream in(file(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TemporaryDirectory::exists(std::string const& relative) const {
    std::error_code ignored;
    return std::filesystem::exists(file(relative), ignored);
}

}  // namespace TestSupport
