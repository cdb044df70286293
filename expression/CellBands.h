#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Bands of whole rows of a data grid, one a thread, holding about equal numbers of cells, for work that
// costs by the cell: a brain's cells crowd in the middle of the grid, so bands of equal voxels would leave
// the middle threads with several times the work of the outer ones. The bands follow each other in row
// order (some may be empty), so cells numbered band after band are numbered as one pass would number them.
class CellBands
{
public:
    // rowCells[r]: the cells in row r. At least one band.
    CellBands(const std::vector<std::uint32_t>& rowCells, std::size_t bands);

    std::size_t Count() const { return m_firstRow.size() - 1; }
    // The first row of a band; of band Count(), the number of rows.
    std::size_t FirstRow(std::size_t band) const { return m_firstRow[band]; }
    // The cells in the rows before a band; of band Count(), all cells.
    std::size_t FirstCell(std::size_t band) const { return m_firstCell[band]; }

private:
    std::vector<std::size_t> m_firstRow;
    std::vector<std::size_t> m_firstCell;
};
