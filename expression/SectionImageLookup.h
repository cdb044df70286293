#pragma once

#include "atlas/ImageSeries.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <unordered_map>

// ImageSeries::FindImageFromPoint for the cells of a data grid. Finding the nearest image scans the whole
// series, but a grid's cells lie on few distinct positions along the cutting axis, so the nearest image
// is remembered per position and each further cell costs a projection and a table lookup.
class SectionImageLookup
{
public:
    // The series must outlive the lookup and not change while it is used.
    explicit SectionImageLookup(const ImageSeries& series)
        : m_series(series)
        , m_empty(series.GetNumImages() == 0)
    {
        std::memcpy(m_trv, series.GetTrv(), sizeof m_trv);
    }

    SectionImageLookup(const SectionImageLookup&) = delete;
    SectionImageLookup& operator=(const SectionImageLookup&) = delete;

    // Answers exactly what FindImageFromPoint answers. Inline, with the series' own sums spelt out in the
    // same order, since data sets call it for hundreds of thousands of cells.
    const ImageSeries::ImageInfo* Find(float x, float y, float z, float& u, float& v)
    {
        if (m_empty)
            return nullptr;
        const float* m = m_trv;
        const float stack[3] = {m[0] * x + m[1] * y + m[2] * z + m[9], m[3] * x + m[4] * y + m[5] * z + m[10],
                                m[6] * x + m[7] * y + m[8] * z + m[11]};
        const ImageSeries::ImageInfo* image = Nearest(stack[2]);
        if (image)
        {
            const float* t = image->tvs;
            u = t[0] * stack[0] + t[1] * stack[1] + t[4];
            v = t[2] * stack[0] + t[3] * stack[1] + t[5];
        }
        return image;
    }

private:
    const ImageSeries::ImageInfo* Nearest(float s)
    {
        std::uint32_t key;
        std::memcpy(&key, &s, sizeof key);
        // Fibonacci hashing spreads keys that differ only in their low mantissa bits.
        const Slot& slot = m_slots[(key * 2654435769u) >> 22];
        return slot.filled && slot.key == key ? slot.image : Remember(key, s);
    }
    const ImageSeries::ImageInfo* Remember(std::uint32_t key, float s);

    // Answers by the bits of the position along the axis (equal bits, equal answer): every one in the map,
    // the recent ones in a direct-mapped table in front of it, which costs a cell less than the map does.
    struct Slot
    {
        std::uint32_t key = 0;
        bool filled = false;
        const ImageSeries::ImageInfo* image = nullptr;
    };
    static constexpr std::size_t SLOTS = 1024;

    const ImageSeries& m_series;
    const bool m_empty;
    float m_trv[12];
    std::array<Slot, SLOTS> m_slots{};
    std::unordered_map<std::uint32_t, const ImageSeries::ImageInfo*> m_nearest;
};
