#include "protocol/SimClient.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace Protocol {

namespace {

std::string baseName(std::string const& path)
{
    size_t const slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool readWholeFile(std::string const& path, uint32_t limit, std::vector<uint8_t>& bytes, int& code,
                   std::string& error)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        code = kErrBadProgram;
        error = "cannot read " + path;
        return false;
    }
    std::streamoff const size = file.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > limit) {
        code = kErrProgramTooLarge;
        error = path + ": program of " + std::to_string(size) + " bytes exceeds the limit of " +
                std::to_string(limit) + " bytes";
        return false;
    }
    file.seekg(0);
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

Request request(Operation operation, uint64_t a = 0, uint64_t b = 0)
{
    Request r;
    r.operation = operation;
    r.a = a;
    r.b = b;
    return r;
}

} // namespace

SimClient::~SimClient() { close(); }

int SimClient::connect(std::string const& host, uint16_t port, std::string const& token,
                       std::chrono::milliseconds connectTimeout)
{
    close();
    for (uint16_t version = kVersion;; version = kOldestVersion) {
        std::string error;
        Socket socket;
        if (!Socket::connectTo(host, port, connectTimeout, socket, error))
            return fail(kErrConnect, "cannot connect to " + host + " port " + std::to_string(port) + ": " + error);
        socket.setSendTimeout(readTimeout());
        m_socket = std::move(socket);
        m_decoder = FrameDecoder();
        int const code = handshake(token, version);
        if (code == kOk) break;
        m_socket.close();
        if (code != kErrVersion || version == kOldestVersion) return code;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connected = true;
    m_brokenCode = kOk;
    m_brokenText.clear();
    m_runActive = false;
    m_lastRun = RunResult();
    return kOk;
}

int SimClient::handshake(std::string const& token, uint16_t version)
{
    Hello hello;
    hello.version = version;
    hello.token = token;
    std::string error;
    if (!m_socket.sendAll(encode(hello), error)) return fail(kErrConnect, "cannot send the handshake: " + error);
    Frame frame;
    int code = kOk;
    // Each queued notice renews the read timeout: the server bounds the wait.
    while ((code = readFrame(frame, error)) == kOk && frame.type == FrameType::Queued) {
        Queued queued;
        if (!decode(frame, queued, error)) return fail(kErrProtocol, error);
    }
    if (code != kOk) return fail(code == kErrTimeout ? kErrTimeout : kErrConnect, "handshake failed: " + error);
    if (frame.type == FrameType::Error) {
        ErrorMessage refused;
        if (!decode(frame, refused, error)) return fail(kErrProtocol, error);
        return fail(refused.code, refused.text);
    }
    Welcome welcome;
    if (!decode(frame, welcome, error)) return fail(kErrProtocol, error);
    m_info = welcome.processor;
    return kOk;
}

void SimClient::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_socket.close();
    m_connected = false;
    m_pending.clear();
    m_operations.clear();
    if (m_trace.is_open()) m_trace.close();
}

bool SimClient::connected() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connected && m_brokenCode == kOk;
}

void SimClient::setReadTimeout(std::chrono::milliseconds timeout)
{
    m_readTimeoutMs = timeout.count();
    if (m_socket.valid()) m_socket.setSendTimeout(timeout);
}

std::string SimClient::lastError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastError;
}

int SimClient::fail(int code, std::string const& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return failLocked(code, text);
}

int SimClient::failLocked(int code, std::string const& text)
{
    m_lastError = text.empty() ? errorName(code) : text;
    return code;
}

// Waits for one whole frame, at most the read timeout.
int SimClient::readFrame(Frame& frame, std::string& error)
{
    uint8_t buffer[65536];
    for (;;) {
        switch (m_decoder.next(frame)) {
        case FrameDecoder::Result::Frame: return kOk;
        case FrameDecoder::Result::Error: error = m_decoder.error(); return kErrProtocol;
        case FrameDecoder::Result::NeedMore: break;
        }
        size_t got = 0;
        switch (m_socket.receive(buffer, sizeof buffer, readTimeout(), got, error)) {
        case Socket::Received::Data: m_decoder.feed(buffer, got); break;
        case Socket::Received::Timeout:
            error = "no answer from the simulator server within " + std::to_string(readTimeout().count()) + " ms";
            return kErrTimeout;
        case Socket::Received::Closed: error = "the simulator server closed the connection"; return kErrConnectionLost;
        case Socket::Received::Failed: return kErrConnectionLost;
        }
    }
}

// Reads frames until done() holds. One thread reads at a time; a thread
// that finds another reading waits for it to hand over the frames.
int SimClient::pump(std::unique_lock<std::mutex>& lock, std::function<bool()> const& done)
{
    for (;;) {
        if (done()) return kOk;
        if (m_brokenCode != kOk) return failLocked(m_brokenCode, m_brokenText);
        if (m_reading) {
            uint64_t const seen = m_framesSeen;
            bool const moved = m_changed.wait_for(lock, readTimeout(), [&] {
                return done() || m_brokenCode != kOk || !m_reading || m_framesSeen != seen;
            });
            if (!moved)
                return failLocked(kErrTimeout, "no answer from the simulator server within " +
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
        if (code == kOk) {
            ++m_framesSeen;
            dispatch(frame);
        } else if (code != kErrTimeout) {
            breakConnection(code, error);
        }
        m_changed.notify_all();
        if (code == kErrTimeout) return failLocked(code, error);
    }
}

void SimClient::breakConnection(int code, std::string const& text)
{
    if (m_brokenCode != kOk) return;
    m_brokenCode = code;
    m_brokenText = text;
    if (m_runActive) {
        m_runActive = false;
        m_lastRun = RunResult();
        m_lastRun.ended = true;
        m_lastRun.code = code;
        m_lastRun.text = text;
    }
}

void SimClient::dispatch(Frame const& frame)
{
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
            m_runMilliseconds = heartbeat.milliseconds;
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
    breakConnection(kErrProtocol, error);
}

void SimClient::dispatchResponse(Response&& response)
{
    auto const pending = m_pending.find(response.sequence);
    if (pending == m_pending.end()) return;  // its caller gave up waiting
    Operation const operation = m_operations[response.sequence];
    if (response.code == kOk && (operation == Operation::Run || operation == Operation::Start)) {
        m_runActive = true;
        m_runMilliseconds = 0;
    }
    pending->second.arrived = true;
    pending->second.response = std::move(response);
}

void SimClient::dispatchEnded(Ended const& ended)
{
    m_runActive = false;
    m_lastRun.ended = true;
    m_lastRun.code = ended.code;
    m_lastRun.state = ended.state;
    m_lastRun.returnValue = ended.returnValue;
    m_lastRun.cycles = ended.cycles;
    m_lastRun.text = ended.text;
    if (m_trace.is_open()) m_trace.flush();
}

void SimClient::appendTrace(std::vector<uint8_t> const& bytes)
{
    if (!m_trace.is_open()) m_trace.open(m_traceFile, std::ios::binary | std::ios::trunc);
    m_trace.write(reinterpret_cast<char const*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int SimClient::call(Request request, Response& response)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_connected) return failLocked(kErrNotConnected, "not connected to a simulator server");
    if (m_brokenCode != kOk) return failLocked(m_brokenCode, m_brokenText);
    uint32_t const sequence = m_nextSequence++;
    request.sequence = sequence;
    m_pending[sequence] = Answer();
    m_operations[sequence] = request.operation;
    lock.unlock();

    std::string error;
    bool sent = false;
    {
        std::lock_guard<std::mutex> sending(m_sendMutex);
        sent = m_socket.sendAll(encode(request), error);
    }
    lock.lock();
    if (!sent) breakConnection(kErrConnectionLost, "cannot send to the simulator server: " + error);
    int const code = pump(lock, [&] { return m_pending[sequence].arrived; });
    Answer answer = std::move(m_pending[sequence]);
    m_pending.erase(sequence);
    m_operations.erase(sequence);
    if (code != kOk) return code;
    response = std::move(answer.response);
    if (response.code != kOk) return failLocked(response.code, response.text);
    return kOk;
}

int SimClient::numPes(uint32_t& count) const
{
    if (!connected()) return kErrNotConnected;
    count = m_info.numPes;
    return kOk;
}

int SimClient::numThreads(uint32_t& count) const
{
    if (!connected()) return kErrNotConnected;
    count = m_info.numThreads;
    return kOk;
}

int SimClient::numProcessors(uint32_t& count) const
{
    if (!connected()) return kErrNotConnected;
    count = m_info.numProcessors;
    return kOk;
}

int SimClient::numSemaphores(uint32_t& count) const
{
    if (!connected()) return kErrNotConnected;
    count = m_info.numSemaphores;
    return kOk;
}

int SimClient::endianness(int& order) const
{
    if (!connected()) return kErrNotConnected;
    order = m_info.endianness;
    return kOk;
}

int SimClient::reset()
{
    Response response;
    return call(request(Operation::Reset), response);
}

int SimClient::load(std::string const& path, uint32_t& program)
{
    std::vector<uint8_t> bytes;
    int code = kOk;
    std::string error;
    if (!readWholeFile(path, m_info.maxProgramSize, bytes, code, error)) return fail(code, error);
    return loadImage(baseName(path), bytes, program);
}

int SimClient::loadImage(std::string const& name, std::vector<uint8_t> const& bytes, uint32_t& program)
{
    if (bytes.size() > m_info.maxProgramSize)
        return fail(kErrProgramTooLarge, name + ": program of " + std::to_string(bytes.size()) +
                                             " bytes exceeds the limit of " +
                                             std::to_string(m_info.maxProgramSize) + " bytes");
    Request load = request(Operation::Load);
    load.text = name.substr(0, kMaxStringLength);
    load.data = bytes;
    Response response;
    int const code = call(std::move(load), response);
    if (code == kOk) program = static_cast<uint32_t>(response.value);
    return code;
}

int SimClient::unload(uint32_t program)
{
    Response response;
    return call(request(Operation::Unload, program), response);
}

int SimClient::run() { return runProcess(0); }

int SimClient::runProcess(uint32_t program)
{
    Response response;
    return call(request(Operation::Run, program), response);
}

int SimClient::halt()
{
    Response response;
    return call(request(Operation::Halt), response);
}

int SimClient::start()
{
    Response response;
    return call(request(Operation::Start), response);
}

int SimClient::waitOnTerminate()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_connected) return failLocked(kErrNotConnected, "not connected to a simulator server");
    if (!m_runActive && !m_lastRun.ended) return failLocked(kErrState, "no program has been started");
    int const code = pump(lock, [&] { return !m_runActive; });
    if (code != kOk) return code;
    return runResultCode();
}

int SimClient::runResultCode()
{
    if (m_lastRun.code != kOk) return failLocked(m_lastRun.code, m_lastRun.text);
    if (m_lastRun.state == RunState::Faulted) return failLocked(kErrProgramFaulted, m_lastRun.text);
    if (m_lastRun.state == RunState::Stopped)
        return failLocked(kErrProgramStopped, "the program was stopped by a halt request");
    return kOk;
}

RunResult SimClient::lastRun() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastRun;
}

std::chrono::milliseconds SimClient::runTime() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::chrono::milliseconds(m_runMilliseconds);
}

int SimClient::returnValue(int32_t& value)
{
    Response response;
    int const code = call(request(Operation::ReturnValue), response);
    if (code == kOk) value = static_cast<int32_t>(static_cast<uint32_t>(response.value));
    return code;
}

int SimClient::readControlRegister(uint32_t reg, uint32_t& value)
{
    Response response;
    int const code = call(request(Operation::ReadControlRegister, reg), response);
    if (code == kOk) value = static_cast<uint32_t>(response.value);
    return code;
}

int SimClient::writeControlRegister(uint32_t reg, uint32_t value)
{
    Response response;
    return call(request(Operation::WriteControlRegister, reg, value), response);
}

int SimClient::readMonoMemory(uint64_t address, void* data, uint32_t size)
{
    uint8_t* out = static_cast<uint8_t*>(data);
    for (uint32_t done = 0; done < size;) {
        uint32_t const piece = std::min(size - done, kMaxTransferSize);
        Response response;
        int const code = call(request(Operation::ReadMonoMemory, address + done, piece), response);
        if (code != kOk) return code;
        if (response.data.size() != piece)
            return fail(kErrProtocol, "the server sent " + std::to_string(response.data.size()) +
                                          " bytes of memory for " + std::to_string(piece));
        std::copy(response.data.begin(), response.data.end(), out + done);
        done += piece;
    }
    return kOk;
}

int SimClient::writeMonoMemory(uint64_t address, void const* data, uint32_t size)
{
    uint8_t const* in = static_cast<uint8_t const*>(data);
    for (uint32_t done = 0; done < size;) {
        uint32_t const piece = std::min(size - done, kMaxTransferSize);
        Request write = request(Operation::WriteMonoMemory, address + done);
        write.data.assign(in + done, in + done + piece);
        Response response;
        int const code = call(std::move(write), response);
        if (code != kOk) return code;
        done += piece;
    }
    return kOk;
}

int SimClient::registerSemaphore(uint32_t semaphore)
{
    Response response;
    return call(request(Operation::RegisterSemaphore, semaphore), response);
}

int SimClient::semaphoreWait(uint32_t semaphore)
{
    Response response;
    return call(request(Operation::SemaphoreWait, semaphore), response);
}

int SimClient::semaphoreSignal(uint32_t semaphore)
{
    Response response;
    return call(request(Operation::SemaphoreSignal, semaphore), response);
}

int SimClient::symbolValue(uint32_t program, std::string const& name, uint64_t& value)
{
    if (name.size() > kMaxStringLength) return fail(kErrNoSuchSymbol, "symbol name too long");
    Request lookup = request(Operation::SymbolValue, program);
    lookup.text = name;
    Response response;
    int const code = call(std::move(lookup), response);
    if (code == kOk) value = response.value;
    return code;
}

int SimClient::freeMemory(uint64_t& bytes)
{
    Response response;
    int const code = call(request(Operation::FreeMemory), response);
    if (code == kOk) bytes = response.value;
    return code;
}

int SimClient::allocate(uint32_t size, bool persistent, uint64_t& address)
{
    Response response;
    int const code = call(request(Operation::Allocate, size, persistent ? 1 : 0), response);
    if (code == kOk) address = response.value;
    return code;
}

int SimClient::free(uint64_t address)
{
    Response response;
    return call(request(Operation::Free, address), response);
}

int SimClient::enableTrace()
{
    Response response;
    return call(request(Operation::TraceOn), response);
}

int SimClient::disableTrace()
{
    Response response;
    return call(request(Operation::TraceOff), response);
}

int SimClient::setTraceFile(std::string const& path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_trace.is_open()) m_trace.close();
    m_traceFile = path;
    m_trace.open(path, std::ios::binary | std::ios::trunc);
    if (!m_trace) return failLocked(kErrTraceFile, "cannot write the trace file " + path);
    return kOk;
}

} // namespace Protocol
