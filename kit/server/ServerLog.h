// The server's log: one line per event, with a UTC timestamp, written
// whole even when several connection threads log at once. By default the
// lines go to standard error; tests give a sink of their own.
#ifndef SERVER_SERVERLOG_H
#define SERVER_SERVERLOG_H

#include <functional>
#include <mutex>
#include <string>

namespace SimServer {

class ServerLog {
public:
    using Sink = std::function<void(std::string const& line)>;

    ServerLog();
    explicit ServerLog(Sink sink) : m_sink(std::move(sink)) {}

    // Writes "2026-12-05T10:11:12.345Z qxsim: " + text.
    void line(std::string const& text);

    static std::string timestamp();

private:
    std::mutex m_mutex;
    Sink m_sink;
};

}  // namespace SimServer

#endif
