#include "simulator/MonoAllocator.h"

#include <algorithm>

namespace Simulator {

namespace {

uint64_t alignUp(uint64_t value) {
    return (value + MonoAllocator::k_alignment - 1) / MonoAllocator::k_alignment * MonoAllocator::k_alignment;
}

}  // namespace

void MonoAllocator::setArena(uint64_t begin, uint64_t end) {
    m_begin = alignUp(begin);
    m_end = std::max(m_begin, end);
}

bool MonoAllocator::allocate(uint32_t size, bool isStatic, uint64_t& address) {
    if (size == 0) return false;
    uint64_t const needed = alignUp(size);
    uint64_t candidate = m_begin;
    for (auto const& [start, block] : m_blocks) {
        if (start + block.size <= candidate) continue;
        if (start >= candidate + needed) break;
        candidate = alignUp(start + block.size);
    }
    if (candidate + needed > m_end) return false;
    m_blocks[candidate] = Block{needed, isStatic};
    address = candidate;
    return true;
}

bool MonoAllocator::free(uint64_t address) {
    return m_blocks.erase(address) != 0;
}

void MonoAllocator::releaseDynamic() {
    for (auto block = m_blocks.begin(); block != m_blocks.end();)
        block = block->second.isStatic ? std::next(block) : m_blocks.erase(block);
}

uint64_t MonoAllocator::freeBytes() const {
    uint64_t used = 0;
    for (auto const& [start, block] : m_blocks) {
        // Only the part of a block inside the arena takes its space.
        uint64_t const from = std::max(start, m_begin);
        uint64_t const to = std::min(start + block.size, m_end);
        if (from < to) used += to - from;
    }
    return m_end - m_begin - std::min(used, m_end - m_begin);
}

bool MonoAllocator::staticBelow(uint64_t address) const {
    for (auto const& [start, block] : m_blocks)
        if (block.isStatic && start < address) return true;
    return false;
}

}  // namespace Simulator
