/// @file
/// Big-endian packing: the board's own byte order, used for everything the
/// system stores or sends, whatever the host.
#ifndef BYTE_ORDER_H
#define BYTE_ORDER_H

#include <cstdint>

/// Writes value as 4 big-endian bytes.
inline void putBig32(uint8_t* out, uint32_t value)
{
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

/// @return the 4 big-endian bytes at in.
inline uint32_t getBig32(const uint8_t* in)
{
    return static_cast<uint32_t>(in[0]) << 24 | static_cast<uint32_t>(in[1]) << 16 |
           static_cast<uint32_t>(in[2]) << 8 | in[3];
}

/// @return the 2 big-endian bytes at in.
inline uint16_t getBig16(const uint8_t* in)
{
    return static_cast<uint16_t>(in[0] << 8 | in[1]);
}

/// Writes value as 2 big-endian bytes.
inline void putBig16(uint8_t* out, uint16_t value)
{
    out[0] = static_cast<uint8_t>(value >> 8);
    out[1] = static_cast<uint8_t>(value);
}

#endif
