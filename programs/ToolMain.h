// The catch-all around the work of every tool's main: an exception that
// none of the tool's own handlers took ends the tool with the critical
// error message and a status, the same way in qxrun, qxas and qxsim.
#ifndef PROGRAMS_TOOLMAIN_H
#define PROGRAMS_TOOLMAIN_H

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace Programs {

// What a tool prints for an exception nothing else handled.
char const* const k_critical_error = "CRITICAL ERROR, unhandled exception caught. Exiting.\n";

// How a tool ends on such an exception.
enum class Unhandled {
    // The message and an empty line on standard output, then exit(1) from
    // inside the handler: the framework throws pointers to exceptions made
    // with new, and ending the process while one is still being handled
    // leaves it referenced rather than leaked.
    ExitFromStandardOutput,
    // The message on standard error; main returns the given status.
    ReturnFromStandardError,
};

// Runs body, which returns main's status, under the catch-all. A tool
// that knows some exceptions catches them in body.
template <typename Body>
int runTool(Body&& body, Unhandled unhandled, int status = 1) {
    try {
        return body();
    } catch (...) {
        std::fflush(stdout);
        if (unhandled == Unhandled::ExitFromStandardOutput) {
            std::cout << k_critical_error << std::endl;
            std::exit(1);
        }
        std::fputs(k_critical_error, stderr);
        return status;
    }
}

}  // namespace Programs

#endif  // PROGRAMS_TOOLMAIN_H
