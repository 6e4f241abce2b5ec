#include "protocol/SimClient.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace Protocol {

namespace {

std::string baseName(std::string const& path) {
    size_t const slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool readWholeFile(std::string const& path, uint32_t limit, std::vector<uint8_t>& bytes, int& code,
                   std::string& error) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        code = k_err_bad_program;
        error = "cannot read " + path;
        return false;
    }
    std::streamoff const size = file.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > limit) {
        code = k_err_program_too_large;
        error = path + ": program of " + std::to_string(size) + " bytes exceeds the limit of " +
                std::to_string(limit) + " bytes";
        return false;
    }
    file.seekg(0);
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

Request request(Operation operation, uint64_t a = 0, uint64_t b = 0) {
    Request r;
    r.operation = operation;
    r.a = a;
    r.b = b;
    return r;
}

}  // namespace

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

// Waits for one whole frame, at most the read timeout.
int SimClient::readFrame(Frame& frame, std::string& error) {
    uint8_t buffer[65536];
    for (;;) {
        switch (m_decoder.next(frame)) {
            case FrameDecoder::Result::Frame:
                return k_ok;
            case FrameDecoder::Result::Error:
                error = m_decoder.error();
                return k_err_protocol;
            case FrameDecoder::Result::NeedMore:
                break;
        }
        size_t got = 0;
        switch (m_socket.receive(buffer, sizeof buffer, readTimeout(), got, error)) {
            case Socket::Received::Data:
                m_decoder.feed(buffer, got);
                break;
            case Socket::Received::Timeout:
                error = "no answer from the simulator server within " +
                        std::to_string(readTimeout().count()) + " ms";
                return k_err_timeout;
            case Socket::Received::Closed:
                error = "the simulator server closed the connection";
                return k_err_connection_lost;
            case Socket::Received::Failed:
                return k_err_connection_lost;
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

int SimClient::numPes(uint32_t& count) const {
    if (!connected()) return k_err_not_connected;
    count = m_info.numPes;
    return k_ok;
}

int SimClient::numThreads(uint32_t& count) const {
    if (!connected()) return k_err_not_connected;
    count = m_info.numThreads;
    return k_ok;
}

int SimClient::numProcessors(uint32_t& count) const {
    if (!connected()) return k_err_not_connected;
    count = m_info.numProcessors;
    return k_ok;
}

int SimClient::numSemaphores(uint32_t& count) const {
    if (!connected()) return k_err_not_connected;
    count = m_info.numSemaphores;
    return k_ok;
}

int SimClient::endianness(int& order) const {
    if (!connected()) return k_err_not_connected;
    order = m_info.endianness;
    return k_ok;
}

int SimClient::reset() {
    Response response;
    return call(request(Operation::Reset), response);
}

int SimClient::load(std::string const& path, uint32_t& program) {
    std::vector<uint8_t> bytes;
    int code = k_ok;
    std::string error;
    if (!readWholeFile(path, m_info.maxProgramSize, bytes, code, error)) return fail(code, error);
    return loadImage(baseName(path), bytes, program);
}

int SimClient::loadImage(std::string const& name, std::vector<uint8_t> const& bytes, uint32_t& program) {
    if (bytes.size() > m_info.maxProgramSize)
        return fail(k_err_program_too_large, name + ": program of " + std::to_string(bytes.size()) +
                                                 " bytes exceeds the limit of " +
                                                 std::to_string(m_info.maxProgramSize) + " bytes");
    Request load = request(Operation::Load);
    load.text = name.substr(0, k_max_string_length);
    load.data = bytes;
    Response response;
    int const code = call(std::move(load), response);
    if (code == k_ok) program = static_cast<uint32_t>(response.value);
    return code;
}

int SimClient::unload(uint32_t program) {
    Response response;
    return call(request(Operation::Unload, program), response);
}

int SimClient::run() {
    return runProcess(0);
}

int SimClient::runProcess(uint32_t program) {
    Response response;
    return call(request(Operation::Run, program), response);
}

int SimClient::halt() {
    Response response;
    return call(request(Operation::Halt), response);
}

int SimClient::start() {
    Response response;
    return call(request(Operation::Start), response);
}

int SimClient::waitOnTerminate() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_connected) return failLocked(k_err_not_connected, "not connected to a simulator server");
    if (!m_run_active && !m_last_run.ended) return failLocked(k_err_state, "no program has been started");
    int const code = pump(lock, [&] { return !m_run_active; });
    if (code != k_ok) return code;
    return runResultCode();
}

int SimClient::runResultCode() {
    if (m_last_run.code != k_ok) return failLocked(m_last_run.code, m_last_run.text);
    if (m_last_run.state == RunState::Faulted) return failLocked(k_err_program_faulted, m_last_run.text);
    if (m_last_run.state == RunState::Stopped)
        return failLocked(k_err_program_stopped, "the program was stopped by a halt request");
    return k_ok;
}

RunResult SimClient::lastRun() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_last_run;
}

std::chrono::milliseconds SimClient::runTime() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::chrono::milliseconds(m_run_milliseconds);
}

int SimClient::returnValue(int32_t& value) {
    Response response;
    int const code = call(request(Operation::ReturnValue), response);
    if (code == k_ok) value = static_cast<int32_t>(static_cast<uint32_t>(response.value));
    return code;
}

int SimClient::readControlRegister(uint32_t reg, uint32_t& value) {
    Response response;
    int const code = call(request(Operation::ReadControlRegister, reg), response);
    if (code == k_ok) value = static_cast<uint32_t>(response.value);
    return code;
}

int SimClient::writeControlRegister(uint32_t reg, uint32_t value) {
    Response response;
    return call(request(Operation::WriteControlRegister, reg, value), response);
}

int SimClient::readMonoMemory(uint64_t address, void* data, uint32_t size) {
    uint8_t* out = static_cast<uint8_t*>(data);
    for (uint32_t done = 0; done < size;) {
        uint32_t const piece = std::min(size - done, k_max_transfer_size);
        Response response;
        int const code = call(request(Operation::ReadMonoMemory, address + done, piece), response);
        if (code != k_ok) return code;
        if (response.data.size() != piece)
            return fail(k_err_protocol, "the server sent " + std::to_string(response.data.size()) +
                                            " bytes of memory for " + std::to_string(piece));
        std::copy(response.data.begin(), response.data.end(), out + done);
        done += piece;
    }
    return k_ok;
}

int SimClient::writeMonoMemory(uint64_t address, void const* data, uint32_t size) {
    uint8_t const* in = static_cast<uint8_t const*>(data);
    for (uint32_t done = 0; done < size;) {
        uint32_t const piece = std::min(size - done, k_max_transfer_size);
        Request write = request(Operation::WriteMonoMemory, address + done);
        write.data.assign(in + done, in + done + piece);
        Response response;
        int const code = call(std::move(write), response);
        if (code != k_ok) return code;
        done += piece;
    }
    return k_ok;
}

int SimClient::registerSemaphore(uint32_t semaphore) {
    Response response;
    return call(request(Operation::RegisterSemaphore, semaphore), response);
}

int SimClient::semaphoreWait(uint32_t semaphore) {
    Response response;
    return call(request(Operation::SemaphoreWait, semaphore), response);
}

int SimClient::semaphoreSignal(uint32_t semaphore) {
    Response response;
    return call(request(Operation::SemaphoreSignal, semaphore), response);
}

int SimClient::symbolValue(uint32_t program, std::string const& name, uint64_t& value) {
    if (name.size() > k_max_string_length) return fail(k_err_no_such_symbol, "symbol name too long");
    Request lookup = request(Operation::SymbolValue, program);
    lookup.text = name;
    Response response;
    int const code = call(std::move(lookup), response);
    if (code == k_ok) value = response.value;
    return code;
}

int SimClient::freeMemory(uint64_t& bytes) {
    Response response;
    int const code = call(request(Operation::FreeMemory), response);
    if (code == k_ok) bytes = response.value;
    return code;
}

int SimClient::allocate(uint32_t size, bool persistent, uint64_t& address) {
    Response response;
    int const code = call(request(Operation::Allocate, size, persistent ? 1 : 0), response);
    if (code == k_ok) address = response.value;
    return code;
}

int SimClient::free(uint64_t address) {
    Response response;
    return call(request(Operation::Free, address), response);
}

int SimClient::enableTrace() {
    Response response;
    return call(request(Operation::TraceOn), response);
}

int SimClient::disableTrace() {
    Response response;
    return call(request(Operation::TraceOff), response);
}

int SimClient::setTraceFile(std::string const& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_trace.is_open()) m_trace.close();
    m_trace_file = path;
    m_trace.open(path, std::ios::binary | std::ios::trunc);
    if (!m_trace) return failLocked(k_err_trace_file, "cannot write the trace file " + path);
    return k_ok;
}

}  // namespace Protocol
