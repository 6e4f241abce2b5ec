// The poly array of a VORN node: PEs that execute each poly instruction in
// lockstep, each with its own registers and memory, and an enable mask
// with its stack for conditional execution.
//
// Registers are stored register by register across the PEs and the mask
// as 0 or all-ones per PE, so that every operation is a plain loop over
// the PEs that the compiler vectorises.
#ifndef SIMULATOR_POLYARRAY_H
#define SIMULATOR_POLYARRAY_H

#include "isa/TevIsa.h"
#include "qxx/ByteOrder.h"

#include <cstdint>
#include <vector>

namespace Simulator {

// Where a poly memory access went wrong.
struct PolyAccessFault {
    bool failed = false;
    bool misaligned = false;  // otherwise out of range
    unsigned pe = 0;
    uint32_t address = 0;
};

class PolyArray {
public:
    PolyArray(unsigned pes, unsigned registers, uint32_t memoryBytes, unsigned enableStackEntries,
              Qxx::ByteOrder order);

    // Registers and memory to zero, every PE enabled, enable stack empty.
    void reset();

    unsigned peCount() const { return m_pes; }
    unsigned registerCount() const { return m_registers; }
    uint32_t memorySize() const { return m_memory_bytes; }
    unsigned enableDepth() const { return m_depth; }

    uint32_t value(unsigned reg, unsigned pe) const { return m_lanes[size_t(reg) * m_pes + pe]; }
    uint32_t const* lane(unsigned reg) const { return &m_lanes[size_t(reg) * m_pes]; }
    bool enabled(unsigned pe) const { return m_mask[pe] != 0; }

    // pd = pa op pb / pd = pa op imm, for the PADD..PSLTU and PADDI..PSRAI opcodes.
    void binary(Opcode op, unsigned rd, unsigned ra, unsigned rb);
    void binaryImmediate(Opcode op, unsigned rd, unsigned ra, uint32_t imm);
    void setAll(unsigned rd, uint32_t value);
    void move(unsigned rd, unsigned ra);
    void peIndex(unsigned rd);

    // PLDB, PLDBU, PLDW / PSTB, PSTW. Nothing changes when a PE faults.
    PolyAccessFault load(Opcode op, unsigned rd, unsigned ra, uint32_t offset);
    PolyAccessFault store(Opcode op, unsigned rd, unsigned ra, uint32_t offset);

    // False on enable stack overflow (push) or underflow (else, pop).
    bool pushEnable(unsigned ra);
    bool elseEnable();
    bool popEnable();

    // RSUM, RMIN, RMAX, RAND, ROR across the enabled PEs.
    uint32_t reduce(Opcode op, unsigned ra) const;

    // Host access to one PE's memory; false when out of range.
    bool readMemory(unsigned pe, uint32_t address, void* data, size_t size) const;
    bool writeMemory(unsigned pe, uint32_t address, void const* data, size_t size);

private:
    uint32_t* lane(unsigned reg) { return &m_lanes[size_t(reg) * m_pes]; }
    PolyAccessFault checkAccess(unsigned ra, uint32_t offset, uint32_t width) const;

    template <typename Op>
    void apply(unsigned rd, unsigned ra, unsigned rb, Op op);
    template <typename Op>
    void applyImmediate(unsigned rd, unsigned ra, uint32_t imm, Op op);

    unsigned m_pes;
    unsigned m_registers;
    uint32_t m_memory_bytes;
    unsigned m_enable_entries;
    Qxx::ByteOrder m_order;
    std::vector<uint32_t> m_lanes;         // registers x PEs
    std::vector<uint8_t> m_memory;         // PEs x memory bytes
    std::vector<uint32_t> m_mask;          // per PE: 0 or 0xffffffff
    std::vector<uint32_t> m_enable_stack;  // entries x PEs
    std::vector<uint32_t> m_pe_index;      // 0 .. PEs-1
    unsigned m_depth = 0;
};

}  // namespace Simulator

#endif
