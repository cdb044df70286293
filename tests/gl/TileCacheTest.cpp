// The memory tile cache: lookup by coordinates, whole-image eviction at 4 MiB down to 3 MiB.

#include "gl/MemoryTileCache.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

constexpr unsigned long MiB = 1024ul * 1024ul;

std::vector<unsigned char> Bytes(unsigned long size, unsigned char fill = 7)
{
    return std::vector<unsigned char>(size, fill);
}

struct EvictionCase
{
    const char* name;
    std::vector<std::pair<unsigned int, unsigned long>> adds; // image id, bytes of one tile, in order
    std::vector<unsigned int> kept;
    unsigned long total;
};

TEST(MemoryTileCacheTest, EvictsWholeImagesLeastRecentlyUsedFirst)
{
    const EvictionCase cases[] = {
        {"just below the limit keeps all", {{1, MiB}, {2, MiB}, {3, MiB}, {4, MiB - 1}}, {1, 2, 3, 4}, 4 * MiB - 1},
        {"at the limit down to 3 MiB", {{1, MiB}, {2, MiB}, {3, MiB}, {4, MiB}}, {2, 3, 4}, 3 * MiB},
        {"the image just added to leaves last", {{1, MiB}, {2, MiB}, {3, 3 * MiB / 2}, {1, MiB / 2}}, {1, 3}, 3 * MiB},
        {"an image alone above the limit goes too", {{1, 100}, {2, 4 * MiB}}, {}, 0},
        {"oldest images go until 3 MiB", {{1, MiB / 2}, {2, MiB / 2}, {3, 3 * MiB}}, {3}, 3 * MiB},
        {"a second tile of an image counts for it", {{1, 2 * MiB}, {2, MiB}, {1, MiB}}, {1}, 3 * MiB},
    };
    for (const EvictionCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        MemoryTileCache cache;
        int col = 0;
        for (const auto& [id, size] : c.adds)
        {
            const std::vector<unsigned char> bytes = Bytes(size);
            cache.AddTile(id, 0, col++, 0, bytes.data(), size);
        }
        for (unsigned int id = 1; id <= 4; ++id)
            EXPECT_EQ(std::count(c.kept.begin(), c.kept.end(), id) > 0, cache.HasImage(id)) << id;
        EXPECT_EQ(c.total, cache.GetTotalBytes());
    }
}

TEST(MemoryTileCacheTest, ReadingATileMakesItsImageRecent)
{
    MemoryTileCache cache;
    const std::vector<unsigned char> bytes = Bytes(MiB);
    std::vector<unsigned char> out;
    for (unsigned int id = 1; id <= 3; ++id)
        cache.AddTile(id, 0, 0, 0, bytes.data(), MiB);
    ASSERT_TRUE(cache.GetTile(1, 0, 0, 0, out));
    cache.AddTile(4, 0, 0, 0, bytes.data(), MiB);
    EXPECT_TRUE(cache.HasImage(1));
    EXPECT_FALSE(cache.HasImage(2));
    EXPECT_TRUE(cache.HasImage(3));
}

TEST(MemoryTileCacheTest, TilesWithEqualSumsKeepTheirOwnBytes)
{
    MemoryTileCache cache;
    const std::vector<unsigned char> a = Bytes(3, 'a'), b = Bytes(5, 'b');
    cache.AddTile(9, 1, 2, 3, a.data(), a.size()); // level 1, col 2, row 3: sum 14
    cache.AddTile(9, 3, 2, 1, b.data(), b.size()); // level 3, col 2, row 1: sum 14
    std::vector<unsigned char> out;
    ASSERT_TRUE(cache.GetTile(9, 1, 2, 3, out));
    EXPECT_EQ(a, out);
    ASSERT_TRUE(cache.GetTile(9, 3, 2, 1, out));
    EXPECT_EQ(b, out);
    EXPECT_FALSE(cache.GetTile(9, 2, 3, 1, out));
    EXPECT_FALSE(cache.GetTile(8, 1, 2, 3, out));

    cache.RemoveTile(9, 1, 2, 3);
    EXPECT_FALSE(cache.GetTile(9, 1, 2, 3, out));
    EXPECT_TRUE(cache.GetTile(9, 3, 2, 1, out));
    EXPECT_EQ(5u, cache.GetTotalBytes());
    cache.RemoveTile(9, 3, 2, 1);
    cache.RemoveTile(9, 3, 2, 1); // nothing left to remove
    EXPECT_EQ(0u, cache.GetTotalBytes());
    EXPECT_TRUE(cache.HasImage(9)) << "an emptied image keeps its entry";
}

} // namespace
