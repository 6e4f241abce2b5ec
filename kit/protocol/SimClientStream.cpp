// The frames from the server: one thread at a time reads the connection
// and hands responses, run ends, heartbeats and trace chunks to whoever
// waits for them; a request goes out and waits here for its answer.
#include "protocol/SimClient.h"

namespace Protocol {

// Waits for one whole frame, at most the read timeout.
int SimClient::readFrame(Frame& frame, std::string& error) {
    uint8_t buffer[65536];
    for (;;) {
        switch (m_decoder.next(frame)) {
            case FrameDecoder::Result::Frame: return k_ok;
            case FrameDecoder::Result::Error: error = m_decoder.error(); return k_err_protocol;
            case FrameDecoder::Result::NeedMore: break;
        }
        size_t got = 0;
        switch (m_socket.receive(buffer, sizeof buffer, readTimeout(), got, error)) {
            case Socket::Received::Data: m_decoder.feed(buffer, got); break;
            case Socket::Received::Timeout:
                error = "no answer from the simulator server within " +
                        std::to_string(readTimeout().count()) + " ms";
                return k_err_timeout;
            case Socket::Received::Closed:
                error = "the simulator server closed the connection";
                return k_err_connection_lost;
            case Socket::Received::Failed: return k_err_connection_lost;
        }
    }
}

// Reads frames until done() holds. One thread reads at a time; a thread
// that finds another reading waits for it to hand over the frames.
int SimClient::pump(std::unique_lock<std::mutex>& lock, std::function<bool()> const& done) {
    for (;;) {
        if (done()) return k_ok;
        if (m_broken_code != k_ok) return failLocked(m_broken_code, m_broken_text);
        if (m_reading) {
            uint64_t const seen = m_frames_seen;
            bool const moved = m_changed.wait_for(lock, readTimeout(), [&] {
                return done() || m_broken_code != k_ok || !m_reading || m_frames_seen != seen;
            });
            if (!moved)
                return failLocked(k_err_timeout, "no answer from the simulator server within " +
                                                     std::to_string(readTimeout().count()) + " ms");
            continue;
        }
        m_reading = true;
        lock.unlock();
        Frame frame;
        std::string error;
        int const code = readFrame(frame, error);
        lock.lock();
        m_reading = false;
        if (code == k_ok) {
            ++m_frames_seen;
            dispatch(frame);
        } else if (code != k_err_timeout) {
            breakConnection(code, error);
        }
        m_changed.notify_all();
        if (code == k_err_timeout) return failLocked(code, error);
    }
}

void SimClient::breakConnection(int code, std::string const& text) {
    if (m_broken_code != k_ok) return;
    m_broken_code = code;
    m_broken_text = text;
    if (m_run_active) {
        m_run_active = false;
        m_last_run = RunResult();
        m_last_run.ended = true;
        m_last_run.code = code;
        m_last_run.text = text;
    }
}

void SimClient::dispatch(Frame const& frame) {
    std::string error;
    switch (frame.type) {
        case FrameType::Response: {
            Response response;
            if (decode(frame, response, error)) return dispatchResponse(std::move(response));
            break;
        }
        case FrameType::Heartbeat: {
            Heartbeat heartbeat;
            if (decode(frame, heartbeat, error)) {
                m_run_milliseconds = heartbeat.milliseconds;
                return;
            }
            break;
        }
        case FrameType::Trace: {
            TraceChunk chunk;
            if (decode(frame, chunk, error)) return appendTrace(chunk.bytes);
            break;
        }
        case FrameType::Ended: {
            Ended ended;
            if (decode(frame, ended, error)) return dispatchEnded(ended);
            break;
        }
        case FrameType::Error: {
            ErrorMessage message;
            if (decode(frame, message, error)) return breakConnection(message.code, message.text);
            break;
        }
        default:
            error = "unexpected frame type " + std::to_string(unsigned(frame.type)) + " from the server";
            break;
    }
    breakConnection(k_err_protocol, error);
}

void SimClient::dispatchResponse(Response&& response) {
    auto const pending = m_pending.find(response.sequence);
    if (pending == m_pending.end()) return;  // its caller gave up waiting
    Operation const operation = m_operations[response.sequence];
    if (response.code == k_ok && (operation == Operation::Run || operation == Operation::Start)) {
        m_run_active = true;
        m_run_milliseconds = 0;
    }
    pending->second.arrived = true;
    pending->second.response = std::move(response);
}

void SimClient::dispatchEnded(Ended const& ended) {
    m_run_active = false;
    m_last_run.ended = true;
    m_last_run.code = ended.code;
    m_last_run.state = ended.state;
    m_last_run.returnValue = ended.returnValue;
    m_last_run.cycles = ended.cycles;
    m_last_run.text = ended.text;
    if (m_trace.is_open()) m_trace.flush();
}

void SimClient::appendTrace(std::vector<uint8_t> const& bytes) {
    if (!m_trace.is_open()) m_trace.open(m_trace_file, std::ios::binary | std::ios::trunc);
    m_trace.write(reinterpret_cast<char const*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int SimClient::call(Request request, Response& response) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_connected) return failLocked(k_err_not_connected, "not connected to a simulator server");
    if (m_broken_code != k_ok) return failLocked(m_broken_code, m_broken_text);
    uint32_t const sequence = m_next_sequence++;
    request.sequence = sequence;
    m_pending[sequence] = Answer();
    m_operations[sequence] = request.operation;
    lock.unlock();

    std::string error;
    bool sent = false;
    {
        std::lock_guard<std::mutex> sending(m_send_mutex);
        sent = m_socket.sendAll(encode(request), error);
    }
    lock.lock();
    if (!sent) breakConnection(k_err_connection_lost, "cannot send to the simulator server: " + error);
    int const code = pump(lock, [&] { return m_pending[sequence].arrived; });
    Answer answer = std::move(m_pending[sequence]);
    m_pending.erase(sequence);
    m_operations.erase(sequence);
    if (code != k_ok) return code;
    response = std::move(answer.response);
    if (response.code != k_ok) return failLocked(response.code, response.text);
    return k_ok;
}

}  // namespace Protocol
