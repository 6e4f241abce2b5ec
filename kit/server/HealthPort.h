// The health port of the server: a listener of its own that answers
// every connection with a minimal HTTP/1.0 response, 200 "ready" while
// the server takes clients and 503 "draining" once it drains, and closes
// it as soon as the answer is sent. A balancer's or an orchestrator's check thus never takes a
// connection slot or a queue place of the simulator port and is answered
// while every slot is busy.
//
// It runs inside the server's poll loop and never blocks it: a request is
// read until the blank line that ends its header, of at most
// k_max_request bytes, within k_request_time; at most k_max_clients are
// served at once, more are closed at once.
#ifndef SERVER_HEALTHPORT_H
#define SERVER_HEALTHPORT_H

#include "protocol/Socket.h"

#include <poll.h>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

namespace SimServer {

class HealthPort {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr size_t k_max_clients = 32;
    static constexpr size_t k_max_request = 4096;
    static constexpr std::chrono::milliseconds k_request_time{2000};

    static char const* const k_ready_answer;
    static char const* const k_draining_answer;

    bool listen(std::string const& address, uint16_t port, std::string& error);
    bool listening() const { return m_listener.valid(); }
    uint16_t port() const { return m_port; }
    void setDraining() { m_draining = true; }

    // Appends the descriptors to poll and brings wake forward to the
    // earliest deadline; handle() then takes the same descriptors back.
    void prepare(std::vector<pollfd>& fds, Clock::time_point now, Clock::time_point& wake);
    // fds[first...] are those prepare appended, with their events.
    void handle(std::vector<pollfd> const& fds, size_t first, Clock::time_point now);
    void close();

private:
    struct Client {
        Protocol::Socket socket;
        std::string request;
        std::string out;  // the answer, while not all sent
        bool answered = false;
        Clock::time_point deadline;
        bool ended = false;
    };

    void acceptAll(Clock::time_point now);
    void readFrom(Client& client, Clock::time_point now);
    void answer(Client& client, Clock::time_point now);
    void flush(Client& client);
    void dropInput(Client& client);

    Protocol::Socket m_listener;
    uint16_t m_port = 0;
    bool m_draining = false;
    Clock::time_point m_accept_paused_until;
    std::list<Client> m_clients;
    std::vector<Client*> m_polled;
};

}  // namespace SimServer

#endif
