// Byte order of a processor node, as its architecture configuration names
// it. The numeric values are part of the interface: 0 means the order has
// not been read yet.
#ifndef GENERIC_ENDIANNESS_H
#define GENERIC_ENDIANNESS_H

namespace Generic {

// The names avoid LITTLE_ENDIAN and BIG_ENDIAN, which the C library
// defines as macros.
enum Endianness : int {
    ENDIANNESS_NOT_SET = 0,
    ENDIANNESS_LITTLE = 1,
    ENDIANNESS_BIG = 2,
};

}  // namespace Generic

#endif  // GENERIC_ENDIANNESS_H
