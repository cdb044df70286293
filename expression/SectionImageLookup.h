#pragma once

#include "atlas/ImageSeries.h"

#include <array>
#include <cstdint>
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
    {
    }

    SectionImageLookup(const SectionImageLookup&) = delete;
    SectionImageLookup& operator=(const SectionImageLookup&) = delete;

    // Answers exactly what FindImageFromPoint answers.
    const ImageSeries::ImageInfo* Find(float x, float y, float z, float& u, float& v);

private:
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
    std::array<Slot, SLOTS> m_slots{};
    std::unordered_map<std::uint32_t, const ImageSeries::ImageInfo*> m_nearest;
};
