#include "gl/MemoryTileCache.h"

#include <algorithm>

namespace
{

struct ImageAccessInfo
{
    unsigned int imageId;
    std::time_t lastAccess;
    std::uint64_t touch;
};

} // namespace

void MemoryTileCache::Touch(ImageInfo& image)
{
    image.lastAccess = std::time(nullptr);
    image.touch = ++m_touches;
}

void MemoryTileCache::AddTile(unsigned int imageId, int level, int col, int row, const unsigned char* data,
                              unsigned long size)
{
    ImageInfo& image = m_images[imageId];
    image.tiles.emplace(TileCoordinates(level, col, row),
                        data ? std::vector<unsigned char>(data, data + size) : std::vector<unsigned char>());
    const std::uint64_t stored = data ? size : 0;
    Touch(image);
    image.byteCount += stored;
    m_totalBytes += stored;
    CleanCache();
}

bool MemoryTileCache::GetTile(unsigned int imageId, int level, int col, int row, std::vector<unsigned char>& data)
{
    const auto image = m_images.find(imageId);
    if (image == m_images.end())
        return false;
    const TileCoordinates key(level, col, row);
    const auto range = image->second.tiles.equal_range(key);
    for (auto tile = range.first; tile != range.second; ++tile)
        if (tile->first == key)
        {
            data = tile->second;
            Touch(image->second);
            return true;
        }
    return false;
}

void MemoryTileCache::RemoveTile(unsigned int imageId, int level, int col, int row)
{
    const auto image = m_images.find(imageId);
    if (image == m_images.end())
        return;
    const TileCoordinates key(level, col, row);
    const auto range = image->second.tiles.equal_range(key);
    for (auto tile = range.first; tile != range.second; ++tile)
        if (tile->first == key)
        {
            image->second.byteCount -= tile->second.size();
            m_totalBytes -= tile->second.size();
            image->second.tiles.erase(tile);
            return;
        }
}

void MemoryTileCache::CleanCache()
{
    if (m_totalBytes < HIGH_WATER)
        return;
    std::vector<ImageAccessInfo> order;
    order.reserve(m_images.size());
    for (const auto& [id, image] : m_images)
        order.push_back({id, image.lastAccess, image.touch});
    std::sort(order.begin(), order.end(), [](const ImageAccessInfo& a, const ImageAccessInfo& b) {
        return a.lastAccess != b.lastAccess ? a.lastAccess < b.lastAccess : a.touch < b.touch;
    });
    for (const ImageAccessInfo& victim : order)
    {
        if (m_totalBytes <= LOW_WATER)
            break;
        const auto image = m_images.find(victim.imageId);
        m_totalBytes -= image->second.byteCount;
        m_images.erase(image);
    }
}
