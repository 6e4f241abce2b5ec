#include "server/ProcessorSession.h"

#include "qxx/QxxReader.h"

#include <algorithm>
#include <map>

namespace SimServer {

using namespace Protocol;
using Simulator::ProcessorState;

namespace {

void answer(Response& response, int code, std::string text) {
    response.code = code;
    response.text = std::move(text);
}

uint64_t programEnd(Qxx::QxxImage const& image) {
    uint64_t const dataEnd = uint64_t(image.data.address) + image.data.bytes.size();
    uint64_t const bssEnd = uint64_t(image.bssAddress) + image.bssSize;
    return std::max(dataEnd, bssEnd);
}

// The program name is the client's text and goes into the log: control
// characters (a newline would forge a log line) become '?'.
std::string loggable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return text;
}

RunState runStateOf(ProcessorState state) {
    if (state == ProcessorState::Halted) return RunState::Halted;
    if (state == ProcessorState::Stopped) return RunState::Stopped;
    return RunState::Faulted;
}

}  // namespace

std::unique_ptr<ProcessorSession> ProcessorSession::create(ServerSettings const& settings,
                                                           std::function<void()> wake, std::string& error) {
    std::unique_ptr<Simulator::Processor> processor = Simulator::Processor::create(settings.processor, error);
    if (!processor) return nullptr;
    return std::unique_ptr<ProcessorSession>(
        new ProcessorSession(settings, std::move(processor), std::move(wake)));
}

ProcessorSession::ProcessorSession(ServerSettings const& settings,
                                   std::unique_ptr<Simulator::Processor> processor,
                                   std::function<void()> wake)
    : m_settings(settings),
      m_wake(std::move(wake)),
      m_trace(settings.traceBufferSize, m_wake),
      m_runner(std::move(processor)) {
    m_runner.setEndHandler([this](ProcessorState) { onRunEnd(); });
}

ProcessorSession::~ProcessorSession() {
    if (m_runner.active()) m_runner.abort();
    m_trace.abandon();  // a run waiting for room in the trace goes on to its end
    m_runner.wait();
    std::string ignored;
    processor().reset(ignored);  // makes a pending semaphore wait give up
    if (m_waiter.joinable()) m_waiter.join();
    processor().stopTrace();
}

ProcessorInfo ProcessorSession::info() const {
    Simulator::ProcessorConfig const& config = m_settings.processor;
    ProcessorInfo info;
    info.numPes = config.totalNumberPes;
    info.numThreads = config.numberThreads;
    info.numSemaphores = config.numberSemaphores;
    info.numProcessors = 1;
    info.endianness = static_cast<uint8_t>(config.byteOrder);
    info.monoMemoryStart = config.monoMemoryStart;
    info.monoMemorySize = config.monoMemorySize;
    info.maxProgramSize = m_settings.maxProgramSize;
    return info;
}

// The handler of each operation but the semaphore wait, which may answer
// later and so has a shape of its own.
ProcessorSession::Handler ProcessorSession::handlerOf(Operation operation) {
    static std::map<Operation, Handler> const k_handlers = {
        {Operation::Reset, &ProcessorSession::reset},
        {Operation::Load, &ProcessorSession::load},
        {Operation::Run, &ProcessorSession::run},
        {Operation::Halt, &ProcessorSession::halt},
        {Operation::Start, &ProcessorSession::resume},
        {Operation::ReturnValue, &ProcessorSession::returnValue},
        {Operation::ReadControlRegister, &ProcessorSession::readControlRegister},
        {Operation::WriteControlRegister, &ProcessorSession::writeControlRegister},
        {Operation::ReadMonoMemory, &ProcessorSession::readMonoMemory},
        {Operation::WriteMonoMemory, &ProcessorSession::writeMonoMemory},
        {Operation::SemaphoreSignal, &ProcessorSession::semaphoreSignal},
        {Operation::SymbolValue, &ProcessorSession::symbolValue},
        {Operation::FreeMemory, &ProcessorSession::freeMemory},
        {Operation::TraceOn, &ProcessorSession::traceOn},
        {Operation::TraceOff, &ProcessorSession::traceOff},
    };
    auto const found = k_handlers.find(operation);
    return found == k_handlers.end() ? nullptr : found->second;
}

bool ProcessorSession::handle(Request const& request, Response& response) {
    captureRunEnd();
    response = Response();
    response.sequence = request.sequence;
    if (request.operation == Operation::SemaphoreWait) return semaphoreWait(request, response);
    if (Handler const handler = handlerOf(request.operation))
        (this->*handler)(request, response);
    else
        answer(response, k_err_unknown_operation,
               "unknown operation " + std::to_string(static_cast<unsigned>(request.operation)));
    return true;
}

bool ProcessorSession::checkProgram(uint64_t handle, Response& response) const {
    if (handle == 0 && m_program != 0) return true;
    if (handle != 0 && handle == m_program) return true;
    answer(response, k_err_bad_argument,
           handle == 0 ? std::string("no program is loaded")
                       : "program " + std::to_string(handle) + " is not loaded");
    return false;
}

void ProcessorSession::reset(Request const&, Response& response) {
    abortRun(k_ok, std::string());
    std::string error;
    if (!processor().reset(error)) return answer(response, k_err_state, error);
    m_program = 0;
    m_program_end = 0;
}

void ProcessorSession::load(Request const& request, Response& response) {
    if (m_running) return answer(response, k_err_state, "cannot load while a program runs");
    if (request.data.size() > m_settings.maxProgramSize)
        return answer(response, k_err_program_too_large,
                      request.text + ": program of " + std::to_string(request.data.size()) +
                          " bytes exceeds the limit of " + std::to_string(m_settings.maxProgramSize) +
                          " bytes");
    Qxx::QxxImage image;
    std::string error;
    if (!Qxx::readQxx(request.data.data(), request.data.size(), image, error) ||
        !processor().load(image, error))
        return answer(response, k_err_bad_program, request.text + ": " + error);
    m_program = m_next_program++;
    m_program_name = loggable(request.text);
    m_program_size = request.data.size();
    m_program_end = programEnd(image);
    response.value = m_program;
}

void ProcessorSession::run(Request const& request, Response& response) {
    if (!checkProgram(request.a, response)) return;
    if (processor().state() != ProcessorState::Ready)
        return answer(
            response, k_err_state,
            std::string("cannot run a program that is ") + Simulator::stateName(processor().state()));
    startRun(response);
}

void ProcessorSession::resume(Request const&, Response& response) {
    if (processor().state() != ProcessorState::Stopped)
        return answer(response, k_err_state, "no stopped program");
    startRun(response);
}

bool ProcessorSession::startRun(Response& response) {
    if (m_running) {
        answer(response, k_err_state, "a program is already running");
        return false;
    }
    if (m_trace_on) startTrace();
    Simulator::RunLimits limits;
    limits.maxCycles = m_settings.maxCycles;
    std::string error;
    m_run_start = std::chrono::steady_clock::now();
    if (!m_runner.start(limits, error)) {
        stopTrace();
        answer(response, k_err_state, error);
        return false;
    }
    std::lock_guard<std::mutex> lock(m_event_mutex);
    m_running = true;
    return true;
}

void ProcessorSession::startTrace() {
    m_trace.open();
    processor().startTrace(&m_trace);
}

void ProcessorSession::stopTrace() {
    processor().stopTrace();
}

void ProcessorSession::halt(Request const&, Response& response) {
    if (!m_running) return answer(response, k_err_state, "no program is running");
    m_runner.halt();
}

void ProcessorSession::returnValue(Request const&, Response& response) {
    ProcessorState const state = processor().state();
    if (state == ProcessorState::Halted) {
        response.value = static_cast<uint32_t>(processor().returnValue());
    } else if (state == ProcessorState::Faulted && !m_running) {
        answer(response, k_err_program_faulted, processor().faultText());
    } else {
        answer(response, k_err_state, "no program has terminated");
    }
}

void ProcessorSession::readControlRegister(Request const& request, Response& response) {
    uint32_t value = 0;
    std::string error;
    if (request.a > UINT32_MAX || !processor().readControlRegister(uint32_t(request.a), value, error))
        return answer(response, k_err_bad_argument, error.empty() ? "no such control register" : error);
    response.value = value;
}

void ProcessorSession::writeControlRegister(Request const& request, Response& response) {
    std::string error;
    if (m_running)
        return answer(response, k_err_state, "cannot write a control register while a program runs");
    if (request.a > UINT32_MAX || request.b > UINT32_MAX ||
        !processor().writeControlRegister(uint32_t(request.a), uint32_t(request.b), error))
        answer(response, k_err_bad_argument, error.empty() ? "bad control register or value" : error);
}

void ProcessorSession::readMonoMemory(Request const& request, Response& response) {
    if (request.b > k_max_transfer_size)
        return answer(response, k_err_bad_argument,
                      "cannot read more than " + std::to_string(k_max_transfer_size) + " bytes at once");
    response.data.resize(request.b);
    std::string error;
    if (!processor().readMonoMemory(request.a, response.data.data(), response.data.size(), error)) {
        response.data.clear();
        answer(response, k_err_memory, error);
    }
}

void ProcessorSession::writeMonoMemory(Request const& request, Response& response) {
    if (request.data.size() > k_max_transfer_size)
        return answer(response, k_err_bad_argument,
                      "cannot write more than " + std::to_string(k_max_transfer_size) + " bytes at once");
    std::string error;
    if (!processor().writeMonoMemory(request.a, request.data.data(), request.data.size(), error))
        answer(response, k_err_memory, error);
}

bool ProcessorSession::semaphoreWait(Request const& request, Response& response) {
    if (request.a >= m_settings.processor.numberSemaphores) {
        answer(response, k_err_no_such_semaphore, "no semaphore " + std::to_string(request.a));
        return true;
    }
    std::lock_guard<std::mutex> lock(m_event_mutex);
    if (m_wait_pending) {
        answer(response, k_err_state, "a semaphore wait is already pending");
        return true;
    }
    if (m_waiter.joinable()) m_waiter.join();  // the previous wait has finished
    m_wait_pending = true;
    unsigned const index = static_cast<unsigned>(request.a);
    m_waiter = std::thread([this, index, answerTo = response] {
        Response done = answerTo;
        if (processor().semaphoreWait(index) != Simulator::HostWait::Acquired)
            answer(done, k_err_state,
                   "semaphore " + std::to_string(index) + " cannot be taken: no program runs");
        {
            std::lock_guard<std::mutex> finished(m_event_mutex);
            m_completions.push_back(std::move(done));
            m_wait_pending = false;
        }
        m_wake();
    });
    return false;
}

void ProcessorSession::semaphoreSignal(Request const& request, Response& response) {
    std::string error;
    if (request.a >= m_settings.processor.numberSemaphores ||
        !processor().semaphoreSignal(static_cast<unsigned>(request.a), error))
        answer(response, k_err_no_such_semaphore, "no semaphore " + std::to_string(request.a));
}

void ProcessorSession::symbolValue(Request const& request, Response& response) {
    if (!checkProgram(request.a, response)) return;
    uint32_t value = 0;
    if (!processor().symbolValue(request.text, value))
        return answer(response, k_err_no_such_symbol, "no symbol " + request.text);
    response.value = value;
}

// The host allocates in the mono memory between the program, rounded up to
// 8 bytes, and the stack.
void ProcessorSession::freeMemory(Request const&, Response& response) {
    Simulator::ProcessorConfig const& config = m_settings.processor;
    auto const alignUp = [](uint64_t value) { return (value + 7) & ~uint64_t(7); };
    uint64_t const floor = alignUp(std::max<uint64_t>(config.monoMemoryStart, m_program_end));
    uint64_t const top = uint64_t(config.monoMemoryStart) + config.monoMemorySize - config.monoStackSize;
    response.value = top > floor ? top - floor : 0;
}

void ProcessorSession::traceOn(Request const&, Response&) {
    m_trace_on = true;
}

void ProcessorSession::traceOff(Request const&, Response&) {
    m_trace_on = false;
}

std::vector<Response> ProcessorSession::takeCompletions() {
    std::lock_guard<std::mutex> lock(m_event_mutex);
    std::vector<Response> completed;
    completed.swap(m_completions);
    return completed;
}

bool ProcessorSession::busy() const {
    std::lock_guard<std::mutex> lock(m_event_mutex);
    return m_running || m_wait_pending;
}

std::chrono::milliseconds ProcessorSession::runTime() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 m_run_start);
}

void ProcessorSession::takeTrace(std::vector<std::vector<uint8_t>>& chunks, size_t most) {
    while (most > 0) {
        std::vector<uint8_t> chunk;
        if (m_trace.take(chunk, std::min<size_t>(most, k_max_trace_chunk)) == 0) break;
        most -= chunk.size();
        chunks.push_back(std::move(chunk));
    }
}

void ProcessorSession::onRunEnd() {
    {
        std::lock_guard<std::mutex> lock(m_event_mutex);
        m_run_ended = true;
    }
    m_wake();
}

// Records how a run ended as soon as it has, before a later request
// (reset, load) clears the processor's state.
void ProcessorSession::captureRunEnd() {
    {
        std::lock_guard<std::mutex> lock(m_event_mutex);
        if (!m_run_ended) return;
        m_run_ended = false;
    }
    m_runner.wait();
    stopTrace();
    {
        std::lock_guard<std::mutex> lock(m_event_mutex);
        m_running = false;
    }
    ProcessorState const state = processor().state();
    RunRecord& record = m_ended_run;
    record.program = m_program_name;
    record.programSize = m_program_size;
    record.duration = runTime();
    record.ended.code = m_abort_code;
    record.ended.state = runStateOf(state);
    record.ended.returnValue = state == ProcessorState::Halted ? processor().returnValue() : 0;
    record.ended.cycles = processor().cycles();
    record.ended.text = m_abort_code != k_ok ? m_abort_text : processor().faultText();
    m_abort_code = k_ok;
    m_abort_text.clear();
    m_have_ended_run = true;
}

bool ProcessorSession::takeRunEnd(RunRecord& record) {
    captureRunEnd();
    if (!m_have_ended_run) return false;
    record = m_ended_run;
    m_have_ended_run = false;
    return true;
}

void ProcessorSession::abortRun(int code, std::string const& text) {
    if (!m_running) return;
    m_abort_code = code;
    m_abort_text = text;
    m_runner.abort();
    m_trace.abandon();
    m_runner.wait();
    captureRunEnd();
}

}  // namespace SimServer
