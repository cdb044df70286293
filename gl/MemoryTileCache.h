#pragma once

#include "gl/TileCache.h"
#include "gl/TileCoordinates.h"

#include <cstdint>
#include <ctime>
#include <map>
#include <vector>

// The tile cache in memory. It evicts whole images, least recently used first, once it holds 4 MiB, down
// to 3 MiB. Main thread only.
class MemoryTileCache : public TileCache
{
public:
    static constexpr std::uint64_t HIGH_WATER = 4u * 1024u * 1024u;
    static constexpr std::uint64_t LOW_WATER = 3u * 1024u * 1024u;

    struct ImageInfo
    {
        std::time_t lastAccess = 0;
        std::uint64_t byteCount = 0;
        std::multimap<TileCoordinates, std::vector<unsigned char>> tiles;
        // Order of the last touch: images touched within one second still leave in the order they were used.
        std::uint64_t touch = 0;
    };

    void AddTile(unsigned int imageId, int level, int col, int row, const unsigned char* data,
                 unsigned long size) override;
    bool GetTile(unsigned int imageId, int level, int col, int row, std::vector<unsigned char>& data) override;
    void RemoveTile(unsigned int imageId, int level, int col, int row) override;
    void CleanCache() override;

    std::uint64_t GetTotalBytes() const { return m_totalBytes; }
    bool HasImage(unsigned int imageId) const { return m_images.count(imageId) > 0; }

private:
    void Touch(ImageInfo& image);

    std::map<unsigned int, ImageInfo> m_images;
    std::uint64_t m_totalBytes = 0;
    std::uint64_t m_touches = 0;
};
