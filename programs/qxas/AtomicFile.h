// Writes qxas's output files so that readers see either the old file or
// the complete new one, never a part, and so that what the path names
// keeps its nature:
// - a regular file, or a name that does not exist yet, is written under a
//   temporary name in the same directory and renamed over the target when
//   complete;
// - a symbolic link is followed, and its final target replaced that way
//   (the link stays a link);
// - anything else (a device such as /dev/null, a FIFO) is opened and
//   written through, as it cannot be replaced without destroying it.
// While a temporary file exists, SIGINT, SIGTERM, SIGHUP and SIGQUIT
// remove it before they end the process, and a file size limit fails the
// write instead of ending the process; no run leaves a temporary file.
#ifndef ASSEMBLER_TOOL_ATOMICFILE_H
#define ASSEMBLER_TOOL_ATOMICFILE_H

#include <cstddef>
#include <string>

namespace Qxas {

// A temporary file beside a target, renamed over it by commit and removed
// when the object goes without a commit (or a signal ends the process).
// One at a time per process, as the signal handlers know one path.
class AtomicFile {
public:
    // target: the path to replace, symbolic links already resolved.
    explicit AtomicFile(std::string target);
    ~AtomicFile();
    AtomicFile(AtomicFile const&) = delete;
    AtomicFile& operator=(AtomicFile const&) = delete;

    // Each returns false with errno set when it fails; the temporary file
    // is then still there until the object goes.
    bool create();
    bool write(void const* data, size_t size);
    bool commit();

private:
    void discard();

    std::string m_target;
    int m_fd = -1;
    bool m_created = false;
};

// False, with "path: reason" in error, when the file could not be written;
// no temporary file is left behind then, and an existing regular file at
// path is unchanged. A new file gets the usual permissions (0666 less the
// umask).
bool writeFileAtomically(std::string const& path, void const* data, size_t size, std::string& error);

}  // namespace Qxas

#endif  // ASSEMBLER_TOOL_ATOMICFILE_H
