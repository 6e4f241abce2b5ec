#include "hostlib/DeviceNodes.h"

#include <dirent.h>
#include <sys/stat.h>
#include <algorithm>
#include <cstdlib>

namespace HostLib {

namespace {

char const* const s_node_prefix = "orvald";

std::string deviceDirectory() {
    char const* directory = std::getenv("QX_DEVICE_DIR");
    return directory != nullptr && *directory != '\0' ? directory : "/dev";
}

bool exists(std::string const& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::vector<std::string> DeviceNodes::list() {
    std::vector<std::string> paths;
    std::string const directory = deviceDirectory();
    DIR* entries = ::opendir(directory.c_str());
    if (entries == nullptr) return paths;
    while (dirent const* entry = ::readdir(entries)) {
        std::string const name = entry->d_name;
        if (name.compare(0, std::char_traits<char>::length(s_node_prefix), s_node_prefix) == 0)
            paths.push_back(directory + "/" + name);
    }
    ::closedir(entries);
    std::sort(paths.begin(), paths.end());
    return paths;
}

Status DeviceNodes::find(uint32_t instance, std::string& path) {
    std::string const pattern = deviceDirectory() + "/" + s_node_prefix;
    if (instance == 0) {
        std::vector<std::string> const paths = list();
        if (paths.empty()) return Status::error(QXAPI_ERR_NO_DEVICE, "no device node " + pattern + "*");
        path = paths.front();
        return Status::ok();
    }
    path = pattern + std::to_string(instance);
    if (!exists(path)) return Status::error(QXAPI_ERR_NO_DEVICE, "no device node " + path);
    return Status::ok();
}

}  // namespace HostLib
