// Byte order of a target and the loads and stores that honour it.
#ifndef QXX_BYTEORDER_H
#define QXX_BYTEORDER_H

#include <cstdint>

namespace Qxx {

// The values match the host API's QXAPI_LITTLE_ENDIAN / QXAPI_BIG_ENDIAN.
enum class ByteOrder : uint8_t { Little = 1, Big = 2 };

inline char const* byteOrderName(ByteOrder order) {
    return order == ByteOrder::Big ? "big" : "little";
}

// Built from shifts so that the compiler turns them into one plain or
// byte-swapping move, whatever the host's own order.
inline uint16_t load16(uint8_t const* p, ByteOrder order) {
    if (order == ByteOrder::Little) return static_cast<uint16_t>(p[0] | (p[1] << 8));
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t load32(uint8_t const* p, ByteOrder order) {
    if (order == ByteOrder::Little)
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline uint64_t load64(uint8_t const* p, ByteOrder order) {
    uint64_t first = load32(p, order);
    uint64_t second = load32(p + 4, order);
    return order == ByteOrder::Little ? (second << 32) | first : (first << 32) | second;
}

inline void store16(uint8_t* p, uint16_t value, ByteOrder order) {
    if (order == ByteOrder::Little) {
        p[0] = uint8_t(value);
        p[1] = uint8_t(value >> 8);
    } else {
        p[0] = uint8_t(value >> 8);
        p[1] = uint8_t(value);
    }
}

inline void store32(uint8_t* p, uint32_t value, ByteOrder order) {
    if (order == ByteOrder::Little) {
        p[0] = uint8_t(value);
        p[1] = uint8_t(value >> 8);
        p[2] = uint8_t(value >> 16);
        p[3] = uint8_t(value >> 24);
    } else {
        p[0] = uint8_t(value >> 24);
        p[1] = uint8_t(value >> 16);
        p[2] = uint8_t(value >> 8);
        p[3] = uint8_t(value);
    }
}

inline void store64(uint8_t* p, uint64_t value, ByteOrder order) {
    uint32_t low = uint32_t(value);
    uint32_t high = uint32_t(value >> 32);
    store32(p, order == ByteOrder::Little ? low : high, order);
    store32(p + 4, order == ByteOrder::Little ? high : low, order);
}

}  // namespace Qxx

#endif
