#include "LabelVolume.h"

namespace atlasgen
{

LabelVolume::LabelVolume(const BrainModel& model, const int dims[3], float resolution, const double extent[3])
    : dims_{dims[0], dims[1], dims[2]}
    , resolution_(resolution)
{
    labels_.resize(static_cast<std::size_t>(dims[0]) * dims[1] * dims[2]);
    std::size_t i = 0;
    for (int z = 0; z < dims[2]; ++z)
    {
        const double nz = (z + 0.5) * resolution / extent[2];
        for (int y = 0; y < dims[1]; ++y)
        {
            const double ny = (y + 0.5) * resolution / extent[1];
            for (int x = 0; x < dims[0]; ++x, ++i)
                labels_[i] = static_cast<std::int16_t>(model.Classify((x + 0.5) * resolution / extent[0], ny, nz));
        }
    }
}

} // namespace atlasgen
