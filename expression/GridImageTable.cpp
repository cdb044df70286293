#include "expression/GridImageTable.h"

#include <cmath>

namespace
{
bool Finite(const float* values, int count)
{
    for (int i = 0; i < count; ++i)
    {
        if (!std::isfinite(values[i]))
            return false;
    }
    return true;
}
} // namespace

std::unique_ptr<GridImageTable> GridImageTable::Make(const ImageSeries& series, const unsigned int* size,
                                                     const float* spacing)
{
    const float* m = series.GetTrv();
    if (!Finite(m, 12) || !Finite(spacing, 3))
        return nullptr;
    // An image whose column also follows the stack's second axis (or its row the first) mixes them.
    for (const auto& entry : series.GetImages())
    {
        const float* t = entry.second.tvs;
        if (!Finite(t, 6) || t[1] != 0.0f || t[2] != 0.0f)
            return nullptr;
    }
    std::unique_ptr<GridImageTable> table(new GridImageTable());
    for (int k = 0; k < 3; ++k)
    {
        table->m_axis[k] = 3;
        for (unsigned int axis = 0; axis < 3; ++axis)
        {
            if (m[3 * k + axis] == 0.0f)
                continue;
            if (table->m_axis[k] != 3)
                return nullptr;
            table->m_axis[k] = axis;
        }
        table->m_extent[k] = table->m_axis[k] == 3 ? 1 : size[table->m_axis[k]];
    }

    // The stack point of the grid line through voxel index i along the axis that stack axis k follows,
    // the other coordinates 0: the terms they would add are products with 0.
    auto stack = [&](int k, std::size_t i) {
        float position[3] = {0.0f, 0.0f, 0.0f};
        if (table->m_axis[k] != 3)
            position[table->m_axis[k]] = float(unsigned(i)) * spacing[table->m_axis[k]];
        float point[3];
        series.ToSectionStack(position[0], position[1], position[2], point);
        return point[k];
    };
    // The stack's first two coordinates along their grid lines, the same for every image.
    std::array<std::vector<float>, 2> lines;
    for (int k = 0; k < 2; ++k)
    {
        lines[k].resize(table->m_extent[k]);
        for (std::size_t i = 0; i < lines[k].size(); ++i)
            lines[k][i] = stack(k, i);
    }
    const std::size_t images = table->m_extent[2];
    table->m_images.resize(images);
    table->m_columns.resize(images * table->m_extent[0]);
    table->m_rows.resize(images * table->m_extent[1]);
    for (std::size_t a = 0; a < images; ++a)
    {
        const ImageSeries::ImageInfo* image = series.NearestImage(stack(2, a));
        table->m_images[a] = image;
        if (!image)
            continue;
        for (std::size_t b = 0; b < table->m_extent[0]; ++b)
        {
            const float point[3] = {lines[0][b], 0.0f, 0.0f};
            float u = 0, v = 0;
            ImageSeries::ImagePoint(*image, point, u, v);
            table->m_columns[a * table->m_extent[0] + b] = ImageCoordinate(u, image->left);
        }
        for (std::size_t c = 0; c < table->m_extent[1]; ++c)
        {
            const float point[3] = {0.0f, lines[1][c], 0.0f};
            float u = 0, v = 0;
            ImageSeries::ImagePoint(*image, point, u, v);
            table->m_rows[a * table->m_extent[1] + c] = ImageCoordinate(v, image->top);
        }
    }
    return table;
}

unsigned short GridImageTable::ImageCoordinate(float position, int offset)
{
    const double value = std::trunc(double(position)) + offset;
    if (!(value > 0.0))
        return 0;
    return value >= 65535.0 ? 65535 : static_cast<unsigned short>(value);
}
