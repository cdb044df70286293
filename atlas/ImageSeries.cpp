#include "atlas/ImageSeries.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "atlas/MouseMetaReader.h"

void ImageSeries::Load(const MouseMetaReader& reader)
{
    m_imageSeriesId = reader.imageSeriesId;
    m_atlasId = reader.atlasId;
    m_planeOfSection = reader.planeOfSection;
    std::memcpy(m_trv, reader.trv, sizeof m_trv);
    std::memcpy(m_tvr, reader.tvr, sizeof m_tvr);
    for (const ImageInfo& image : reader.images)
        m_images[image.sectionNumber] = image;
    if (!reader.intensityRange.empty())
        m_intensityRange = "range=" + reader.intensityRange;
}

void ImageSeries::Clear()
{
    m_planeOfSection = NoPlane;
    std::memset(m_trv, 0, sizeof m_trv);
    std::memset(m_tvr, 0, sizeof m_tvr);
    m_images.clear();
    m_displayParameter = 0.0f;
}

void ImageSeries::SetPlaneOfSection(PlaneOfSection plane)
{
    m_planeOfSection = plane;
}

const ImageSeries::ImageInfo* ImageSeries::GetImageSection(int sectionNumber) const
{
    const auto found = m_images.find(sectionNumber);
    return found != m_images.end() ? &found->second : nullptr;
}

const ImageSeries::ImageInfo* ImageSeries::FindImageFromPoint(float x, float y, float z, float& u, float& v) const
{
    if (m_images.empty())
        return nullptr;
    float stackPoint[3];
    ToSectionStack(x, y, z, stackPoint);
    const ImageInfo* nearest = NearestImage(stackPoint[2]);
    if (nearest)
        ImagePoint(*nearest, stackPoint, u, v);
    return nearest;
}

void ImageSeries::ToSectionStack(float x, float y, float z, float* out) const
{
    const float* m = m_trv;
    out[0] = m[0] * x + m[1] * y + m[2] * z + m[9];
    out[1] = m[3] * x + m[4] * y + m[5] * z + m[10];
    out[2] = m[6] * x + m[7] * y + m[8] * z + m[11];
}

const ImageSeries::ImageInfo* ImageSeries::NearestImage(float s) const
{
    if (m_images.empty())
        return nullptr;
    const ImageInfo* nearest = nullptr;
    float nearestDistance = 0.0f;
    const int firstZ = m_images.begin()->second.z;
    // The sum wraps as 32-bit integers do; unsigned arithmetic keeps hostile z values defined.
    std::uint32_t spacingSum = static_cast<std::uint32_t>(firstZ);
    for (const auto& entry : m_images)
    {
        const ImageInfo& image = entry.second;
        const float distance = std::fabs(s - static_cast<float>(image.z));
        if (!nearest || distance < nearestDistance)
        {
            nearest = &image;
            nearestDistance = distance;
        }
        spacingSum += static_cast<std::uint32_t>(image.z) - static_cast<std::uint32_t>(firstZ);
    }
    const float tolerance =
        static_cast<float>(static_cast<std::int32_t>(spacingSum)) / static_cast<float>(m_images.size());
    return nearestDistance > tolerance ? nullptr : nearest;
}

void ImageSeries::ImagePoint(const ImageInfo& image, const float* stackPoint, float& u, float& v)
{
    const float* t = image.tvs;
    u = t[0] * stackPoint[0] + t[1] * stackPoint[1] + t[4];
    v = t[2] * stackPoint[0] + t[3] * stackPoint[1] + t[5];
}
