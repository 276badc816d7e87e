#pragma once

#include <cstdint>

namespace vbabel::data {

// Readers of data-page bytes out of an ANT payload; page byte n is payload byte n + 1 (payload byte 0
// is the channel number). Multi-byte values are little-endian.

inline int pageByte(const unsigned char* message, int n)
{
    return message[n + 1];
}

inline int pageUint16(const unsigned char* message, int n)
{
    return pageByte(message, n) | (pageByte(message, n + 1) << 8);
}

inline int pageInt16(const unsigned char* message, int n)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(pageUint16(message, n)));
}

inline int pageInt24(const unsigned char* message, int n)
{
    int raw = pageUint16(message, n) | (pageByte(message, n + 2) << 16);
    return raw >= 0x800000 ? raw - 0x1000000 : raw;
}

inline int pageInt32(const unsigned char* message, int n)
{
    std::uint32_t raw = static_cast<std::uint32_t>(pageUint16(message, n)) |
                        (static_cast<std::uint32_t>(pageUint16(message, n + 2)) << 16);
    return static_cast<std::int32_t>(raw);
}

} // namespace vbabel::data
