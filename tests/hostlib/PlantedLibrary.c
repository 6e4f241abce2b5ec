/* A library that must never be loaded: the end-to-end tests copy it into
 * the working directory of qxrun under the names of libraries qxrun needs
 * (libgcc_s.so.1, the host library). If the dynamic loader takes it, its
 * constructor announces it on standard error. Plain C, so that it needs
 * nothing but the C library, whatever name it is given. */
#include <unistd.h>

__attribute__((constructor)) static void announce(void) {
    static char const text[] = "planted library loaded from the working directory\n";
    if (write(2, text, sizeof text - 1) < 0) {
        /* nothing to do: the tests see the missing line */
    }
}
