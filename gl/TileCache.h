#pragma once

#include <vector>

// A store of downloaded image tiles (their JPEG bytes) keyed by image id, pyramid level, column and row.
// A region image is kept under column and row -1. Main thread only.
class TileCache
{
public:
    virtual ~TileCache() = default;
    virtual void AddTile(unsigned int imageId, int level, int col, int row, const unsigned char* data,
                         unsigned long size) = 0;
    // Copies the tile's bytes into data; false when the tile is not held.
    virtual bool GetTile(unsigned int imageId, int level, int col, int row, std::vector<unsigned char>& data) = 0;
    virtual void RemoveTile(unsigned int imageId, int level, int col, int row) = 0;
    virtual void CleanCache() = 0;
};
