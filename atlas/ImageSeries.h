#pragma once

#include <map>
#include <string>

class MouseMetaReader;

// The section images of one experiment or atlas space, keyed by section number, with the affine
// transforms between the 3-D reference space and the section stack.
class ImageSeries
{
public:
    enum PlaneOfSection
    {
        NoPlane = -1,
        Coronal = 0,
        Sagittal = 1
    };

    struct ImageInfo
    {
        int sectionNumber = 0;
        int id = 0;
        int width = 0;
        int height = 0;
        std::string imagePath;
        std::string expressionPath;
        int left = 0;
        int top = 0;
        int parentImageWidth = 0;
        int parentImageHeight = 0;
        int z = 0;         // position along the cutting axis, in reference-space units
        float tsv[6] = {}; // section to volume
        float tvs[6] = {}; // volume to section: 2x2 matrix by rows, then the translation
    };

    ImageSeries() = default;
    virtual ~ImageSeries() = default;

    virtual void Load(const MouseMetaReader& reader);
    virtual void Clear();
    virtual void SetPlaneOfSection(PlaneOfSection plane);

    const ImageInfo* GetImageSection(int sectionNumber) const;
    // The image nearest to (x, y, z) and the point's column u and row v in it; null when the series is
    // empty or the point lies farther from every section than the series' spacing allows.
    const ImageInfo* FindImageFromPoint(float x, float y, float z, float& u, float& v) const;
    // The three steps of FindImageFromPoint, for callers that look up many points of few sections: the
    // point in the section stack (two in-plane coordinates, then the position along the cutting axis), the
    // image nearest to a position along the axis (null beyond the series' tolerance), and the stack point's
    // column and row in an image.
    void ToSectionStack(float x, float y, float z, float* out) const;
    const ImageInfo* NearestImage(float s) const;
    static void ImagePoint(const ImageInfo& image, const float* stackPoint, float& u, float& v);

    const std::map<int, ImageInfo>& GetImages() const { return m_images; }
    size_t GetNumImages() const { return m_images.size(); }
    const std::string& GetIntensityRange() const { return m_intensityRange; }
    unsigned int GetImageSeriesId() const { return m_imageSeriesId; }
    unsigned int GetAtlasId() const { return m_atlasId; }
    int GetPlaneOfSection() const { return m_planeOfSection; }
    const float* GetTrv() const { return m_trv; }
    const float* GetTvr() const { return m_tvr; }
    // Set by the data-set reader for projection experiments; the scene renderer reads it.
    float GetDisplayParameter() const { return m_displayParameter; }
    void SetDisplayParameter(float value) { m_displayParameter = value; }

private:
    std::map<int, ImageInfo> m_images;
    std::string m_intensityRange;
    unsigned int m_imageSeriesId = 0;
    unsigned int m_atlasId = 0;
    int m_planeOfSection = NoPlane;
    float m_trv[12] = {};
    float m_tvr[12] = {};
    float m_displayParameter = 0.0f;
};
