// The host's allocations in a processor's mono memory: the free space
// between the end of the loaded program and the stack. Blocks are handed
// out first fit, aligned to 8 bytes. Transient blocks go when the program
// is unloaded or replaced; persistent ones stay until freed or until a new
// program's sections need their space.
#ifndef SERVER_MONOHEAP_H
#define SERVER_MONOHEAP_H

#include <cstdint>
#include <map>
#include <string>

namespace SimServer {

class MonoHeap {
public:
    // The space from begin up to (not including) end.
    MonoHeap(uint64_t begin, uint64_t end);

    // A program now occupies memory up to programEnd: transient blocks go,
    // and so do persistent ones below it.
    void placeProgram(uint64_t programEnd);
    // No program: transient blocks go.
    void removeProgram();

    bool allocate(uint32_t size, bool persistent, uint64_t& address, std::string& error);
    bool free(uint64_t address, std::string& error);
    uint64_t freeBytes() const;

private:
    struct Block {
        uint64_t size;
        bool persistent;
    };

    void dropTransient();

    uint64_t m_begin;  // first byte the heap may use
    uint64_t m_floor;  // first byte after the program
    uint64_t m_end;
    std::map<uint64_t, Block> m_blocks;  // by address
};

}  // namespace SimServer

#endif
