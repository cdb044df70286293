#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <typeinfo>

class TaskProgress;

// A 3-D voxel volume of unsigned char, unsigned short or float voxels, x fastest, then y, then z,
// with a voxel spacing per axis. It reads and writes the volume file formats (raw voxels, MetaImage
// headers, JPEG slice stacks, the JPEG slice export) and derives subsampled and resampled volumes,
// which it caches on disk beside the processed-file cache path.
//
// Voxel counts and byte sizes are 64-bit; a volume of more than MAX_IMAGE_BYTES bytes, or with an
// axis of zero voxels from a header, is refused with "Invalid image dimension" before anything is
// allocated.
class Image3d
{
public:
    // Every file under the program's 32-bit streams stays below 4 GiB; so do its volumes.
    static constexpr std::uint64_t MAX_IMAGE_BYTES = 0xFFFFFFFFull;

    // An empty image (not open). Types other than unsigned char, unsigned short and float throw
    // std::runtime_error "Pixel type not supported".
    static std::unique_ptr<Image3d> CreateImage(const std::type_info& type);
    // An open image of that size with every voxel 0.
    static std::unique_ptr<Image3d> CreateImage(const std::type_info& type, const unsigned int* size,
                                                const float* resolution);

    virtual ~Image3d();

    // Sizes the voxel array (existing voxels kept, new ones 0) and opens the image.
    virtual void Allocate(const unsigned int* size, const float* resolution) = 0;
    // Frees the voxels and clears size, resolution, cache path and the open flag.
    virtual void Unload() = 0;
    // Reads a raw little-endian voxel file of exactly that size. Never throws: a missing or short file,
    // a cancel or any other failure answers false and leaves the image not open.
    virtual bool Load(const char* path, const unsigned int* size, const float* resolution, bool invert,
                      TaskProgress* progress) = 0;
    // Reads a MetaImage header, allocates the image and returns the name of the data file ("" when the
    // header names none). Fill the voxels with LoadHeaderData.
    virtual std::string LoadHeader(const char* headerText) = 0;
    // The voxel count that a MetaImage header declares, 64-bit, without allocating anything: readers check
    // the bytes they hold against it first. Throws the header errors of LoadHeader, and "Invalid image
    // dimension" for a grid too large for any image (of the header's element type, when it names one).
    static std::uint64_t HeaderVoxelCount(const char* headerText);
    // Fills the voxels from the bytes of the data file of the last header: exactly one element of the
    // header's type a voxel, else std::runtime_error. 32-bit integers into a float image become their
    // float values.
    virtual void LoadHeaderData(const void* data, std::size_t size) = 0;
    // Where derived volumes are cached; empty for no cache.
    virtual void SetCachableProcessedFilePath(const char* path);
    // Writes the raw voxel file; answers false when cancelled. Any failure throws std::runtime_error
    // after the partial file has been removed.
    virtual bool Save(const char* path, TaskProgress* progress) const = 0;
    // Reads the slices "000.jpg", "001.jpg", … of a folder into an 8-bit image; answers false when
    // cancelled.
    virtual bool ImportSlices(const char* folder, const unsigned int* size, const float* resolution,
                              TaskProgress* progress);
    // Writes an 8-bit image as one file of x planes, each a JPEG of size y × size z, behind a table of
    // their offsets. Answers false when the file cannot be written.
    virtual bool ExportSlices(const char* path) const;
    // out := every factor-th voxel (the centre of each block), smoothed first when asked for 8-bit
    // images. factor below 1 throws std::invalid_argument. The result is cached as the cache path +
    // "_d" + factor.
    virtual void Subsample(int factor, Image3d& out, bool smooth) const = 0;
    // Nearest-voxel resampling of source onto this image's own (already allocated) grid; cached at the
    // cache path itself.
    virtual void ResampleFromImage(const Image3d& source) = 0;
    // The voxel nearest to a physical position, clamped to the volume; 0 when not open.
    virtual float GetValue(float x, float y, float z) const = 0;
    virtual const void* GetBuffer() const = 0;
    virtual void* GetBuffer() = 0;
    virtual std::size_t GetNumVoxels() const = 0;
    virtual const std::type_info& GetPixelType() const = 0;
    virtual bool IsOpen() const;
    virtual unsigned int GetSize(int axis) const;
    virtual const unsigned int* GetSize() const;
    virtual float GetResolution(int axis) const;
    virtual const float* GetResolution() const;
    // Every voxel v becomes 255 - v in the voxel type's arithmetic.
    virtual void Invert() = 0;

protected:
    Image3d() = default;
    Image3d(const Image3d&) = delete;
    Image3d& operator=(const Image3d&) = delete;

    // Checks and takes a new size and resolution. Throws "Invalid image dimension" when the volume
    // would not fit; nothing changes then.
    void SetGeometry(const unsigned int* size, const float* resolution, std::size_t voxelBytes);
    // The voxel count of that size; throws "Invalid image dimension" when its voxels would not fit.
    static std::uint64_t CheckedVoxelCount(const unsigned int* size, std::size_t voxelBytes);
    void ClearGeometry();
    std::uint64_t VoxelCount() const;
    // Removes what a failed or cancelled write left at path, but only a regular file: the path may
    // name a device, a pipe or a link to one, which must survive.
    static void RemovePartialFile(const char* path);

    std::string m_cachePath;
    bool m_open = false;
    unsigned int m_size[3] = {0, 0, 0};
    float m_resolution[3] = {0.0f, 0.0f, 0.0f};
    std::uint64_t m_sliceVoxels = 0;
};
