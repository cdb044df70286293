#include "expression/MemoryGeneExpressionCache.h"

#include "core/MemoryStream.h"

#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace
{

const unsigned long MiB = 1048576;

class MemoryGeneExpressionCacheTest : public ::testing::Test
{
protected:
    MemoryGeneExpressionCacheTest()
        : cache([this] { return now; })
    {
    }

    void Add(unsigned int id, unsigned long size, GeneIdType type = IMAGE_SERIES_ID)
    {
        const std::vector<unsigned char> bytes(size, static_cast<unsigned char>(id));
        cache.AddGene(id, 0, type, bytes.data(), bytes.size());
    }

    std::set<unsigned int> Held(std::initializer_list<unsigned int> candidates)
    {
        std::set<unsigned int> held;
        for (const unsigned int id : candidates)
        {
            MemoryStream out(0);
            // Looking would refresh the entry; the clock stands still so the order stays.
            if (cache.GetGene(id, 0, IMAGE_SERIES_ID, out))
                held.insert(id);
        }
        return held;
    }

    std::time_t now = 1000;
    MemoryGeneExpressionCache cache;
};

TEST_F(MemoryGeneExpressionCacheTest, EvictsTheLeastRecentlyUsedDownToThreeMegabytes)
{
    const struct
    {
        std::vector<std::pair<unsigned int, unsigned long>> adds; // id, size; one second apart
        std::set<unsigned int> survivors;
        unsigned long total;
    } cases[] = {
        {{{1, MiB}, {2, MiB}, {3, MiB}, {4, MiB - 1}}, {1, 2, 3, 4}, 4 * MiB - 1},
        {{{1, MiB}, {2, MiB}, {3, MiB}, {4, MiB}}, {2, 3, 4}, 3 * MiB},
        {{{1, MiB / 2}, {2, MiB / 2}, {3, 2 * MiB}, {4, MiB}}, {3, 4}, 3 * MiB},
        {{{1, 100}, {2, 3 * MiB}, {3, MiB}}, {3}, MiB},
        {{{1, 100}, {2, 3 * MiB + 1}}, {1, 2}, 3 * MiB + 101},
        {{{1, 100}, {2, 4 * MiB}}, {}, 0},
        {{{1, 4 * MiB}}, {}, 0},
    };
    for (const auto& c : cases)
    {
        MemoryGeneExpressionCache fresh([this] { return now; });
        for (const auto& [id, size] : c.adds)
        {
            ++now;
            const std::vector<unsigned char> bytes(size, 1);
            fresh.AddGene(id, 0, IMAGE_SERIES_ID, bytes.data(), size);
        }
        std::set<unsigned int> held;
        for (const auto& [id, size] : c.adds)
        {
            MemoryStream out(0);
            if (fresh.GetGene(id, 0, IMAGE_SERIES_ID, out))
                held.insert(id);
        }
        EXPECT_EQ(c.survivors, held);
        EXPECT_EQ(c.total, fresh.GetTotalBytes());
    }
}

TEST_F(MemoryGeneExpressionCacheTest, LookingAtAnEntrySavesItFromEviction)
{
    for (unsigned int id = 1; id <= 3; ++id, ++now)
        Add(id, MiB);
    MemoryStream out(0);
    ASSERT_TRUE(cache.GetGene(1, 0, IMAGE_SERIES_ID, out));
    ++now;
    Add(4, MiB);
    EXPECT_EQ((std::set<unsigned int>{1, 3, 4}), Held({1, 2, 3, 4}));
}

TEST_F(MemoryGeneExpressionCacheTest, WithinOneSecondTheEarlierUseGoesFirst)
{
    for (const unsigned int id : {5u, 1u, 9u})
        Add(id, MiB);
    MemoryStream out(0);
    ASSERT_TRUE(cache.GetGene(5, 0, IMAGE_SERIES_ID, out));
    Add(3, MiB);
    EXPECT_EQ((std::set<unsigned int>{3, 5, 9}), Held({1, 3, 5, 9}));
}

TEST_F(MemoryGeneExpressionCacheTest, OneEntryPerIdAndType)
{
    Add(7, 100);
    Add(7, 300);
    EXPECT_EQ(1u, cache.GetNumEntries());
    EXPECT_EQ(300u, cache.GetTotalBytes());
    Add(7, 50, GENE_ID);
    EXPECT_EQ(2u, cache.GetNumEntries());
    EXPECT_EQ(350u, cache.GetTotalBytes());

    MemoryStream out(0);
    ASSERT_TRUE(cache.GetGene(7, 0, GENE_ID, out));
    EXPECT_EQ(50u, out.GetSize());
    cache.RemoveGene(7, 0, GENE_ID);
    cache.RemoveGene(7, 0, GENE_ID);
    EXPECT_FALSE(cache.GetGene(7, 0, GENE_ID, out));
    EXPECT_EQ(50u, out.GetSize()); // a miss leaves the stream alone
    ASSERT_TRUE(cache.GetGene(7, 0, IMAGE_SERIES_ID, out));
    EXPECT_EQ(300u, cache.GetTotalBytes());
}

TEST_F(MemoryGeneExpressionCacheTest, BytesComeBackWhole)
{
    const std::string bytes = "PK\x03\x04 zip bytes";
    cache.AddGene(42, 0, IMAGE_SERIES_ID, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    MemoryStream out(3);
    out.Seek(2);
    ASSERT_TRUE(cache.GetGene(42, 0, IMAGE_SERIES_ID, out));
    ASSERT_EQ(bytes.size(), out.GetSize());
    EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(out.GetBuffer()), out.GetSize()));
    cache.AddGene(43, 0, IMAGE_SERIES_ID, nullptr, 0);
    MemoryStream empty(0);
    EXPECT_TRUE(cache.GetGene(43, 0, IMAGE_SERIES_ID, empty));
    EXPECT_EQ(0u, empty.GetSize());
}

} // namespace
