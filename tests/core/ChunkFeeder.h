#pragma once

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

// The ways a streaming reader may receive one document: whole, byte by byte, or in
// random chunk sizes from a few seeds. Each split is a list of chunk lengths.
inline std::vector<std::vector<std::size_t>> ChunkSplits(std::size_t size)
{
    std::vector<std::vector<std::size_t>> splits;
    splits.push_back({size});
    splits.emplace_back(size, 1);
    for (unsigned int seed = 1; seed <= 8; ++seed)
    {
        std::mt19937 random(seed);
        std::uniform_int_distribution<std::size_t> length(1, 1 + seed * 3);
        std::vector<std::size_t> split;
        for (std::size_t done = 0; done < size;)
        {
            const std::size_t next = std::min(length(random), size - done);
            split.push_back(next);
            done += next;
        }
        splits.push_back(split);
    }
    return splits;
}

// Feeds text through parse(data, length, isFinal) in the chunks of split; the last
// call is a final one with no data. Returns false as soon as a call does.
inline bool FeedInChunks(const std::string& text, const std::vector<std::size_t>& split,
                         const std::function<bool(const char*, int, bool)>& parse)
{
    std::size_t offset = 0;
    for (const std::size_t length : split)
    {
        if (!parse(text.data() + offset, static_cast<int>(length), false))
            return false;
        offset += length;
    }
    return parse(text.data() + offset, 0, true);
}
