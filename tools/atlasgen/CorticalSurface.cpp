#include "CorticalSurface.h"

#include "Noise.h"

#include <cmath>
#include <limits>

namespace atlasgen
{

namespace
{

// Moves grid lines of a cube face towards its edges so that they land nearly evenly on the sphere
// (close to tan(t * pi / 4), in plain arithmetic so that every machine writes the same bytes).
double Spread(double t)
{
    return t * (0.7 + 0.3 * t * t);
}

// A cube's faces subdivided and pushed onto the unit sphere: no poles, no degenerate quads.
void CubeSphere(int n, std::vector<std::array<double, 3>>& directions, std::vector<std::array<std::uint32_t, 4>>& quads)
{
    for (int axis = 0; axis < 3; ++axis)
        for (int side = -1; side <= 1; side += 2)
        {
            const auto base = static_cast<std::uint32_t>(directions.size());
            const int b = (axis + 1) % 3, c = (axis + 2) % 3;
            for (int j = 0; j <= n; ++j)
                for (int i = 0; i <= n; ++i)
                {
                    std::array<double, 3> p{};
                    p[axis] = side;
                    p[b] = Spread(2.0 * i / n - 1.0);
                    p[c] = Spread(2.0 * j / n - 1.0);
                    const double l = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
                    directions.push_back({p[0] / l, p[1] / l, p[2] / l});
                }
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i)
                {
                    const auto at = [&](int di, int dj) {
                        return base + static_cast<std::uint32_t>((j + dj) * (n + 1) + i + di);
                    };
                    std::array<std::uint32_t, 4> q{at(0, 0), at(1, 0), at(1, 1), at(0, 1)};
                    if (side < 0)
                        std::swap(q[1], q[3]);
                    quads.push_back(q);
                }
        }
}

} // namespace

Mesh CorticalSurface::Build(const AtlasContext& c, int side, const std::vector<SpaceFiles::Sample>& samples,
                            std::vector<Hit>& hits)
{
    const BrainModel& model = c.model;
    const int cortex = model.Find("Cx");
    const int fallback = model.Find("Iso") >= 0 ? model.Find("Iso") : cortex;
    const int ventral = model.Find("PIR");
    const double centre[3] = {0.40, 0.42, 0.5 + side * 0.27}, radius[3] = {0.28, 0.30, 0.20};
    double toView[3];
    for (int a = 0; a < 3; ++a)
        toView[a] = c.extent[a] / c.profile.viewResolution;

    std::vector<std::array<double, 3>> directions;
    Mesh mesh;
    CubeSphere(c.profile.coarse ? 6 : 16, directions, mesh.quads);
    std::vector<std::array<double, 3>> cortexPoints;
    for (const auto& d : directions)
    {
        // The cortical point that this vertex stands for, in the cortical shell of the cerebrum: medial
        // faces map to the medial cortex, lateral faces to the lateral cortex.
        double e[3] = {d[0], d[1], side * (0.1 + 0.9 * (0.5 + 0.5 * side * d[2]))};
        const double el = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
        const std::array<double, 3> n{0.40 + 0.9 * 0.30 * e[0] / el, 0.42 + 0.9 * 0.36 * e[1] / el,
                                      0.5 + 0.9 * 0.44 * e[2] / el};
        cortexPoints.push_back(n);
        int s = model.Classify(n[0], n[1], n[2]);
        if (s < 0 || !model.InSubtree(s, cortex))
            s = n[1] > 0.5 && ventral >= 0 ? ventral : fallback;
        std::array<float, 3> p{}, normal{};
        double length = 0.0;
        for (int a = 0; a < 3; ++a)
        {
            p[a] = static_cast<float>((centre[a] + radius[a] * d[a]) * toView[a]);
            const double g = d[a] / (radius[a] * toView[a]);
            normal[a] = static_cast<float>(g);
            length += g * g;
        }
        for (float& v : normal)
            v = static_cast<float>(v / std::sqrt(length));
        const std::uint32_t v = mesh.AddVertex(p, normal, s);
        const double sulcus =
            Noise::Fractal(d[0] * 1000.0 + 5000.0, d[1] * 1000.0 + 5000.0, d[2] * 1000.0 + 5000.0, 450.0, 31u);
        mesh.shades[v] = static_cast<float>(sulcus > 0.5 ? 1.0 : 0.35 + 1.3 * sulcus);
    }

    for (const SpaceFiles::Sample& sample : samples)
    {
        const double n[3] = {sample.micrometres[0] / c.extent[0], sample.micrometres[1] / c.extent[1],
                             sample.micrometres[2] / c.extent[2]};
        if (!model.InSubtree(sample.structure, cortex) || (n[2] > 0.5) != (side > 0))
            continue;
        std::size_t best = 0;
        double bestDistance = std::numeric_limits<double>::max();
        for (std::size_t v = 0; v < cortexPoints.size(); ++v)
        {
            double d = 0.0;
            for (int a = 0; a < 3; ++a)
                d += (cortexPoints[v][a] - n[a]) * (cortexPoints[v][a] - n[a]);
            if (d < bestDistance)
                bestDistance = d, best = v;
        }
        if (mesh.samples[best] != 0)
            continue; // one sample per vertex; the later one stays off the surface
        mesh.samples[best] = sample.id;
        hits.push_back({sample.id, mesh.positions[best]});
    }
    return mesh;
}

} // namespace atlasgen
