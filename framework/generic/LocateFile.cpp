#include "generic/LocateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace Generic {

namespace {

std::size_t const s_max_name_length = 1024;

bool isEmpty(char const* text) {
    return text == nullptr || text[0] == '\0';
}

std::string nameText(char const* name, int nameLength) {
    if (name == nullptr) return "";
    if (nameLength < 0) return name;
    return std::string(name, strnlen(name, static_cast<std::size_t>(nameLength)));
}

// Names with a directory or drive part are never put under other directories.
bool isPlainName(std::string const& name) {
    return name.find_first_of(":/\\") == std::string::npos;
}

// Runs through every pass once; the search then starts again from the first.
int countPassesWithExtension(LocateFileCriteria& criteria) {
    int count = 0;
    for (bool more = criteria.toFirst(); more; more = criteria.toNext()) {
        if (!isEmpty(criteria.extension())) ++count;
        criteria.pathEnvVar();
    }
    return count;
}

// The environment is read afresh for every pass, never cached.
std::string directoriesOfPass(LocateFileCriteria& criteria, bool plainName, char const* searchPath) {
    if (!plainName) return "";
    std::string directories = searchPath == nullptr ? "" : searchPath;
    char const* variable = criteria.pathEnvVar();
    char const* value = isEmpty(variable) ? nullptr : std::getenv(variable);
    if (isEmpty(value)) return directories;
    if (!directories.empty()) directories += ':';
    return directories + value;
}

std::string extensionOfPass(LocateFileCriteria& criteria) {
    char const* extension = criteria.extension();
    if (extension == nullptr) return "";
    if (extension[0] == '.') ++extension;
    return extension;
}

std::string joinPath(std::string const& directory, std::string const& name) {
    char const last = directory.back();
    bool const hasSeparator = last == '/' || last == '\\' || last == ':';
    return hasSeparator ? directory + name : directory + "/" + name;
}

// Only a regular file that opens for reading is a file to be found: a
// directory opens on Linux but cannot be read as a file, and a FIFO or a
// device (one planted under the searched name, say) would block the search
// or feed it input without end. The probe opens without blocking, so a
// FIFO without a writer is passed over at once.
bool canRead(std::string const& path) {
    int const descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return false;
    struct stat info;
    bool const isRegular = fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
    close(descriptor);
    return isRegular;
}

// Tries candidate paths and keeps the first readable one in the caller's
// buffer.
class Search {
public:
    Search(char* buffer, int bufferSize)
        : m_buffer(buffer), m_buffer_size(static_cast<std::size_t>(bufferSize)) {}

    int length() const { return m_length; }

    bool searchPass(std::string const& name, std::string const& directories, std::string const& extension) {
        if (directories.empty()) return tryName(name, extension);
        std::size_t start = 0;
        while (start <= directories.size()) {
            std::size_t colon = directories.find(':', start);
            if (colon == std::string::npos) colon = directories.size();
            std::string const directory = directories.substr(start, colon - start);
            start = colon + 1;
            if (!directory.empty() && tryName(joinPath(directory, name), extension)) return true;
        }
        return false;
    }

private:
    bool tryName(std::string const& path, std::string const& extension) {
        return tryPath(path) || (!extension.empty() && tryPath(path + "." + extension));
    }

    // A path that cannot be returned whole is as good as absent.
    bool tryPath(std::string const& path) {
        if (path.size() + 1 > m_buffer_size || !canRead(path)) return false;
        std::memcpy(m_buffer, path.c_str(), path.size() + 1);
        m_length = static_cast<int>(path.size());
        return true;
    }

    char* m_buffer;
    std::size_t m_buffer_size;
    int m_length = 0;
};

void searchPasses(Search& search, LocateFileCriteria* criteria, std::string const& name,
                  char const* searchPath, int* resultLength) {
    bool const plainName = isPlainName(name);
    bool active = criteria != nullptr && criteria->toFirst();
    for (;;) {
        std::string const directories = active ? directoriesOfPass(*criteria, plainName, searchPath) : "";
        std::string const extension = active ? extensionOfPass(*criteria) : "";
        if (search.searchPass(name, directories, extension)) {
            if (resultLength != nullptr) *resultLength = search.length();
            if (criteria != nullptr) criteria->found();
            return;
        }
        if (!active || !criteria->toNext()) return;
    }
}

}  // namespace

bool locateFile(char* buffer, int bufferSize, LocateFileCriteria* criteria, char const* name, int nameLength,
                char const* searchPath, int* resultLength) {
    std::string fileName = nameText(name, nameLength);
    if (resultLength != nullptr) *resultLength = 0;
    if (buffer == nullptr || bufferSize <= 0) return false;
    buffer[0] = '\0';
    if (fileName.empty() || fileName.size() >= s_max_name_length) return false;
    if (criteria != nullptr && countPassesWithExtension(*criteria) != 0 && fileName.back() == '.') {
        fileName.pop_back();
    }
    Search search(buffer, bufferSize);
    searchPasses(search, criteria, fileName, searchPath, resultLength);
    return true;
}

bool locateFile(char* buffer, int bufferSize, char const* name, int nameLength, char const* searchPath,
                char const* pathEnvVar, char const* extension, int* resultLength) {
    SingleSetOfFileCriteria criteria(extension, pathEnvVar);
    return locateFile(buffer, bufferSize, &criteria, name, nameLength, searchPath, resultLength);
}

}  // namespace Generic
