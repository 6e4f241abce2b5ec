#include "server/Connection.h"

#include "protocol/Messages.h"
#include "qx/Version.h"

#include <poll.h>
#include <sys/socket.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace SimServer {

using namespace Protocol;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

// What a shutting-down connection may still spend on telling its client.
constexpr milliseconds k_shutdown_send_budget{250};

char const* stateText(RunState state) {
    switch (state) {
        case RunState::Stopped: return "stopped";
        case RunState::Halted: return "halted";
        case RunState::Faulted: return "faulted";
    }
    return "unknown";
}

milliseconds until(Clock::time_point deadline) {
    return std::max(milliseconds(0), std::chrono::duration_cast<milliseconds>(deadline - Clock::now()));
}

}  // namespace

std::string durationText(milliseconds duration) {
    if (duration.count() % 1000 == 0) return std::to_string(duration.count() / 1000) + " s";
    return std::to_string(duration.count()) + " ms";
}

Connection::Connection(Socket socket, FrameDecoder decoder, unsigned id, uint16_t version,
                       ServerSettings const& settings, ServerLog& log, int stopFd,
                       std::function<void()> finished)
    : m_socket(std::move(socket)),
      m_decoder(std::move(decoder)),
      m_id(id),
      m_version(version),
      m_settings(settings),
      m_log(log),
      m_stop_fd(stopFd),
      m_on_finished(std::move(finished)) {}

Connection::~Connection() = default;

void Connection::serve() {
    // Frames the client sent right behind its hello are already buffered.
    if (welcome() && handleFrames() && deliverEvents()) serveRequests();
    if (stopRequested() && !m_shutting_down) shutDown();
    if (m_session) {
        // A run the client can no longer see is ended here, and logged.
        m_session->abortRun(k_err_client_vanished, m_reason);
        RunRecord record;
        if (m_session->takeRunEnd(record)) logRun(record);
    }
    m_session.reset();
    ::shutdown(m_socket.fd(), SHUT_WR);
    m_finished = true;
    m_on_finished();
}

bool Connection::welcome() {
    std::string error;
    m_session = ProcessorSession::create(
        m_settings, [this] { m_wake.notify(); }, error);
    if (!m_session) {
        refuse(k_err_busy, "cannot make a processor: " + error);
        return false;
    }
    m_decoder.setMaxFrameSize(m_settings.maxProgramSize + k_frame_overhead);
    Welcome welcome;
    welcome.version = m_version;
    welcome.server = "qxsim " QX_VERSION;
    welcome.processor = m_session->info();
    m_last_heartbeat = Clock::now();
    return send(encode(welcome));
}

void Connection::serveRequests() {
    milliseconds const beat(k_heartbeat_milliseconds);
    Clock::time_point lastActivity = Clock::now();
    for (;;) {
        bool const busy = m_session->busy();
        if (busy) lastActivity = Clock::now();
        if (!busy && m_settings.idleTimeout.count() > 0 &&
            Clock::now() - lastActivity >= m_settings.idleTimeout) {
            refuse(k_err_idle, "no request for " + durationText(m_settings.idleTimeout) +
                                   ": the connection was idle too long");
            return;
        }
        Input const input = receive(nextWait(busy, lastActivity));
        if (input == Input::Ended) return;
        if (input == Input::Frames) {
            lastActivity = Clock::now();
            if (!handleFrames()) return;
        }
        if (!deliverEvents()) return;
        if (m_session->busy() && Clock::now() - m_last_heartbeat >= beat && !sendHeartbeat()) return;
    }
}

// Until the next heartbeat is due (during a run), trace is waiting, or the
// idle timeout expires.
milliseconds Connection::nextWait(bool busy, Clock::time_point lastActivity) {
    milliseconds const beat(k_heartbeat_milliseconds);
    if (m_session->traceWaiting()) return milliseconds(0);
    if (busy) return until(m_last_heartbeat + beat);
    if (m_settings.idleTimeout.count() == 0) return beat;
    return std::min(beat, until(lastActivity + m_settings.idleTimeout));
}

Connection::Input Connection::receive(milliseconds timeout) {
    pollfd fds[3] = {{m_socket.fd(), POLLIN, 0}, {m_wake.fd(), POLLIN, 0}, {m_stop_fd, POLLIN, 0}};
    int const ready = ::poll(fds, 3, static_cast<int>(timeout.count()));
    if (ready < 0 && errno == EINTR) return Input::Idle;
    if (ready < 0) {
        m_reason = std::string("poll: ") + std::strerror(errno);
        return Input::Ended;
    }
    if (fds[2].revents != 0) {
        shutDown();
        return Input::Ended;
    }
    if (fds[1].revents != 0) m_wake.drain();
    if (fds[0].revents == 0) return Input::Idle;

    uint8_t buffer[65536];
    size_t got = 0;
    std::string error;
    switch (m_socket.receiveNow(buffer, sizeof buffer, got, error)) {
        case Socket::Received::Data: m_decoder.feed(buffer, got); return Input::Frames;
        case Socket::Received::Timeout: return Input::Idle;
        case Socket::Received::Closed: m_reason = "the client closed the connection"; return Input::Ended;
        case Socket::Received::Failed: m_reason = error; return Input::Ended;
    }
    return Input::Idle;
}

bool Connection::handleFrames() {
    for (;;) {
        Frame frame;
        switch (m_decoder.next(frame)) {
            case FrameDecoder::Result::NeedMore: return true;
            case FrameDecoder::Result::Error: refuse(k_err_protocol, m_decoder.error()); return false;
            case FrameDecoder::Result::Frame: break;
        }
        Request request;
        std::string error;
        if (!decode(frame, request, error)) {
            refuse(k_err_protocol, error);
            return false;
        }
        Response response;
        bool const answered = m_session->handle(request, response);
        bool const started = (request.operation == Operation::Run || request.operation == Operation::Start) &&
                             response.code == k_ok;
        if (started && m_settings.verbose)
            m_log.line("connection " + std::to_string(m_id) + ": run of " + m_session->programName() +
                       " started");
        if (answered && !send(encode(response))) return false;
    }
}

// Sends what the run and a semaphore wait left. The trace goes out a
// buffer's worth at a time, so that requests (a halt) are read in
// between; once the run has ended, all of it, before the end.
bool Connection::deliverEvents() {
    for (Response const& response : m_session->takeCompletions())
        if (!send(encode(response))) return false;
    RunRecord record;
    bool const ended = m_session->takeRunEnd(record);
    std::vector<std::vector<uint8_t>> chunks;
    m_session->takeTrace(chunks, ended ? std::numeric_limits<size_t>::max() : m_session->traceCapacity());
    for (std::vector<uint8_t>& bytes : chunks) {
        TraceChunk chunk;
        chunk.bytes = std::move(bytes);
        if (!send(encode(chunk))) return false;
    }
    if (!ended) return true;
    logRun(record);
    return send(encode(record.ended));
}

bool Connection::sendHeartbeat() {
    m_last_heartbeat = Clock::now();
    Heartbeat heartbeat;
    heartbeat.milliseconds = static_cast<uint64_t>(m_session->runTime().count());
    return send(encode(heartbeat));
}

// Waits for a slow reader at most the send timeout, and not at all once
// the server stops; a stopping connection spends a short budget on its
// last frames.
bool Connection::send(std::vector<uint8_t> const& frame) {
    std::string error;
    Socket::Sent const sent =
        m_shutting_down
            ? m_socket.sendAll(frame.data(), frame.size(), until(m_shutdown_deadline), -1, error)
            : m_socket.sendAll(frame.data(), frame.size(), m_settings.sendTimeout, m_stop_fd, error);
    if (sent == Socket::Sent::All) return true;
    if (sent == Socket::Sent::Woken) return false;  // serve() shuts down
    if (m_reason.empty()) m_reason = "cannot send to the client: " + error;
    return false;
}

// Tells the client why the connection ends; it closes after this.
void Connection::refuse(int code, std::string const& text) {
    if (m_reason.empty()) m_reason = text;
    ErrorMessage message;
    message.code = code;
    message.text = text;
    send(encode(message));
}

bool Connection::stopRequested() const {
    pollfd stop{m_stop_fd, POLLIN, 0};
    return ::poll(&stop, 1, 0) > 0;
}

void Connection::shutDown() {
    m_shutting_down = true;
    m_shutdown_deadline = Clock::now() + k_shutdown_send_budget;
    std::string const text = errorName(k_err_shutdown);
    m_reason = text;
    if (m_session) {
        m_session->abortRun(k_err_shutdown, text);
        deliverEvents();
    }
    refuse(k_err_shutdown, text);
}

void Connection::logRun(RunRecord const& record) {
    Ended const& ended = record.ended;
    std::string line = "connection " + std::to_string(m_id) + ": run of " + record.program + " (" +
                       std::to_string(record.programSize) + " bytes): " + stateText(ended.state) +
                       ", return value " + std::to_string(ended.returnValue) + ", " +
                       std::to_string(ended.cycles) + " cycles, " + std::to_string(record.duration.count()) +
                       " ms";
    if (!ended.text.empty()) line += ", " + ended.text;
    m_log.line(line);
}

}  // namespace SimServer
