#pragma once

#include "core/DefaultInitAllocator.h"
#include "core/Image3d.h"

#include <vector>

// The voxel store of Image3d for one voxel type: unsigned char, unsigned short or float (the only
// instantiations). Create images through Image3d::CreateImage.
template <typename T>
class Image3dImpl : public Image3d
{
public:
    Image3dImpl() = default;
    ~Image3dImpl() override = default;

    void Allocate(const unsigned int* size, const float* resolution) override;
    void Unload() override;
    bool Load(const char* path, const unsigned int* size, const float* resolution, bool invert,
              TaskProgress* progress) override;
    std::string LoadHeader(const char* headerText) override;
    void LoadHeaderData(const void* data, std::size_t size) override;
    bool Save(const char* path, TaskProgress* progress) const override;
    void Subsample(int factor, Image3d& out, bool smooth) const override;
    void ResampleFromImage(const Image3d& source) override;
    float GetValue(float x, float y, float z) const override;
    const void* GetBuffer() const override { return m_voxels.data(); }
    void* GetBuffer() override { return m_voxels.data(); }
    std::size_t GetNumVoxels() const override { return m_voxels.size(); }
    const std::type_info& GetPixelType() const override { return typeid(T); }
    void Invert() override;

private:
    // How the data file of the last MetaImage header stores its elements.
    enum class HeaderElement
    {
        Native,
        Int32,
        Uint32
    };

    bool ReadVoxels(const char* path, bool invert, TaskProgress* progress);
    // Loads a cached derived volume; false when there is none or it does not fit.
    bool LoadCache(Image3dImpl& target, const std::string& path, const unsigned int* size,
                   const float* resolution) const;
    // A cache that cannot be written (a read-only atlas folder) only costs time later.
    static void SaveCache(const Image3dImpl& image, const std::string& path);

    // Sized without zeroing where a file fills it whole; Allocate writes its zeros explicitly.
    using VoxelArray = std::vector<T, DefaultInitAllocator<T>>;

    // Sizes the array for count voxels; new ones are zero when zeroed is set and left for the caller to
    // fill otherwise.
    void Resize(std::size_t count, bool zeroed);

    VoxelArray m_voxels;
    HeaderElement m_headerElement = HeaderElement::Native;
};

extern template class Image3dImpl<unsigned char>;
extern template class Image3dImpl<unsigned short>;
extern template class Image3dImpl<float>;
