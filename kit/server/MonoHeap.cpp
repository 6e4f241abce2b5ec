#include "server/MonoHeap.h"

#include <algorithm>
#include <iterator>

namespace SimServer {

namespace {

constexpr uint64_t k_alignment = 8;

uint64_t alignUp(uint64_t value) {
    return (value + k_alignment - 1) & ~(k_alignment - 1);
}

}  // namespace

MonoHeap::MonoHeap(uint64_t begin, uint64_t end) : m_begin(alignUp(begin)), m_floor(m_begin), m_end(end) {}

void MonoHeap::dropTransient() {
    for (auto block = m_blocks.begin(); block != m_blocks.end();)
        block = block->second.persistent ? std::next(block) : m_blocks.erase(block);
}

void MonoHeap::placeProgram(uint64_t programEnd) {
    dropTransient();
    m_floor = std::max(m_begin, alignUp(programEnd));
    for (auto block = m_blocks.begin(); block != m_blocks.end();)
        block = block->first < m_floor ? m_blocks.erase(block) : std::next(block);
}

void MonoHeap::removeProgram() {
    dropTransient();
    m_floor = m_begin;
}

bool MonoHeap::allocate(uint32_t size, bool persistent, uint64_t& address, std::string& error) {
    if (size == 0) {
        error = "cannot allocate 0 bytes";
        return false;
    }
    uint64_t const wanted = alignUp(size);
    uint64_t candidate = m_floor;
    for (auto const& [start, block] : m_blocks) {
        if (start >= candidate && start - candidate >= wanted) break;
        candidate = std::max(candidate, alignUp(start + block.size));
    }
    if (candidate > m_end || m_end - candidate < wanted) {
        error = "no free block of " + std::to_string(size) + " bytes in mono memory";
        return false;
    }
    m_blocks[candidate] = Block{wanted, persistent};
    address = candidate;
    return true;
}

bool MonoHeap::free(uint64_t address, std::string& error) {
    if (m_blocks.erase(address) == 1) return true;
    error = "no allocated block at address " + std::to_string(address);
    return false;
}

uint64_t MonoHeap::freeBytes() const {
    uint64_t used = 0;
    for (auto const& entry : m_blocks) used += entry.second.size;
    uint64_t const space = m_end > m_floor ? m_end - m_floor : 0;
    return space > used ? space - used : 0;
}

}  // namespace SimServer
