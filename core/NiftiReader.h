#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class IOStream;
class Image3d;

// A single-file NIfTI-1 volume (".nii", plain or gzip-compressed) read whole from a stream. Only the
// first three dimensions, their spacings and the voxel offset are taken from the header; the caller
// chooses how the voxels are read by the operation it calls.
//
// Headers are checked before anything is sized by them: the file must hold a little-endian NIfTI-1
// header (sizeof_hdr 348) with dimensions of 1 or more, and every read of voxels must lie within the
// file. Problems are std::runtime_error.
class NiftiReader
{
public:
    // Reads and checks the whole file. The stream is not kept beyond the constructor.
    explicit NiftiReader(IOStream* stream);
    virtual ~NiftiReader();

    NiftiReader(const NiftiReader&) = delete;
    NiftiReader& operator=(const NiftiReader&) = delete;

    // A new unsigned 16-bit image of the first volume's voxels, unchanged.
    virtual std::unique_ptr<Image3d> GetImage();
    // Reads the first volume as unsigned 64-bit counts c into out (GetNumVoxels() floats): log2(c), 0
    // for 0, divided by 0.75 × the largest of them; all 0 when that largest value is 0.
    virtual void GetImage(float* out);

    // Voxels along x, y and z, so that callers can size the buffer of GetImage(float*).
    const unsigned int* GetSize() const { return m_size; }
    std::uint64_t GetNumVoxels() const;

private:
    void ReadHeader();
    // The first volume's bytes when voxels of elementSize bytes fit within the file, else throws.
    const unsigned char* VoxelData(std::size_t elementSize) const;

    IOStream* m_stream;
    std::vector<unsigned char> m_bytes;
    unsigned int m_size[3] = {0, 0, 0};
    float m_resolution[3] = {0.0f, 0.0f, 0.0f};
    std::uint64_t m_voxelOffset = 0;
};
