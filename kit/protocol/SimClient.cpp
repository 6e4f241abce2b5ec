// The client's connection: connecting with the handshake (and the retry in
// the oldest protocol version), closing, and the last error.
#include "protocol/SimClient.h"

namespace Protocol {

SimClient::~SimClient() {
    close();
}

int SimClient::connect(std::string const& host, uint16_t port, std::string const& token,
                       std::chrono::milliseconds connectTimeout) {
    close();
    for (uint16_t version = k_version;; version = k_oldest_version) {
        std::string error;
        Socket socket;
        if (!Socket::connectTo(host, port, connectTimeout, socket, error))
            return fail(k_err_connect,
                        "cannot connect to " + host + " port " + std::to_string(port) + ": " + error);
        socket.setSendTimeout(readTimeout());
        m_socket = std::move(socket);
        m_decoder = FrameDecoder();
        int const code = handshake(token, version);
        if (code == k_ok) break;
        m_socket.close();
        if (code != k_err_version || version == k_oldest_version) return code;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connected = true;
    m_broken_code = k_ok;
    m_broken_text.clear();
    m_run_active = false;
    m_last_run = RunResult();
    return k_ok;
}

int SimClient::handshake(std::string const& token, uint16_t version) {
    Hello hello;
    hello.version = version;
    hello.token = token;
    std::string error;
    if (!m_socket.sendAll(encode(hello), error))
        return fail(k_err_connect, "cannot send the handshake: " + error);
    Frame frame;
    int code = k_ok;
    // Each queued notice renews the read timeout: the server bounds the wait.
    while ((code = readFrame(frame, error)) == k_ok && frame.type == FrameType::Queued) {
        Queued queued;
        if (!decode(frame, queued, error)) return fail(k_err_protocol, error);
    }
    if (code != k_ok)
        return fail(code == k_err_timeout ? k_err_timeout : k_err_connect, "handshake failed: " + error);
    if (frame.type == FrameType::Error) {
        ErrorMessage refused;
        if (!decode(frame, refused, error)) return fail(k_err_protocol, error);
        return fail(refused.code, refused.text);
    }
    Welcome welcome;
    if (!decode(frame, welcome, error)) return fail(k_err_protocol, error);
    m_info = welcome.processor;
    return k_ok;
}

void SimClient::close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_socket.close();
    m_connected = false;
    m_pending.clear();
    m_operations.clear();
    if (m_trace.is_open()) m_trace.close();
}

bool SimClient::connected() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connected && m_broken_code == k_ok;
}

void SimClient::setReadTimeout(std::chrono::milliseconds timeout) {
    m_read_timeout_ms = timeout.count();
    if (m_socket.valid()) m_socket.setSendTimeout(timeout);
}

std::string SimClient::lastError() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_last_error;
}

int SimClient::fail(int code, std::string const& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return failLocked(code, text);
}

int SimClient::failLocked(int code, std::string const& text) {
    m_last_error = text.empty() ? errorName(code) : text;
    return code;
}

}  // namespace Protocol
