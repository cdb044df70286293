#pragma once

#include "atlas/ImageSeries.h"

#include <array>
#include <memory>
#include <vector>

// The section image and pixel of every cell of a data grid, tabulated along the grid's lines. It serves when
// each axis of the section stack follows at most one axis of the grid and every image keeps its column and
// row apart (coronal or sagittal sections of a volume): the image then depends on one grid axis, its column
// on that axis and a second, its row on that axis and the third. Answers what ImageSeries::FindImageFromPoint
// answers at the cell's position, turned into an expressor's section pixel (ImageCoordinate).
class GridImageTable
{
public:
    // Null when the series' transforms mix axes or hold numbers that are not finite.
    static std::unique_ptr<GridImageTable> Make(const ImageSeries& series, const unsigned int* size,
                                                const float* spacing);

    // The image showing the cell at grid voxel (x, y, z), with the cell's column and row in it; null when
    // no image does.
    const ImageSeries::ImageInfo* Find(unsigned int x, unsigned int y, unsigned int z, unsigned short& column,
                                       unsigned short& row) const
    {
        const unsigned int voxel[4] = {x, y, z, 0};
        const std::size_t image = voxel[m_axis[2]];
        column = m_columns[image * m_extent[0] + voxel[m_axis[0]]];
        row = m_rows[image * m_extent[1] + voxel[m_axis[1]]];
        return m_images[image];
    }

    // The pixel coordinate of a position in a section image, clamped to what an expressor stores.
    static unsigned short ImageCoordinate(float position, int offset);

private:
    GridImageTable() = default;

    // The grid axis (3: none) that stack axis k follows, and the number of its voxels (1 for none).
    std::array<unsigned int, 3> m_axis{};
    std::array<std::size_t, 3> m_extent{};
    std::vector<const ImageSeries::ImageInfo*> m_images;
    std::vector<unsigned short> m_columns;
    std::vector<unsigned short> m_rows;
};
