#include "simulator/PolyArray.h"

#include "simulator/Alu.h"

#include <algorithm>
#include <cstring>

namespace Simulator {

PolyArray::PolyArray(unsigned pes, unsigned registers, uint32_t memoryBytes, unsigned enableStackEntries,
                     Qxx::ByteOrder order)
    : m_pes(pes),
      m_registers(registers),
      m_memory_bytes(memoryBytes),
      m_enable_entries(enableStackEntries),
      m_order(order),
      m_lanes(size_t(registers) * pes),
      m_memory(size_t(pes) * memoryBytes),
      m_mask(pes),
      m_enable_stack(size_t(enableStackEntries) * pes),
      m_pe_index(pes) {
    for (unsigned pe = 0; pe < pes; ++pe) m_pe_index[pe] = pe;
    reset();
}

void PolyArray::reset() {
    std::fill(m_lanes.begin(), m_lanes.end(), 0);
    std::fill(m_memory.begin(), m_memory.end(), 0);
    std::fill(m_mask.begin(), m_mask.end(), 0xffffffffu);
    m_depth = 0;
}

// Disabled PEs keep their value: the result is merged through the mask.
template <typename Op>
void PolyArray::apply(unsigned rd, unsigned ra, unsigned rb, Op op) {
    uint32_t* d = lane(rd);
    uint32_t const* a = lane(ra);
    uint32_t const* b = lane(rb);
    uint32_t const* m = m_mask.data();
    for (unsigned pe = 0; pe < m_pes; ++pe) d[pe] = (op(a[pe], b[pe]) & m[pe]) | (d[pe] & ~m[pe]);
}

template <typename Op>
void PolyArray::applyImmediate(unsigned rd, unsigned ra, uint32_t imm, Op op) {
    uint32_t* d = lane(rd);
    uint32_t const* a = lane(ra);
    uint32_t const* m = m_mask.data();
    for (unsigned pe = 0; pe < m_pes; ++pe) d[pe] = (op(a[pe], imm) & m[pe]) | (d[pe] & ~m[pe]);
}

void PolyArray::binary(Opcode op, unsigned rd, unsigned ra, unsigned rb) {
    Alu::withOperation(op, [&](auto operation) { apply(rd, ra, rb, operation); });
}

void PolyArray::binaryImmediate(Opcode op, unsigned rd, unsigned ra, uint32_t imm) {
    Alu::withOperation(op, [&](auto operation) { applyImmediate(rd, ra, imm, operation); });
}

void PolyArray::setAll(unsigned rd, uint32_t value) {
    uint32_t* d = lane(rd);
    uint32_t const* m = m_mask.data();
    for (unsigned pe = 0; pe < m_pes; ++pe) d[pe] = (value & m[pe]) | (d[pe] & ~m[pe]);
}

void PolyArray::move(unsigned rd, unsigned ra) {
    applyImmediate(rd, ra, 0, [](uint32_t a, uint32_t) { return a; });
}

void PolyArray::peIndex(unsigned rd) {
    uint32_t* d = lane(rd);
    uint32_t const* index = m_pe_index.data();
    uint32_t const* m = m_mask.data();
    for (unsigned pe = 0; pe < m_pes; ++pe) d[pe] = (index[pe] & m[pe]) | (d[pe] & ~m[pe]);
}

PolyAccessFault PolyArray::checkAccess(unsigned ra, uint32_t offset, uint32_t width) const {
    uint32_t const* a = lane(ra);
    for (unsigned pe = 0; pe < m_pes; ++pe) {
        if (!m_mask[pe]) continue;
        uint32_t address = a[pe] + offset;
        if (address > m_memory_bytes - width || m_memory_bytes < width) return {true, false, pe, address};
        if (address % width != 0) return {true, true, pe, address};
    }
    return {};
}

PolyAccessFault PolyArray::load(Opcode op, unsigned rd, unsigned ra, uint32_t offset) {
    uint32_t width = op == Opcode::PLDW ? 4 : 1;
    PolyAccessFault fault = checkAccess(ra, offset, width);
    if (fault.failed) return fault;
    uint32_t* d = lane(rd);
    uint32_t const* a = lane(ra);
    for (unsigned pe = 0; pe < m_pes; ++pe) {
        if (!m_mask[pe]) continue;
        uint8_t const* p = &m_memory[size_t(pe) * m_memory_bytes + (a[pe] + offset)];
        if (op == Opcode::PLDW)
            d[pe] = Qxx::load32(p, m_order);
        else if (op == Opcode::PLDB)
            d[pe] = uint32_t(int32_t(int8_t(*p)));
        else
            d[pe] = *p;
    }
    return fault;
}

PolyAccessFault PolyArray::store(Opcode op, unsigned rd, unsigned ra, uint32_t offset) {
    uint32_t width = op == Opcode::PSTW ? 4 : 1;
    PolyAccessFault fault = checkAccess(ra, offset, width);
    if (fault.failed) return fault;
    uint32_t const* s = lane(rd);
    uint32_t const* a = lane(ra);
    for (unsigned pe = 0; pe < m_pes; ++pe) {
        if (!m_mask[pe]) continue;
        uint8_t* p = &m_memory[size_t(pe) * m_memory_bytes + (a[pe] + offset)];
        if (op == Opcode::PSTW)
            Qxx::store32(p, s[pe], m_order);
        else
            *p = uint8_t(s[pe]);
    }
    return fault;
}

bool PolyArray::pushEnable(unsigned ra) {
    if (m_depth == m_enable_entries) return false;
    uint32_t* saved = &m_enable_stack[size_t(m_depth++) * m_pes];
    uint32_t const* a = lane(ra);
    for (unsigned pe = 0; pe < m_pes; ++pe) {
        saved[pe] = m_mask[pe];
        m_mask[pe] &= a[pe] != 0 ? 0xffffffffu : 0u;
    }
    return true;
}

bool PolyArray::elseEnable() {
    if (m_depth == 0) return false;
    uint32_t const* saved = &m_enable_stack[size_t(m_depth - 1) * m_pes];
    for (unsigned pe = 0; pe < m_pes; ++pe) m_mask[pe] = saved[pe] & ~m_mask[pe];
    return true;
}

bool PolyArray::popEnable() {
    if (m_depth == 0) return false;
    uint32_t const* saved = &m_enable_stack[size_t(--m_depth) * m_pes];
    std::copy(saved, saved + m_pes, m_mask.begin());
    return true;
}

uint32_t PolyArray::reduce(Opcode op, unsigned ra) const {
    uint32_t const* a = lane(ra);
    uint32_t const* m = m_mask.data();
    switch (op) {
        case Opcode::RSUM: {
            uint32_t sum = 0;
            for (unsigned pe = 0; pe < m_pes; ++pe) sum += a[pe] & m[pe];
            return sum;
        }
        case Opcode::RMIN: {
            int32_t low = INT32_MAX;
            for (unsigned pe = 0; pe < m_pes; ++pe) low = std::min(low, m[pe] ? int32_t(a[pe]) : INT32_MAX);
            return uint32_t(low);
        }
        case Opcode::RMAX: {
            int32_t high = INT32_MIN;
            for (unsigned pe = 0; pe < m_pes; ++pe) high = std::max(high, m[pe] ? int32_t(a[pe]) : INT32_MIN);
            return uint32_t(high);
        }
        case Opcode::RAND: {
            uint32_t all = 0xffffffffu;
            for (unsigned pe = 0; pe < m_pes; ++pe) all &= a[pe] | ~m[pe];
            return all;
        }
        case Opcode::ROR: {
            uint32_t any = 0;
            for (unsigned pe = 0; pe < m_pes; ++pe) any |= a[pe] & m[pe];
            return any;
        }
        default: return 0;
    }
}

bool PolyArray::readMemory(unsigned pe, uint32_t address, void* data, size_t size) const {
    if (pe >= m_pes || address > m_memory_bytes || size > m_memory_bytes - address) return false;
    if (size != 0) std::memcpy(data, &m_memory[size_t(pe) * m_memory_bytes + address], size);
    return true;
}

bool PolyArray::writeMemory(unsigned pe, uint32_t address, void const* data, size_t size) {
    if (pe >= m_pes || address > m_memory_bytes || size > m_memory_bytes - address) return false;
    if (size != 0) std::memcpy(&m_memory[size_t(pe) * m_memory_bytes + address], data, size);
    return true;
}

}  // namespace Simulator
