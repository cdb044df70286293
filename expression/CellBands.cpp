#include "expression/CellBands.h"

#include <algorithm>

CellBands::CellBands(const std::vector<std::uint32_t>& rowCells, std::size_t bands)
    : m_firstRow(std::max<std::size_t>(1, bands) + 1, rowCells.size())
    , m_firstCell(m_firstRow.size())
{
    // before[r]: the cells in the rows before row r.
    std::vector<std::size_t> before(rowCells.size() + 1, 0);
    for (std::size_t row = 0; row < rowCells.size(); ++row)
        before[row + 1] = before[row] + rowCells[row];
    const std::size_t total = before.back();
    const std::size_t count = Count();
    // Each band begins at the first row with at least its share of the cells before it, so that no band
    // holds more than its share and one row.
    for (std::size_t band = 0; band < count; ++band)
    {
        const std::size_t share = total * band / count;
        m_firstRow[band] =
            static_cast<std::size_t>(std::lower_bound(before.begin(), before.end(), share) - before.begin());
    }
    for (std::size_t band = 0; band <= count; ++band)
        m_firstCell[band] = before[m_firstRow[band]];
}
