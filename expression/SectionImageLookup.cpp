#include "expression/SectionImageLookup.h"

#include <cstring>

const ImageSeries::ImageInfo* SectionImageLookup::Find(float x, float y, float z, float& u, float& v)
{
    if (m_series.GetNumImages() == 0)
        return nullptr;
    float stackPoint[3];
    m_series.ToSectionStack(x, y, z, stackPoint);
    std::uint32_t key;
    std::memcpy(&key, &stackPoint[2], sizeof key);
    // Fibonacci hashing spreads keys that differ only in their low mantissa bits.
    Slot& slot = m_slots[(key * 2654435769u) >> 22];
    if (!slot.filled || slot.key != key)
    {
        auto found = m_nearest.find(key);
        if (found == m_nearest.end())
            found = m_nearest.emplace(key, m_series.NearestImage(stackPoint[2])).first;
        slot.key = key;
        slot.filled = true;
        slot.image = found->second;
    }
    if (slot.image)
        ImageSeries::ImagePoint(*slot.image, stackPoint, u, v);
    return slot.image;
}
