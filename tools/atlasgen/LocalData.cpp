#include "LocalData.h"

#include "BinaryFile.h"
#include "Noise.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace atlasgen
{

constexpr int LocalData::TRACT_GRID[3];

namespace
{

// The correlation grid the rat layer resamples from, and the rat layer's own grid; both 0.2 mm.
const int kCorrelationGrid[3] = {67, 41, 58};
const int kRatGrid[3] = {56, 111, 56};
const double kRatSpacing = 0.2;

void Put16(std::vector<unsigned char>& b, std::size_t at, std::int16_t v)
{
    const auto u = static_cast<std::uint16_t>(v);
    b[at] = static_cast<unsigned char>(u);
    b[at + 1] = static_cast<unsigned char>(u >> 8);
}

void Put32(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

void PutFloat(std::vector<unsigned char>& b, std::size_t at, float v)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &v, 4);
    Put32(b, at, bits);
}

// A NIfTI-1 single-file header (348 bytes and the 4-byte extension flag) for unsigned 64-bit voxels.
std::vector<unsigned char> NiftiHeader(const int* dims, float spacing)
{
    std::vector<unsigned char> h(352, 0);
    Put32(h, 0, 348);
    const std::int16_t dim[8] = {3,
                                 static_cast<std::int16_t>(dims[0]),
                                 static_cast<std::int16_t>(dims[1]),
                                 static_cast<std::int16_t>(dims[2]),
                                 1,
                                 1,
                                 1,
                                 1};
    for (int i = 0; i < 8; ++i)
        Put16(h, 40 + 2 * i, dim[i]);
    Put16(h, 70, 1280); // datatype: unsigned 64-bit
    Put16(h, 72, 64);   // bits per voxel
    const float pixdim[8] = {1.0f, spacing, spacing, spacing, 1.0f, 1.0f, 1.0f, 1.0f};
    for (int i = 0; i < 8; ++i)
        PutFloat(h, 76 + 4 * i, pixdim[i]);
    PutFloat(h, 108, 352.0f); // vox_offset
    PutFloat(h, 112, 1.0f);   // scl_slope
    h[123] = 2;               // xyzt_units: millimetres
    std::memcpy(&h[344], "n+1", 4);
    return h;
}

void WriteGzip(const std::string& path, const std::vector<unsigned char>& bytes)
{
    // zlib's own gzip header carries no time stamp, so the file stays the same from run to run.
    gzFile file = gzopen(path.c_str(), "wb1");
    if (!file)
        throw std::runtime_error("cannot write " + path);
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size())
    {
        const auto chunk = static_cast<unsigned int>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
        ok = gzwrite(file, bytes.data() + done, chunk) == static_cast<int>(chunk);
        done += chunk;
    }
    if (gzclose(file) != Z_OK || !ok)
        throw std::runtime_error("cannot write " + path);
}

std::string Numbers(const double* values, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? " " : "") + Number(values[i]);
    return text;
}

} // namespace

LocalData::LocalData(const AtlasContext& context, const std::vector<SpaceFiles::Sample>& samples)
    : c_(context)
    , samples_(samples)
{
}

void LocalData::Write(const std::string& folder) const
{
    const unsigned int id = c_.identity.id;
    if (id == 35100)
        WriteTracts(folder + "/ProbTrack");
    if (id == 310 || id == 378)
        WriteAfferents(folder + "/Afferents");
    if (id == 50000)
        WriteTransforms(folder + "/Transforms");
}

bool LocalData::Inside(const double* fraction) const
{
    return c_.model.Classify(fraction[0], fraction[1], fraction[2]) >= 0;
}

// --- Tract volumes ---

std::vector<std::array<int, 3>> LocalData::TractSeeds() const
{
    std::vector<std::array<int, 3>> seeds;
    for (const double fz : {0.375, 0.625})
        for (const double fy : {0.375, 0.625})
            for (const double fx : {0.375, 0.625})
            {
                const std::array<int, 3> seed{static_cast<int>(fx * TRACT_GRID[0]),
                                              static_cast<int>(fy * TRACT_GRID[1]),
                                              static_cast<int>(fz * TRACT_GRID[2])};
                double centre[3];
                for (int a = 0; a < 3; ++a)
                    centre[a] = (seed[a] + 0.5) / TRACT_GRID[a];
                if (Inside(centre) && seeds.size() < static_cast<std::size_t>(MAX_TRACT_SEEDS))
                    seeds.push_back(seed);
            }
    return seeds;
}

bool LocalData::StructureCentre(int structure, double* centre) const
{
    // A coarse scan of the brain box is enough to aim a tract.
    const int n = 24;
    double sum[3] = {0, 0, 0};
    int count = 0;
    for (int z = 0; z < n; ++z)
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
            {
                const double p[3] = {(x + 0.5) / n, (y + 0.5) / n, (z + 0.5) / n};
                const int s = c_.model.Classify(p[0], p[1], p[2]);
                if (s >= 0 && c_.model.InSubtree(s, structure))
                {
                    for (int a = 0; a < 3; ++a)
                        sum[a] += p[a];
                    ++count;
                }
            }
    for (int a = 0; a < 3 && count; ++a)
        centre[a] = sum[a] / count;
    return count > 0;
}

void LocalData::WriteTracts(const std::string& folder) const
{
    const std::vector<std::array<int, 3>> seeds = TractSeeds();
    for (std::size_t k = 0; k < seeds.size(); ++k)
    {
        const std::array<int, 3>& s = seeds[k];
        const std::string sub = folder + "/" + std::to_string(s[0]);
        std::filesystem::create_directories(sub);
        WriteTract(sub + "/scm_" + std::to_string(s[0]) + "_" + std::to_string(s[1]) + "_" + std::to_string(s[2]) +
                       ".nii.gz",
                   s, static_cast<int>(k));
    }
}

void LocalData::WriteTract(const std::string& path, const std::array<int, 3>& seed, int number) const
{
    // The target: the centre of a real structure other than the root, chosen by the seed's number.
    const auto& list = c_.model.Structures();
    double target[3] = {0.5, 0.5, 0.5};
    for (std::size_t step = 0; step < list.size(); ++step)
    {
        const std::size_t s = (static_cast<std::size_t>(number) * 7 + 3 + step) % list.size();
        if (!list[s].pseudo && list[s].parent >= 0 && StructureCentre(static_cast<int>(s), target))
            break;
    }
    double a[3], b[3];
    for (int i = 0; i < 3; ++i)
    {
        a[i] = seed[i] + 0.5;
        b[i] = target[i] * TRACT_GRID[i];
    }
    const std::size_t count = static_cast<std::size_t>(TRACT_GRID[0]) * TRACT_GRID[1] * TRACT_GRID[2];
    std::vector<unsigned char> bytes = NiftiHeader(TRACT_GRID, 1.0f);
    const std::size_t data = bytes.size();
    bytes.resize(data + count * 8, 0);
    double ab[3], length2 = 0.0;
    for (int i = 0; i < 3; ++i)
    {
        ab[i] = b[i] - a[i];
        length2 += ab[i] * ab[i];
    }
    int low[3], high[3];
    for (int i = 0; i < 3; ++i)
    {
        low[i] = std::max(0, static_cast<int>(std::min(a[i], b[i])) - 2);
        high[i] = std::min(TRACT_GRID[i] - 1, static_cast<int>(std::max(a[i], b[i])) + 2);
    }
    for (int z = low[2]; z <= high[2]; ++z)
        for (int y = low[1]; y <= high[1]; ++y)
            for (int x = low[0]; x <= high[0]; ++x)
            {
                const double p[3] = {x + 0.5, y + 0.5, z + 0.5};
                double t = 0.0;
                for (int i = 0; i < 3; ++i)
                    t += (p[i] - a[i]) * ab[i];
                t = length2 > 0.0 ? std::clamp(t / length2, 0.0, 1.0) : 0.0;
                double d2 = 0.0;
                double fraction[3];
                for (int i = 0; i < 3; ++i)
                {
                    const double e = p[i] - (a[i] + t * ab[i]);
                    d2 += e * e;
                    fraction[i] = p[i] / TRACT_GRID[i];
                }
                if (d2 > 1.5 * 1.5 || !Inside(fraction))
                    continue;
                const std::uint64_t value = 200 + static_cast<std::uint64_t>(4800.0 * (1.0 - t)) +
                                            Noise::Hash(static_cast<std::uint32_t>(x), y, z, 35100u) % 50;
                const std::size_t index =
                    (static_cast<std::size_t>(z) * TRACT_GRID[1] + y) * TRACT_GRID[0] + static_cast<std::size_t>(x);
                for (int i = 0; i < 8; ++i)
                    bytes[data + index * 8 + i] = static_cast<unsigned char>(value >> (8 * i));
            }
    WriteGzip(path, bytes);
}

// --- Afferent seed experiments ---

void LocalData::WriteAfferents(const std::string& folder) const
{
    std::filesystem::create_directories(folder);
    WriteAfferent(folder + "/" + std::to_string(DEFAULT_AFFERENT), DEFAULT_AFFERENT);
    for (const SpaceFiles::Sample& s : samples_)
        WriteAfferent(folder + "/" + std::to_string(s.id), s.id);
}

void LocalData::WriteAfferent(const std::string& path, unsigned int experiment) const
{
    // Sites at sample points, each with lines running to other sample points: all inside the brain.
    BinaryFile file(path);
    const std::size_t n = samples_.size();
    const std::uint32_t sites = n ? 2 + Noise::Hash(experiment, 1u) % 2 : 0;
    file.U32(sites);
    for (std::uint32_t s = 0; s < sites; ++s)
    {
        const SpaceFiles::Sample& from = samples_[Noise::Hash(experiment, 2u, s) % n];
        file.U32(c_.model.Structures()[static_cast<std::size_t>(from.structure)].databaseId);
        file.U32(s);
        const std::uint32_t lines = 2 + Noise::Hash(experiment, 3u, s) % 2;
        file.U32(lines);
        for (std::uint32_t l = 0; l < lines; ++l)
        {
            const SpaceFiles::Sample& to = samples_[Noise::Hash(experiment, 4u, s, l) % n];
            file.U32(to.id);
            file.F32(static_cast<float>(0.005 + 0.1 * Noise::Unit(experiment, 5u, s, l)));
            const std::uint32_t points = 5 + Noise::Hash(experiment, 6u, s, l) % 4;
            file.U32(points);
            for (std::uint32_t p = 0; p < points; ++p)
            {
                const double t = static_cast<double>(p) / (points - 1);
                for (int a = 0; a < 3; ++a)
                    file.F32(static_cast<float>(from.micrometres[a] + t * (to.micrometres[a] - from.micrometres[a])));
                file.F32(static_cast<float>(0.2 + 0.8 * Noise::Unit(experiment, 7u, s * 64 + l, p)));
                file.F32(static_cast<float>(100.0 + 900.0 * Noise::Unit(experiment, 8u, s * 64 + l, p)));
            }
        }
    }
    file.Close();
}

// --- The rat atlas's transform chain ---

void LocalData::WriteTransforms(const std::string& folder) const
{
    // Output voxel i of the rat grid stands at i × 0.2 mm; the chain takes it to the same fraction of
    // the correlation grid: the y axis is mirrored by the first step and mirrored back by the affine,
    // and the B-spline adds a small bulge that vanishes at the box's faces.
    double extent[3], scale[3];
    for (int a = 0; a < 3; ++a)
    {
        extent[a] = (kRatGrid[a] - 1) * kRatSpacing;
        scale[a] = static_cast<double>(kCorrelationGrid[a] - 1) / (kRatGrid[a] - 1);
    }
    std::ostringstream permute;
    permute << "# Rat grid axes to correlation grid axes.\nTransform = PermuteAndFlip\nPermutation = 0 1 2\n"
            << "Flip = 0 1 0\nExtent = " << Numbers(extent, 3) << "\n";
    WriteTextFile(folder + "/PermuteAndFlipTransform.meta", permute.str());

    const double matrix[9] = {scale[0], 0, 0, 0, -scale[1], 0, 0, 0, scale[2]};
    const double translation[3] = {0.0, (kCorrelationGrid[1] - 1) * kRatSpacing, 0.0};
    WriteTextFile(folder + "/AffineTransform.meta", "Transform = Affine\nMatrix = " + Numbers(matrix, 9) +
                                                        "\nTranslation = " + Numbers(translation, 3) + "\n");

    const int size = 7;
    double spacing[3];
    for (int a = 0; a < 3; ++a)
        spacing[a] = (kCorrelationGrid[a] - 1) * kRatSpacing / (size - 1);
    std::ostringstream bspline;
    bspline << "Transform = BSpline\nOrigin = 0 0 0\nSpacing = " << Numbers(spacing, 3) << "\nSize = 7 7 7\n"
            << "Coefficients =";
    for (int a = 0; a < 3; ++a)
        for (int z = 0; z < size; ++z)
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                {
                    // Control points within two of a face would reach it.
                    const bool inner = std::min({x, y, z}) >= 2 && std::max({x, y, z}) <= size - 3;
                    const double d =
                        inner ? 0.04 * (Noise::Unit(static_cast<std::uint32_t>(x), y, z, 50000u + a) - 0.5) : 0.0;
                    bspline << ' ' << Number(d);
                }
    bspline << "\n";
    WriteTextFile(folder + "/BSplineTransform.meta", bspline.str());
}

} // namespace atlasgen
