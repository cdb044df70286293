#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

// Streaming readers get the fuzz input as a download arrives, in two chunks: byte 0 picks where the rest
// splits. parse(text, length, isFinal) answers whether to go on. Inputs of a gigabyte or more are left out
// (lengths are ints).
template <typename Parse>
void FeedInTwoChunks(const std::uint8_t* data, std::size_t size, Parse&& parse)
{
    if (size < 1 || size > (1u << 30))
        return;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const int length = static_cast<int>(size - 1);
    const int split = length == 0 ? 0 : data[0] % (length + 1);
    if (parse(text, split, false))
        parse(text + split, length - split, true);
}

// A download arrives in chunks of whatever sizes the network makes. The sizes are drawn from a generator
// seeded by the input's bytes, so a run can be replayed, and each mutation of an input splits it anew.
// feed(text, length) answers whether to go on.
template <typename Feed>
void FeedInRandomChunks(const std::uint8_t* data, std::size_t size, Feed&& feed)
{
    std::uint64_t state = 0xcbf29ce484222325ull ^ size;
    for (std::size_t i = 0; i < size; i += 1 + i / 8)
        state = (state ^ data[i]) * 0x100000001b3ull;
    std::size_t offset = 0;
    while (offset < size)
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        // Mostly small chunks, now and then a large one, as a slow or a fast connection gives them.
        const std::size_t limit = (state >> 60) < 12 ? 64 : 65536;
        const std::size_t chunk = std::min<std::size_t>(size - offset, 1 + (state >> 33) % limit);
        if (!feed(reinterpret_cast<const char*>(data + offset), chunk))
            return;
        offset += chunk;
    }
}
