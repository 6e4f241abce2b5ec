// The exit statuses of qxas. The option set itself ends the process with
// 1 when an option is malformed or the system configuration cannot be
// read, and the architecture registry with 255 when the default node's
// configuration is broken; qxas uses the same two values for its own
// failures of those kinds.
#ifndef ASSEMBLER_TOOL_EXITSTATUS_H
#define ASSEMBLER_TOOL_EXITSTATUS_H

namespace Qxas {

enum ExitStatus : int {
    STATUS_OK = 0,                      // assembled, dumped, described, or help/version shown
    STATUS_USAGE = 1,                   // bad options or arguments, or a target qxas cannot assemble for
    STATUS_SOURCE_ERRORS = 2,           // the sources have errors; no output was written
    STATUS_IO_ERROR = 3,                // a file could not be read or written (or is no valid qxx file)
    STATUS_BROKEN_CONFIGURATION = 255,  // the system model or the node's architecture is broken
};

}  // namespace Qxas

#endif  // ASSEMBLER_TOOL_EXITSTATUS_H
