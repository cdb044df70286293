#include "expression/CellBands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

namespace
{
struct Split
{
    const char* name;
    std::vector<std::uint32_t> rowCells;
    std::size_t bands;
    // The first row of each band, then the number of rows.
    std::vector<std::size_t> firstRows;
};

// Bands cover the rows in order, each band's cells are counted from the rows before it, and no band holds
// more than its share of the cells and one row.
void ExpectSound(const Split& split, const CellBands& bands)
{
    const std::size_t rows = split.rowCells.size();
    const std::size_t total = std::accumulate(split.rowCells.begin(), split.rowCells.end(), std::size_t(0));
    const std::uint32_t widest =
        split.rowCells.empty() ? 0 : *std::max_element(split.rowCells.begin(), split.rowCells.end());
    ASSERT_EQ(std::max<std::size_t>(1, split.bands), bands.Count());
    EXPECT_EQ(0u, bands.FirstRow(0));
    EXPECT_EQ(rows, bands.FirstRow(bands.Count()));
    EXPECT_EQ(total, bands.FirstCell(bands.Count()));
    for (std::size_t band = 0; band < bands.Count(); ++band)
    {
        ASSERT_LE(bands.FirstRow(band), bands.FirstRow(band + 1));
        const std::size_t before =
            std::accumulate(split.rowCells.begin(), split.rowCells.begin() + bands.FirstRow(band), std::size_t(0));
        EXPECT_EQ(before, bands.FirstCell(band)) << "band " << band;
        EXPECT_LE(bands.FirstCell(band + 1) - bands.FirstCell(band),
                  (total + bands.Count() - 1) / bands.Count() + widest)
            << "band " << band;
    }
}
} // namespace

TEST(CellBandsTest, BandsHoldAboutEqualCellsInRowOrder)
{
    const std::vector<Split> splits = {
        {"one band", {5, 5, 5, 5}, 1, {0, 4}},
        {"no band asked", {5, 5}, 0, {0, 2}},
        {"even rows", {5, 5, 5, 5}, 2, {0, 2, 4}},
        {"no rows", {}, 3, {0, 0, 0, 0}},
        {"no cells", {0, 0, 0}, 2, {0, 0, 3}},
        {"more bands than rows", {3, 3}, 5, {0, 1, 1, 1, 2, 2}},
        {"all cells in one row", {0, 0, 9, 0, 0}, 3, {0, 3, 3, 5}},
        {"empty rows at both ends", {0, 0, 4, 4, 4, 4, 0, 0}, 4, {0, 3, 4, 5, 8}},
        {"crowded middle", {1, 1, 1, 1, 20, 20, 1, 1, 1, 1}, 4, {0, 5, 5, 6, 10}},
        {"cells in the last row only", {0, 0, 0, 7}, 2, {0, 4, 4}},
    };
    for (const Split& split : splits)
    {
        SCOPED_TRACE(split.name);
        const CellBands bands(split.rowCells, split.bands);
        ExpectSound(split, bands);
        std::vector<std::size_t> firstRows;
        for (std::size_t band = 0; band <= bands.Count(); ++band)
            firstRows.push_back(bands.FirstRow(band));
        EXPECT_EQ(split.firstRows, firstRows);
    }
}
