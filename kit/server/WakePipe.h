// A pipe that wakes a poll loop: one side calls notify (safe in a signal
// handler and from any thread), the loop polls fd() and drains it. Once
// notified, fd() stays readable until drained, so several loops polling
// the same pipe all see a notification that nobody drains.
#ifndef SERVER_WAKEPIPE_H
#define SERVER_WAKEPIPE_H

namespace SimServer {

class WakePipe {
public:
    WakePipe();  // throws std::runtime_error when no pipe can be made
    ~WakePipe();
    WakePipe(WakePipe const&) = delete;
    WakePipe& operator=(WakePipe const&) = delete;

    void notify();
    void drain();
    int fd() const { return m_read; }
    // For a signal handler, which may only write.
    int writeFd() const { return m_write; }

private:
    int m_read = -1;
    int m_write = -1;
};

}  // namespace SimServer

#endif
