// A simulated VORN node running tev programs: the mono unit (registers,
// mono memory with the stack at its top, semaphores, cycle counter) and
// the poly array of PEs. docs/tev-isa.md describes what a program sees.
//
// Use from a host library:
//   std::string error;
//   auto processor = Processor::create(config, error);      // null on error
//   processor->load(image, error);                           // a parsed qxx image
//   std::thread runner([&] { processor->run(limits); });     // runs to the end
//   processor->requestStop(StopRequest::Halt);               // from any thread
//   runner.join(); processor->returnValue(); processor->faultText();
//
// Threads: run() executes on the calling thread; requestStop, state, the
// semaphore operations and the trace switches may be called from any
// thread at any time. The memory and register accessors do no locking:
// use them while no program runs, or ordered by a semaphore handshake
// (what one side writes before a signal, the side whose wait it satisfied
// sees).
#ifndef SIMULATOR_PROCESSOR_H
#define SIMULATOR_PROCESSOR_H

#include "isa/ProcessorConfig.h"
#include "qxx/QxxImage.h"
#include "simulator/DecodedProgram.h"
#include "simulator/PolyArray.h"
#include "simulator/SemaphoreBank.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <streambuf>
#include <string>
#include <vector>

namespace Simulator {

class TraceWriter;

enum class ProcessorState : uint8_t {
    Empty,    // no program loaded
    Ready,    // loaded, not started
    Running,  // inside run()
    Stopped,  // stopped by a halt request; run() resumes it
    Halted,   // the program executed halt; its return value is set
    Faulted,  // the program ended with a fault; faultText() says which
};

char const* stateName(ProcessorState state);

enum class StopRequest : uint8_t {
    None = 0,
    Halt = 1,   // stop where it is; run() resumes
    Abort = 2,  // end the program with the fault "aborted by the host"
};

struct RunLimits {
    // The program faults when it has run this many cycles without ending;
    // 0 means no limit.
    uint64_t maxCycles = 0;
};

// Numbers of the control registers for the host.
namespace ControlRegister {
constexpr uint32_t Pc = 0;           // code address of the next instruction
constexpr uint32_t Status = 1;       // the ProcessorState, read only
constexpr uint32_t CyclesLow = 2;    // read only
constexpr uint32_t CyclesHigh = 3;   // read only
constexpr uint32_t ReturnValue = 4;  // read only
constexpr uint32_t StackPointer = 5;
constexpr uint32_t EnableDepth = 6;      // read only
constexpr uint32_t GeneralBase = 0x100;  // + n: general register rn
}  // namespace ControlRegister

enum class HostWait { Acquired, Ended, NoSuchSemaphore };

class Processor {
public:
    // A processor of those dimensions, or null with the reason in error.
    static std::unique_ptr<Processor> create(ProcessorConfig const& config, std::string& error);
    ~Processor();
    Processor(Processor const&) = delete;
    Processor& operator=(Processor const&) = delete;

    ProcessorConfig const& config() const { return m_config; }

    // Clears the machine and loads the image; the program is then Ready.
    // Fails while a program runs or when the image does not fit.
    bool load(Qxx::QxxImage const& image, std::string& error);

    // Clears the machine and forgets the program. Fails while one runs.
    bool reset(std::string& error);

    // Runs the program on the calling thread until it halts, faults or is
    // stopped, and returns the state it left. Does nothing (and returns the
    // state) unless the state is Ready or Stopped.
    ProcessorState run(RunLimits const& limits = RunLimits());

    // Asks a running program to stop; it does so within a few thousand
    // instructions, and at once when it waits on a semaphore. A request
    // made while no program runs takes effect when run() is next called;
    // load and reset drop it.
    void requestStop(StopRequest request);

    ProcessorState state() const { return m_state.load(); }
    int32_t returnValue() const { return m_return_value; }
    std::string const& faultText() const { return m_fault_text; }
    uint64_t cycles() const { return m_cycles; }
    uint32_t pcAddress() const;

    // Register n of the mono unit (k_stack_pointer for sp) and of one PE.
    uint32_t monoRegister(unsigned n) const { return m_regs[n & 0xff]; }
    PolyArray const& poly() const { return m_poly; }

    bool readMonoMemory(uint64_t address, void* data, size_t size, std::string& error) const;
    bool writeMonoMemory(uint64_t address, void const* data, size_t size, std::string& error);
    bool readPolyMemory(unsigned pe, uint32_t address, void* data, size_t size, std::string& error) const;
    bool writePolyMemory(unsigned pe, uint32_t address, void const* data, size_t size, std::string& error);
    bool readControlRegister(uint32_t reg, uint32_t& value, std::string& error) const;
    bool writeControlRegister(uint32_t reg, uint32_t value, std::string& error);

    // Host side of the semaphores. semaphoreWait blocks until it takes the
    // semaphore, or returns Ended when no program is loaded or the program
    // has ended while the semaphore is zero.
    HostWait semaphoreWait(unsigned index);
    bool semaphoreSignal(unsigned index, std::string& error);
    bool semaphoreValue(unsigned index, uint64_t& value) const;

    // The value of a symbol of the loaded program.
    bool symbolValue(std::string const& name, uint32_t& value) const;

    // Writes a line per executed instruction to the file at path (replaced)
    // until stopTrace or destruction, which flush and close it.
    bool startTrace(std::string const& path, std::string& error);
    // The same into sink, which must outlive the trace; see TraceWriter.
    void startTrace(std::streambuf* sink);
    void stopTrace();
    bool tracing() const { return m_tracing.load(); }

private:
    enum class Exit { Budget, Halted, Faulted, Blocked };

    explicit Processor(ProcessorConfig const& config);

    bool checkLoadable(Qxx::QxxImage const& image, std::string& error) const;
    void clearMachine();
    ProcessorState runLoop(RunLimits const& limits);
    Exit executeSlice(uint64_t budget);
    Exit traceSlice(uint64_t budget);
    std::string traceEffects(uint32_t index, uint32_t oldSp, uint32_t oldEnabled, Exit exit) const;
    std::string nameOfCode(uint32_t address) const;

    // Record a fault of the instruction at index; they return Exit::Faulted.
    Exit fault(std::string const& text);
    Exit faultAt(uint32_t index, std::string const& what);
    Exit illegalInstruction(uint32_t index);
    Exit monoAccessFault(uint32_t index, uint32_t address, uint32_t width);
    Exit polyAccessFault(uint32_t index, PolyAccessFault const& failure, uint32_t width);
    Exit stackFault(uint32_t index, uint32_t sp, bool pushing);
    Exit pcOutside(uint32_t index, uint32_t address);

    ProcessorConfig m_config;
    uint32_t m_mono_start;
    uint32_t m_mono_size;
    uint32_t m_stack_base;
    uint32_t m_stack_top;
    std::vector<uint8_t> m_mono;
    std::array<uint32_t, 256> m_regs{};
    PolyArray m_poly;
    SemaphoreBank m_semaphores;

    DecodedProgram m_program;
    std::vector<Qxx::Symbol> m_symbols;
    std::map<uint32_t, std::string> m_code_names;

    uint32_t m_pc = 0;  // index into m_program.code
    uint64_t m_cycles = 0;
    int32_t m_return_value = 0;
    std::string m_fault_text;
    unsigned m_blocked_semaphore = 0;
    std::atomic<ProcessorState> m_state{ProcessorState::Empty};
    std::atomic<uint8_t> m_stop{0};

    mutable std::mutex m_trace_mutex;
    std::unique_ptr<TraceWriter> m_trace;
    std::atomic<bool> m_tracing{false};
};

}  // namespace Simulator

#endif
