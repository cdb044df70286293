#include "atlas/ImageSeries.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "atlas/MouseMetaReader.h"

void ImageSeries::Load(const MouseMetaReader& reader)
{
    imageSeriesId = reader.imageSeriesId;
    atlasId = reader.atlasId;
    planeOfSection = reader.planeOfSection;
    std::memcpy(trv, reader.trv, sizeof trv);
    std::memcpy(tvr, reader.tvr, sizeof tvr);
    for (const ImageInfo& image : reader.images)
        images[image.sectionNumber] = image;
    if (!reader.intensityRange.empty())
        intensityRange = "range=" + reader.intensityRange;
}

void ImageSeries::Clear()
{
    planeOfSection = NoPlane;
    std::memset(trv, 0, sizeof trv);
    std::memset(tvr, 0, sizeof tvr);
    images.clear();
    displayParameter = 0.0f;
}

void ImageSeries::SetPlaneOfSection(PlaneOfSection plane)
{
    planeOfSection = plane;
}

const ImageSeries::ImageInfo* ImageSeries::GetImageSection(int sectionNumber) const
{
    const auto found = images.find(sectionNumber);
    return found != images.end() ? &found->second : nullptr;
}

const ImageSeries::ImageInfo* ImageSeries::FindImageFromPoint(float x, float y, float z, float& u,
                                                                                                                            float& v) const
{
    if (images.empty())
        return nullptr;
    const float* m = trv;
    const float p0 = m[0] * x + m[1] * y + m[2] * z + m[9];
    const float p1 = m[3] * x + m[4] * y + m[5] * z + m[10];
    const float s = m[6] * x + m[7] * y + m[8] * z + m[11];

    const ImageInfo* nearest = nullptr;
    float nearestDistance = 0.0f;
    const int firstZ = images.begin()->second.z;
    // The sum wraps as 32-bit integers do; unsigned arithmetic keeps hostile z values defined.
    std::uint32_t spacingSum = static_cast<std::uint32_t>(firstZ);
    for (const auto& [section, image] : images)
    {
        const float distance = std::fabs(s - static_cast<float>(image.z));
        if (!nearest || distance < nearestDistance)
        {
            nearest = &image;
            nearestDistance = distance;
        }
        if (&image != &images.begin()->second)
            spacingSum += static_cast<std::uint32_t>(image.z) - static_cast<std::uint32_t>(firstZ);
    }
    const float tolerance =
        static_cast<float>(static_cast<std::int32_t>(spacingSum)) / static_cast<float>(images.size());
    if (nearestDistance > tolerance)
        return nullptr;

    const float* t = nearest->tvs;
    u = t[0] * p0 + t[1] * p1 + t[4];
    v = t[2] * p0 + t[3] * p1 + t[5];
    return nearest;
}
