#include "expression/SectionImageLookup.h"

const ImageSeries::ImageInfo* SectionImageLookup::Remember(std::uint32_t key, float s)
{
    auto found = m_nearest.find(key);
    if (found == m_nearest.end())
        found = m_nearest.emplace(key, m_series.NearestImage(s)).first;
    Slot& slot = m_slots[(key * 2654435769u) >> 22];
    slot.key = key;
    slot.filled = true;
    slot.image = found->second;
    return slot.image;
}
