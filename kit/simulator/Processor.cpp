#include "simulator/Processor.h"
#include "qxx/ErrorText.h"

#include "simulator/TraceWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Simulator {

namespace {

using Qxx::fail;
using Qxx::hex;

// Instructions between two looks at the stop flag and the cycle limit.
constexpr uint64_t k_slice_length = 4096;

}  // namespace

char const* stateName(ProcessorState state) {
    switch (state) {
        case ProcessorState::Empty: return "empty";
        case ProcessorState::Ready: return "ready";
        case ProcessorState::Running: return "running";
        case ProcessorState::Stopped: return "stopped";
        case ProcessorState::Halted: return "halted";
        case ProcessorState::Faulted: return "faulted";
    }
    return "unknown";
}

std::unique_ptr<Processor> Processor::create(ProcessorConfig const& config, std::string& error) {
    if (!config.validate(error)) return nullptr;
    return std::unique_ptr<Processor>(new Processor(config));
}

Processor::Processor(ProcessorConfig const& config)
    : m_config(config),
      m_mono_start(config.monoMemoryStart),
      m_mono_size(config.monoMemorySize),
      m_stack_base(config.monoMemoryStart + config.monoMemorySize - config.monoStackSize),
      m_stack_top(config.monoMemoryStart + config.monoMemorySize),
      m_mono(config.monoMemorySize),
      m_poly(config.totalNumberPes, config.polyRegisterCount(), config.polyMemorySize, config.enableStackSize,
             config.byteOrder),
      m_semaphores(config.numberSemaphores) {}

Processor::~Processor() {
    stopTrace();
}

void Processor::clearMachine() {
    std::fill(m_mono.begin(), m_mono.end(), 0);
    m_regs.fill(0);
    m_regs[k_stack_pointer] = m_stack_top;
    m_poly.reset();
    m_semaphores.reset();
    m_program = DecodedProgram();
    m_symbols.clear();
    m_code_names.clear();
    m_pc = 0;
    m_cycles = 0;
    m_return_value = 0;
    m_fault_text.clear();
    m_stop.store(0);
}

bool Processor::reset(std::string& error) {
    if (state() == ProcessorState::Running)
        return fail(error, "cannot reset the processor while a program runs");
    clearMachine();
    m_state.store(ProcessorState::Empty);
    m_semaphores.setOpen(false);
    return true;
}

bool Processor::checkLoadable(Qxx::QxxImage const& image, std::string& error) const {
    if (!Qxx::validateImage(image, error)) return false;
    if (image.byteOrder != m_config.byteOrder)
        return fail(error, std::string("the program is ") + Qxx::byteOrderName(image.byteOrder) +
                               "-endian but the processor is " + Qxx::byteOrderName(m_config.byteOrder) +
                               "-endian");
    struct Part {
        char const* name;
        uint64_t start;
        uint64_t size;
    } const parts[] = {{"data", image.data.address, image.data.bytes.size()},
                       {"bss", image.bssAddress, image.bssSize}};
    for (Part const& part : parts) {
        if (part.size == 0) continue;
        if (part.start < m_mono_start || part.start + part.size > m_stack_base)
            return fail(error, std::string("the ") + part.name + " section " + hex(part.start) + ".." +
                                   hex(part.start + part.size) + " does not fit in mono memory " +
                                   hex(m_mono_start) + ".." + hex(m_stack_base) + " below the stack");
    }
    return true;
}

bool Processor::load(Qxx::QxxImage const& image, std::string& error) {
    if (state() == ProcessorState::Running) return fail(error, "cannot load a program while one runs");
    if (!checkLoadable(image, error)) return false;
    clearMachine();
    std::copy(image.data.bytes.begin(), image.data.bytes.end(),
              m_mono.begin() + (image.data.address - m_mono_start));
    m_program = decodeProgram(image.code.bytes, image.code.address, image.byteOrder,
                              RegisterCounts{m_config.monoRegisterCount(), m_config.polyRegisterCount()});
    m_program.indexOf(image.entry, m_pc);
    m_symbols = image.symbols;
    for (Qxx::Symbol const& symbol : m_symbols)
        if (symbol.kind == Qxx::SymbolKind::Code && m_code_names.count(symbol.value) == 0)
            m_code_names[symbol.value] = symbol.name;
    m_state.store(ProcessorState::Ready);
    m_semaphores.setOpen(true);
    return true;
}

ProcessorState Processor::run(RunLimits const& limits) {
    ProcessorState current = m_state.load();
    if (current != ProcessorState::Ready && current != ProcessorState::Stopped) return current;
    if (!m_state.compare_exchange_strong(current, ProcessorState::Running)) return current;
    ProcessorState end = runLoop(limits);
    if (end != ProcessorState::Stopped) m_semaphores.setOpen(false);
    m_state.store(end);
    return end;
}

ProcessorState Processor::runLoop(RunLimits const& limits) {
    for (;;) {
        if (m_stop.load(std::memory_order_relaxed) != 0) {
            if (m_stop.exchange(0) == uint8_t(StopRequest::Abort)) {
                faultAt(m_pc, "aborted by the host");
                return ProcessorState::Faulted;
            }
            return ProcessorState::Stopped;
        }
        uint64_t budget = k_slice_length;
        if (limits.maxCycles != 0) {
            if (m_cycles >= limits.maxCycles) {
                faultAt(m_pc, "cycle limit of " + std::to_string(limits.maxCycles) + " cycles reached");
                return ProcessorState::Faulted;
            }
            budget = std::min(budget, limits.maxCycles - m_cycles);
        }
        Exit exit = m_tracing.load(std::memory_order_relaxed) ? traceSlice(budget) : executeSlice(budget);
        if (exit == Exit::Halted) return ProcessorState::Halted;
        if (exit == Exit::Faulted) return ProcessorState::Faulted;
        if (exit == Exit::Blocked) m_semaphores.waitAvailable(m_blocked_semaphore, m_stop);
    }
}

void Processor::requestStop(StopRequest request) {
    uint8_t wanted = uint8_t(request);
    uint8_t current = m_stop.load();
    while (wanted > current && !m_stop.compare_exchange_weak(current, wanted)) {}
    m_semaphores.wakeAll();
}

uint32_t Processor::pcAddress() const {
    if (m_program.code.empty()) return 0;
    return m_program.addressOf(m_pc);
}

bool Processor::readMonoMemory(uint64_t address, void* data, size_t size, std::string& error) const {
    uint64_t offset = address - m_mono_start;
    if (address < m_mono_start || offset > m_mono_size || size > m_mono_size - offset)
        return fail(error, "mono memory access out of range: " + hex(address) + ", " + std::to_string(size) +
                               " bytes");
    if (size != 0) std::memcpy(data, &m_mono[offset], size);
    return true;
}

bool Processor::writeMonoMemory(uint64_t address, void const* data, size_t size, std::string& error) {
    uint64_t offset = address - m_mono_start;
    if (address < m_mono_start || offset > m_mono_size || size > m_mono_size - offset)
        return fail(error, "mono memory access out of range: " + hex(address) + ", " + std::to_string(size) +
                               " bytes");
    if (size != 0) std::memcpy(&m_mono[offset], data, size);
    return true;
}

bool Processor::readPolyMemory(unsigned pe, uint32_t address, void* data, size_t size,
                               std::string& error) const {
    if (!m_poly.readMemory(pe, address, data, size))
        return fail(error, "poly memory access out of range: PE " + std::to_string(pe) + ", " + hex(address) +
                               ", " + std::to_string(size) + " bytes");
    return true;
}

bool Processor::writePolyMemory(unsigned pe, uint32_t address, void const* data, size_t size,
                                std::string& error) {
    if (!m_poly.writeMemory(pe, address, data, size))
        return fail(error, "poly memory access out of range: PE " + std::to_string(pe) + ", " + hex(address) +
                               ", " + std::to_string(size) + " bytes");
    return true;
}

bool Processor::readControlRegister(uint32_t reg, uint32_t& value, std::string& error) const {
    using namespace ControlRegister;
    switch (reg) {
        case Pc: value = pcAddress(); return true;
        case Status: value = uint32_t(state()); return true;
        case CyclesLow: value = uint32_t(m_cycles); return true;
        case CyclesHigh: value = uint32_t(m_cycles >> 32); return true;
        case ReturnValue: value = uint32_t(m_return_value); return true;
        case StackPointer: value = m_regs[k_stack_pointer]; return true;
        case EnableDepth: value = m_poly.enableDepth(); return true;
        default: break;
    }
    if (reg >= GeneralBase && reg - GeneralBase < m_config.monoRegisterCount()) {
        value = m_regs[reg - GeneralBase];
        return true;
    }
    return fail(error, "no control register " + std::to_string(reg));
}

bool Processor::writeControlRegister(uint32_t reg, uint32_t value, std::string& error) {
    using namespace ControlRegister;
    if (state() == ProcessorState::Running)
        return fail(error,
                    "cannot write control register " + std::to_string(reg) + " while the program runs");
    if (reg == Pc) {
        if (!m_program.indexOf(value, m_pc))
            return fail(error, hex(value) + " is not the address of an instruction of the program");
        return true;
    }
    if (reg == StackPointer) {
        m_regs[k_stack_pointer] = value;
        return true;
    }
    if (reg >= GeneralBase && reg - GeneralBase < m_config.monoRegisterCount()) {
        m_regs[reg - GeneralBase] = value;
        return true;
    }
    if (reg <= EnableDepth) return fail(error, "control register " + std::to_string(reg) + " is read only");
    return fail(error, "no control register " + std::to_string(reg));
}

HostWait Processor::semaphoreWait(unsigned index) {
    if (index >= m_semaphores.count()) return HostWait::NoSuchSemaphore;
    return m_semaphores.take(index) ? HostWait::Acquired : HostWait::Ended;
}

bool Processor::semaphoreSignal(unsigned index, std::string& error) {
    if (index >= m_semaphores.count())
        return fail(error, "no semaphore " + std::to_string(index) + " (the processor has " +
                               std::to_string(m_semaphores.count()) + ")");
    m_semaphores.give(index);
    return true;
}

bool Processor::semaphoreValue(unsigned index, uint64_t& value) const {
    if (index >= m_semaphores.count()) return false;
    value = m_semaphores.value(index);
    return true;
}

bool Processor::symbolValue(std::string const& name, uint32_t& value) const {
    for (Qxx::Symbol const& symbol : m_symbols) {
        if (symbol.name == name) {
            value = symbol.value;
            return true;
        }
    }
    return false;
}

bool Processor::startTrace(std::string const& path, std::string& error) {
    auto trace = std::make_unique<TraceWriter>();
    if (!trace->open(path, error)) return false;
    std::lock_guard<std::mutex> lock(m_trace_mutex);
    if (m_trace) m_trace->close();
    m_trace = std::move(trace);
    m_tracing.store(true);
    return true;
}

void Processor::startTrace(std::streambuf* sink) {
    auto trace = std::make_unique<TraceWriter>();
    trace->open(sink);
    std::lock_guard<std::mutex> lock(m_trace_mutex);
    if (m_trace) m_trace->close();
    m_trace = std::move(trace);
    m_tracing.store(true);
}

void Processor::stopTrace() {
    std::lock_guard<std::mutex> lock(m_trace_mutex);
    m_tracing.store(false);
    if (m_trace) m_trace->close();
    m_trace.reset();
}

std::string Processor::nameOfCode(uint32_t address) const {
    auto found = m_code_names.find(address);
    return found == m_code_names.end() ? std::string() : found->second;
}

Processor::Exit Processor::traceSlice(uint64_t budget) {
    std::lock_guard<std::mutex> lock(m_trace_mutex);
    if (!m_trace) return executeSlice(budget);
    TargetNamer namer = [this](uint32_t address) { return nameOfCode(address); };
    Exit exit = Exit::Budget;
    for (uint64_t done = 0; done < budget && exit == Exit::Budget; ++done) {
        uint32_t index = m_pc;
        uint64_t cycle = m_cycles;
        uint32_t sp = m_regs[k_stack_pointer];
        uint32_t enabled = 0;
        for (unsigned pe = 0; pe < m_poly.peCount(); ++pe) enabled += m_poly.enabled(pe);
        exit = executeSlice(1);
        if (exit == Exit::Blocked) break;
        std::string text = index < m_program.instructionCount()
                               ? formatInstruction(decodeWord(m_program.words[index]), namer)
                               : std::string("(no instruction)");
        m_trace->instruction(cycle, m_program.addressOf(index), text, traceEffects(index, sp, enabled, exit));
    }
    return exit;
}

std::string Processor::traceEffects(uint32_t index, uint32_t oldSp, uint32_t oldEnabled, Exit exit) const {
    if (exit == Exit::Faulted) return "fault: " + m_fault_text;
    if (exit == Exit::Halted) return "return value " + std::to_string(m_return_value);
    Fields f = decodeWord(m_program.words[index]);
    FormatInfo const& format = formatInfo(findInstruction(f.opcode)->format);
    std::vector<std::string> parts;
    for (unsigned n = 0; n < format.count; ++n) {
        Operand kind = format.operands[n];
        if (kind == Operand::MonoDst && f.rd != k_stack_pointer)
            parts.push_back(TraceWriter::monoWrite(registerName(kind, f.rd), m_regs[f.rd]));
        else if (kind == Operand::PolyDst)
            parts.push_back(TraceWriter::polyWrite(f.rd, m_poly));
    }
    if (format.count == 2 && format.operands[1] == Operand::MonoMem &&
        format.operands[0] == Operand::MonoSrc) {
        uint32_t width = f.opcode == uint8_t(Opcode::STW) ? 4 : f.opcode == uint8_t(Opcode::STH) ? 2 : 1;
        uint32_t address = m_regs[f.ra] + f.imm;
        uint32_t value = width == 4 ? m_regs[f.rd] : m_regs[f.rd] & ((1u << (width * 8)) - 1);
        parts.push_back(TraceWriter::memoryWrite(address, value, width));
    }
    if (m_regs[k_stack_pointer] != oldSp ||
        (format.count > 0 && format.operands[0] == Operand::MonoDst && f.rd == k_stack_pointer))
        parts.push_back(TraceWriter::monoWrite("sp", m_regs[k_stack_pointer]));
    uint32_t enabled = 0;
    for (unsigned pe = 0; pe < m_poly.peCount(); ++pe) enabled += m_poly.enabled(pe);
    if (enabled != oldEnabled || f.opcode == uint8_t(Opcode::PIF) || f.opcode == uint8_t(Opcode::PELSE) ||
        f.opcode == uint8_t(Opcode::PENDIF))
        parts.push_back("enabled=" + std::to_string(enabled) + "/" + std::to_string(m_poly.peCount()));
    std::string text;
    for (std::string const& part : parts) text += (text.empty() ? "" : " ") + part;
    return text;
}

}  // namespace Simulator
