#include "SurfaceNets.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace atlasgen
{

namespace
{

// A box of the grid with its own dense storage, padded so that every lookup near the mask stays inside.
struct Region
{
    int lo[3], size[3];
    std::size_t Index(int x, int y, int z) const
    {
        return (static_cast<std::size_t>(z - lo[2]) * size[1] + (y - lo[1])) * size[0] + (x - lo[0]);
    }
    bool Contains(int x, int y, int z) const
    {
        return x >= lo[0] && y >= lo[1] && z >= lo[2] && x < lo[0] + size[0] && y < lo[1] + size[1] &&
               z < lo[2] + size[2];
    }
    std::size_t Count() const { return static_cast<std::size_t>(size[0]) * size[1] * size[2]; }
};

class Extractor
{
public:
    Extractor(const LabelVolume& volume, const std::vector<char>& inside)
        : volume_(volume)
        , inside_(inside)
    {
    }

    Mesh Run()
    {
        if (!FindBounds())
            return mesh_;
        BuildMask();
        MakeVertices();
        MakeQuads();
        Smooth();
        MakeNormals();
        return mesh_;
    }

private:
    bool In(int x, int y, int z) const
    {
        const int s = volume_.At(x, y, z);
        return s >= 0 && inside_[s];
    }

    bool FindBounds()
    {
        int lo[3] = {volume_.Dim(0), volume_.Dim(1), volume_.Dim(2)}, hi[3] = {-1, -1, -1};
        for (int z = 0; z < volume_.Dim(2); ++z)
            for (int y = 0; y < volume_.Dim(1); ++y)
                for (int x = 0; x < volume_.Dim(0); ++x)
                    if (In(x, y, z))
                    {
                        const int p[3] = {x, y, z};
                        for (int a = 0; a < 3; ++a)
                        {
                            lo[a] = std::min(lo[a], p[a]);
                            hi[a] = std::max(hi[a], p[a]);
                        }
                    }
        if (hi[0] < 0)
            return false;
        for (int a = 0; a < 3; ++a)
        {
            region_.lo[a] = lo[a] - 3;
            region_.size[a] = hi[a] - lo[a] + 7;
        }
        return true;
    }

    void BuildMask()
    {
        mask_.assign(region_.Count(), 0.0f);
        for (int z = region_.lo[2]; z < region_.lo[2] + region_.size[2]; ++z)
            for (int y = region_.lo[1]; y < region_.lo[1] + region_.size[1]; ++y)
                for (int x = region_.lo[0]; x < region_.lo[0] + region_.size[0]; ++x)
                    mask_[region_.Index(x, y, z)] = In(x, y, z) ? 1.0f : 0.0f;
    }

    bool Mask(int x, int y, int z) const { return region_.Contains(x, y, z) && mask_[region_.Index(x, y, z)] > 0.5f; }

    // Cell (x, y, z) has the voxels x..x+1, y..y+1, z..z+1 as corners.
    void MakeVertices()
    {
        cellVertex_.assign(region_.Count(), -1);
        static const int edges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                         {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
        for (int z = region_.lo[2]; z < region_.lo[2] + region_.size[2] - 1; ++z)
            for (int y = region_.lo[1]; y < region_.lo[1] + region_.size[1] - 1; ++y)
                for (int x = region_.lo[0]; x < region_.lo[0] + region_.size[0] - 1; ++x)
                {
                    bool corner[8];
                    int count = 0, structure = -1;
                    for (int c = 0; c < 8; ++c)
                    {
                        const int cx = x + (c & 1), cy = y + ((c >> 1) & 1), cz = z + ((c >> 2) & 1);
                        corner[c] = Mask(cx, cy, cz);
                        count += corner[c];
                        if (corner[c] && structure < 0)
                            structure = volume_.At(cx, cy, cz);
                    }
                    if (count == 0 || count == 8)
                        continue;
                    double sum[3] = {0, 0, 0};
                    int crossings = 0;
                    for (const auto& e : edges)
                    {
                        if (corner[e[0]] == corner[e[1]])
                            continue;
                        for (int v : e)
                        {
                            sum[0] += x + (v & 1) + 0.5;
                            sum[1] += y + ((v >> 1) & 1) + 0.5;
                            sum[2] += z + ((v >> 2) & 1) + 0.5;
                        }
                        crossings += 2;
                    }
                    const std::array<float, 3> p{static_cast<float>(sum[0] / crossings),
                                                 static_cast<float>(sum[1] / crossings),
                                                 static_cast<float>(sum[2] / crossings)};
                    cellVertex_[region_.Index(x, y, z)] =
                        static_cast<std::int32_t>(mesh_.AddVertex(p, {0, 0, 0}, structure));
                    vertexCell_.push_back({x, y, z});
                }
    }

    void MakeQuads()
    {
        for (int z = region_.lo[2] + 1; z < region_.lo[2] + region_.size[2] - 2; ++z)
            for (int y = region_.lo[1] + 1; y < region_.lo[1] + region_.size[1] - 2; ++y)
                for (int x = region_.lo[0] + 1; x < region_.lo[0] + region_.size[0] - 2; ++x)
                    for (int a = 0; a < 3; ++a)
                        AddFace(x, y, z, a);
    }

    void AddFace(int x, int y, int z, int a)
    {
        int w[3] = {x, y, z};
        ++w[a];
        const bool here = Mask(x, y, z), there = Mask(w[0], w[1], w[2]);
        if (here == there)
            return;
        const int b = (a + 1) % 3, c = (a + 2) % 3;
        const int db[4] = {-1, 0, 0, -1}, dc[4] = {-1, -1, 0, 0};
        std::array<std::uint32_t, 4> quad{};
        for (int k = 0; k < 4; ++k)
        {
            int cell[3] = {x, y, z};
            cell[b] += db[k];
            cell[c] += dc[k];
            quad[k] = static_cast<std::uint32_t>(cellVertex_[region_.Index(cell[0], cell[1], cell[2])]);
        }
        if (!here)
            std::swap(quad[1], quad[3]);
        mesh_.quads.push_back(quad);
    }

    void Smooth()
    {
        std::vector<std::vector<std::uint32_t>> neighbours(mesh_.positions.size());
        for (const auto& q : mesh_.quads)
            for (int k = 0; k < 4; ++k)
            {
                neighbours[q[k]].push_back(q[(k + 1) % 4]);
                neighbours[q[k]].push_back(q[(k + 3) % 4]);
            }
        for (int pass = 0; pass < 3; ++pass)
        {
            std::vector<std::array<float, 3>> next = mesh_.positions;
            for (std::size_t v = 0; v < next.size(); ++v)
            {
                if (neighbours[v].empty())
                    continue;
                for (int a = 0; a < 3; ++a)
                {
                    double mean = 0.0;
                    for (std::uint32_t n : neighbours[v])
                        mean += mesh_.positions[n][a];
                    mean /= static_cast<double>(neighbours[v].size());
                    const double p = 0.5 * mesh_.positions[v][a] + 0.5 * mean;
                    const double lo = vertexCell_[v][a] + 0.5, hi = lo + 1.0;
                    next[v][a] = static_cast<float>(std::clamp(p, lo, hi));
                }
            }
            mesh_.positions.swap(next);
        }
    }

    // Separable 1-2-1 blur of the mask, so that its gradient turns smoothly around the surface.
    std::vector<float> Blurred() const
    {
        std::vector<float> field = mask_, tmp(field.size());
        for (int a = 0; a < 3; ++a)
        {
            for (int z = region_.lo[2]; z < region_.lo[2] + region_.size[2]; ++z)
                for (int y = region_.lo[1]; y < region_.lo[1] + region_.size[1]; ++y)
                    for (int x = region_.lo[0]; x < region_.lo[0] + region_.size[0]; ++x)
                    {
                        int m[3] = {x, y, z}, p[3] = {x, y, z};
                        --m[a];
                        ++p[a];
                        const float left =
                            region_.Contains(m[0], m[1], m[2]) ? field[region_.Index(m[0], m[1], m[2])] : 0.0f;
                        const float right =
                            region_.Contains(p[0], p[1], p[2]) ? field[region_.Index(p[0], p[1], p[2])] : 0.0f;
                        tmp[region_.Index(x, y, z)] =
                            0.25f * left + 0.5f * field[region_.Index(x, y, z)] + 0.25f * right;
                    }
            field.swap(tmp);
        }
        return field;
    }

    void MakeNormals()
    {
        const std::vector<float> field = Blurred();
        auto value = [&](int x, int y, int z) {
            return region_.Contains(x, y, z) ? field[region_.Index(x, y, z)] : 0.0f;
        };
        auto gradient = [&](int x, int y, int z, int a) {
            int m[3] = {x, y, z}, p[3] = {x, y, z};
            --m[a];
            ++p[a];
            return 0.5f * (value(p[0], p[1], p[2]) - value(m[0], m[1], m[2]));
        };
        const std::vector<std::array<float, 3>> faceNormals = FaceNormals();
        for (std::size_t v = 0; v < mesh_.positions.size(); ++v)
        {
            // Trilinear interpolation of the gradient between the voxel centres around the vertex.
            const auto& pos = mesh_.positions[v];
            const double fx = pos[0] - 0.5, fy = pos[1] - 0.5, fz = pos[2] - 0.5;
            const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy)),
                      z0 = static_cast<int>(std::floor(fz));
            const double tx = fx - x0, ty = fy - y0, tz = fz - z0;
            double g[3] = {0, 0, 0};
            for (int c = 0; c < 8; ++c)
            {
                const int dx = c & 1, dy = (c >> 1) & 1, dz = (c >> 2) & 1;
                const double w = (dx ? tx : 1 - tx) * (dy ? ty : 1 - ty) * (dz ? tz : 1 - tz);
                for (int a = 0; a < 3; ++a)
                    g[a] += w * gradient(x0 + dx, y0 + dy, z0 + dz, a);
            }
            const double length = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
            if (length > 1e-6)
                mesh_.normals[v] = {static_cast<float>(-g[0] / length), static_cast<float>(-g[1] / length),
                                    static_cast<float>(-g[2] / length)};
            else
                mesh_.normals[v] = faceNormals[v];
        }
    }

    // Area-weighted quad normals per vertex, for the rare vertex where the field is flat.
    std::vector<std::array<float, 3>> FaceNormals() const
    {
        std::vector<std::array<double, 3>> sum(mesh_.positions.size(), {0, 0, 0});
        for (const auto& q : mesh_.quads)
        {
            const auto& p0 = mesh_.positions[q[0]];
            const auto& p1 = mesh_.positions[q[1]];
            const auto& p2 = mesh_.positions[q[2]];
            const auto& p3 = mesh_.positions[q[3]];
            const double d1[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
            const double d2[3] = {p3[0] - p1[0], p3[1] - p1[1], p3[2] - p1[2]};
            const double n[3] = {d1[1] * d2[2] - d1[2] * d2[1], d1[2] * d2[0] - d1[0] * d2[2],
                                 d1[0] * d2[1] - d1[1] * d2[0]};
            for (std::uint32_t v : q)
                for (int a = 0; a < 3; ++a)
                    sum[v][a] += n[a];
        }
        std::vector<std::array<float, 3>> out(sum.size(), {0.0f, 0.0f, 1.0f});
        for (std::size_t v = 0; v < sum.size(); ++v)
        {
            const double l = std::sqrt(sum[v][0] * sum[v][0] + sum[v][1] * sum[v][1] + sum[v][2] * sum[v][2]);
            if (l > 0)
                out[v] = {static_cast<float>(sum[v][0] / l), static_cast<float>(sum[v][1] / l),
                          static_cast<float>(sum[v][2] / l)};
        }
        return out;
    }

    const LabelVolume& volume_;
    const std::vector<char>& inside_;
    Region region_{};
    std::vector<float> mask_;
    std::vector<std::int32_t> cellVertex_;
    std::vector<std::array<int, 3>> vertexCell_;
    Mesh mesh_;
};

} // namespace

Mesh SurfaceNets::Extract(const LabelVolume& volume, const std::vector<char>& inside)
{
    return Extractor(volume, inside).Run();
}

} // namespace atlasgen
