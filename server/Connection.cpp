#include "server/Connection.h"

#include "protocol/Messages.h"

#include <cerrno>
#include <cstring>
#include <poll.h>

namespace SimServer {

using namespace Protocol;
using Clock = std::chrono::steady_clock;

namespace {

// Until the handshake is done, frames need room for a hello only.
constexpr uint32_t kHandshakeFrameSize = 2 * kMaxStringLength;

char const* stateText(RunState state)
{
    switch (state) {
    case RunState::Stopped: return "stopped";
    case RunState::Halted: return "halted";
    case RunState::Faulted: return "faulted";
    }
    return "unknown";
}

// A server without a token accepts any client. Otherwise every byte is
// compared, so the time taken does not tell how much of a guess matched.
bool tokenAccepted(std::string const& expected, std::string const& given)
{
    if (expected.empty()) return true;
    unsigned char difference = expected.size() == given.size() ? 0 : 1;
    for (size_t i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ expected[i % expected.size()]);
    return difference == 0;
}

} // namespace

Connection::Connection(Socket socket, unsigned id, ServerSettings const& settings, ServerLog& log, int stopFd)
    : m_socket(std::move(socket)),
      m_id(id),
      m_settings(settings),
      m_log(log),
      m_stopFd(stopFd),
      m_decoder(kHandshakeFrameSize)
{
    m_peer = m_socket.peerName();
    m_socket.setSendTimeout(settings.sendTimeout);
}

Connection::~Connection() = default;

void Connection::serve()
{
    std::string const name = "connection " + std::to_string(m_id) + " from " + m_peer;
    m_log.line(name + " opened");
    // Frames the client sent right behind its hello are already buffered.
    if (handshake() && handleFrames() && deliverEvents()) {
        for (;;) {
            bool const busy = m_session->busy();
            auto const sinceBeat = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_lastHeartbeat);
            std::chrono::milliseconds const beat(kHeartbeatMilliseconds);
            std::chrono::milliseconds const timeout =
                busy ? (sinceBeat >= beat ? std::chrono::milliseconds(0) : beat - sinceBeat) : beat;
            Input const input = receive(timeout);
            if (input == Input::Ended) break;
            if (input == Input::Frames && !handleFrames()) break;
            if (!deliverEvents()) break;
            if (m_session->busy() && Clock::now() - m_lastHeartbeat >= beat && !sendHeartbeat()) break;
        }
        // A run the client can no longer see is ended here, and logged.
        m_session->abortRun(kErrClientVanished, m_reason);
        RunRecord record;
        if (m_session->takeRunEnd(record)) logRun(record);
    }
    m_session.reset();
    m_socket.finish(std::chrono::milliseconds(200));
    m_log.line(name + " closed: " + m_reason);
    m_finished = true;
}

bool Connection::handshake()
{
    Clock::time_point const deadline = Clock::now() + m_settings.handshakeTimeout;
    for (;;) {
        Frame frame;
        switch (m_decoder.next(frame)) {
        case FrameDecoder::Result::Error: refuse(kErrProtocol, m_decoder.error()); return false;
        case FrameDecoder::Result::Frame: return checkHello(frame);
        case FrameDecoder::Result::NeedMore: break;
        }
        auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            refuse(kErrTimeout, "no handshake within " + std::to_string(m_settings.handshakeTimeout.count()) + " ms");
            return false;
        }
        if (receive(left) == Input::Ended) return false;
    }
}

bool Connection::checkHello(Frame const& frame)
{
    Hello hello;
    std::string error;
    if (!decode(frame, hello, error)) {
        refuse(kErrProtocol, error);
        return false;
    }
    if (hello.magic != kMagic) {
        refuse(kErrProtocol, "bad hello: wrong magic number " + std::to_string(hello.magic));
        return false;
    }
    if (hello.version != kVersion) {
        refuse(kErrVersion, "protocol version " + std::to_string(hello.version) +
                                " is not supported; this server speaks version " + std::to_string(kVersion));
        return false;
    }
    if (!tokenAccepted(m_settings.token, hello.token)) {
        refuse(kErrToken, "the token was refused");
        return false;
    }
    m_session = ProcessorSession::create(m_settings, [this] { m_wake.notify(); }, error);
    if (!m_session) {
        refuse(kErrBusy, "cannot make a processor: " + error);
        return false;
    }
    m_decoder.setMaxFrameSize(m_settings.maxProgramSize + kFrameOverhead);
    Welcome welcome;
    welcome.server = "qxsim 1.0.0";
    welcome.processor = m_session->info();
    m_lastHeartbeat = Clock::now();
    return send(encode(welcome));
}

Connection::Input Connection::receive(std::chrono::milliseconds timeout)
{
    pollfd fds[3] = {{m_socket.fd(), POLLIN, 0}, {m_wake.fd(), POLLIN, 0}, {m_stopFd, POLLIN, 0}};
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
    switch (m_socket.receive(buffer, sizeof buffer, std::chrono::milliseconds(0), got, error)) {
    case Socket::Received::Data: m_decoder.feed(buffer, got); return Input::Frames;
    case Socket::Received::Timeout: return Input::Idle;
    case Socket::Received::Closed: m_reason = "the client closed the connection"; return Input::Ended;
    case Socket::Received::Failed: m_reason = error; return Input::Ended;
    }
    return Input::Idle;
}

bool Connection::handleFrames()
{
    for (;;) {
        Frame frame;
        switch (m_decoder.next(frame)) {
        case FrameDecoder::Result::NeedMore: return true;
        case FrameDecoder::Result::Error: refuse(kErrProtocol, m_decoder.error()); return false;
        case FrameDecoder::Result::Frame: break;
        }
        Request request;
        std::string error;
        if (!decode(frame, request, error)) {
            refuse(kErrProtocol, error);
            return false;
        }
        Response response;
        if (m_session->handle(request, response) && !send(encode(response))) return false;
    }
}

bool Connection::deliverEvents()
{
    for (Response const& response : m_session->takeCompletions())
        if (!send(encode(response))) return false;
    RunRecord record;
    bool const ended = m_session->takeRunEnd(record);
    std::vector<std::vector<uint8_t>> chunks;
    m_session->takeTrace(chunks);
    for (std::vector<uint8_t>& bytes : chunks) {
        TraceChunk chunk;
        chunk.bytes = std::move(bytes);
        if (!send(encode(chunk))) return false;
    }
    if (!ended) return true;
    logRun(record);
    return send(encode(record.ended));
}

bool Connection::sendHeartbeat()
{
    m_lastHeartbeat = Clock::now();
    Heartbeat heartbeat;
    heartbeat.milliseconds = static_cast<uint64_t>(m_session->runTime().count());
    return send(encode(heartbeat));
}

bool Connection::send(std::vector<uint8_t> const& frame)
{
    std::string error;
    if (m_socket.sendAll(frame, error)) return true;
    if (m_reason.empty()) m_reason = "cannot send to the client: " + error;
    return false;
}

// Tells the client why the connection ends; it closes after this.
void Connection::refuse(int code, std::string const& text)
{
    if (m_reason.empty()) m_reason = text;
    ErrorMessage message;
    message.code = code;
    message.text = text;
    send(encode(message));
}

void Connection::shutDown()
{
    std::string const text = errorName(kErrShutdown);
    m_reason = text;
    if (m_session) {
        m_session->abortRun(kErrShutdown, text);
        deliverEvents();
    }
    refuse(kErrShutdown, text);
}

void Connection::logRun(RunRecord const& record)
{
    Ended const& ended = record.ended;
    std::string line = "connection " + std::to_string(m_id) + ": run of " + record.program + " (" +
                       std::to_string(record.programSize) + " bytes): " + stateText(ended.state) +
                       ", return value " + std::to_string(ended.returnValue) + ", " + std::to_string(ended.cycles) +
                       " cycles, " + std::to_string(record.duration.count()) + " ms";
    if (!ended.text.empty()) line += ", " + ended.text;
    m_log.line(line);
}

} // namespace SimServer
