// A first-fit allocator of a processor's mono memory for the host: the
// arena is the mono memory between the loaded program's data and the
// stack. Blocks are aligned to 8 bytes. Dynamic blocks are released when the program
// is unloaded or replaced; static blocks stay reserved until freed.
#ifndef SIMULATOR_MONOALLOCATOR_H
#define SIMULATOR_MONOALLOCATOR_H

#include <cstdint>
#include <map>

namespace Simulator {

class MonoAllocator {
public:
    static constexpr uint64_t k_alignment = 8;

    // The arena [begin, end); blocks outside it are kept.
    void setArena(uint64_t begin, uint64_t end);

    // False when size is 0 or no gap is large enough.
    bool allocate(uint32_t size, bool isStatic, uint64_t& address);
    // False when no block starts at address.
    bool free(uint64_t address);
    void releaseDynamic();

    uint64_t freeBytes() const;
    // Whether a static block lies below `address` (a program's data would
    // overwrite it).
    bool staticBelow(uint64_t address) const;

private:
    struct Block {
        uint64_t size;
        bool isStatic;
    };

    uint64_t m_begin = 0;
    uint64_t m_end = 0;
    std::map<uint64_t, Block> m_blocks;  // by address
};

}  // namespace Simulator

#endif
