#pragma once

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
