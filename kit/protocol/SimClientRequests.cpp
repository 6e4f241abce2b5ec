// The operations of the client, each one request and its answer, and the
// end of a run as the stream reported it.
#include "protocol/SimClient.h"

#include <algorithm>

namespace Protocol {

namespace {

Request request(Operation operation, uint64_t a = 0, uint64_t b = 0) {
    Request r;
    r.operation = operation;
    r.a = a;
    r.b = b;
    return r;
}

}  // namespace

int SimClient::reset() {
    Response response;
    return call(request(Operation::Reset), response);
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

int SimClient::run() {
    Response response;
    return call(request(Operation::Run), response);
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
