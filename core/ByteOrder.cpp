#include "core/ByteOrder.h"

#include <cstdint>

namespace
{
bool HostIsLittleEndian()
{
    const std::uint16_t probe = 1;
    return *reinterpret_cast<const unsigned char*>(&probe) == 1;
}
}

void SwapByteRange(short* data, int count)
{
    if (!HostIsLittleEndian())
        SwapBytes(data, count);
}

void ReverseLongWordRange(int* data, int count)
{
    if (!HostIsLittleEndian())
        SwapBytes(data, count);
}

void SwapBytes(short* data, int count)
{
    for (int i = 0; data && i < count; ++i)
    {
        const auto v = static_cast<std::uint16_t>(data[i]);
        data[i] = static_cast<short>(static_cast<std::uint16_t>((v >> 8) | (v << 8)));
    }
}

void SwapBytes(int* data, int count)
{
    for (int i = 0; data && i < count; ++i)
    {
        const auto v = static_cast<std::uint32_t>(data[i]);
        data[i] = static_cast<int>((v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24));
    }
}
