// Byte order conversion between the host and a processor.
#ifndef HOSTLIB_BYTESWAP_H
#define HOSTLIB_BYTESWAP_H

#include "qxx/ByteOrder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace HostLib {

inline Qxx::ByteOrder hostByteOrder() {
    uint16_t const probe = 1;
    return *reinterpret_cast<uint8_t const*>(&probe) == 1 ? Qxx::ByteOrder::Little : Qxx::ByteOrder::Big;
}

// Reverses the bytes of each element of elementSize bytes, in place;
// size is a multiple of elementSize.
inline void swapElements(void* buffer, size_t size, size_t elementSize) {
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    for (size_t offset = 0; offset + elementSize <= size; offset += elementSize)
        std::reverse(bytes + offset, bytes + offset + elementSize);
}

inline uint32_t swapWord(uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xff00u) | ((value << 8) & 0xff0000u) | (value << 24);
}

}  // namespace HostLib

#endif
