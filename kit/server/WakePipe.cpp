#include "server/WakePipe.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace SimServer {

WakePipe::WakePipe() {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    m_read = ends[0];
    m_write = ends[1];
}

WakePipe::~WakePipe() {
    ::close(m_read);
    ::close(m_write);
}

void WakePipe::notify() {
    char const byte = 1;
    // A full pipe already wakes the reader; nothing is lost.
    ssize_t const written = ::write(m_write, &byte, 1);
    (void)written;
}

void WakePipe::drain() {
    char bytes[64];
    while (::read(m_read, bytes, sizeof bytes) > 0) {}
}

}  // namespace SimServer
