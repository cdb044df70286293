#include "MeshFiles.h"

#include "BinaryFile.h"

#include <cmath>
#include <map>
#include <stdexcept>

namespace atlasgen
{

namespace
{

// Both mesh formats start a vertex alike.
void WriteNormalAndPosition(BinaryFile& file, const Mesh& mesh, std::size_t v)
{
    for (float n : mesh.normals[v])
        file.F32(n);
    for (float p : mesh.positions[v])
        file.F32(p);
}

} // namespace

std::vector<std::vector<std::uint32_t>> MeshFiles::Strips(const Mesh& mesh)
{
    // A quad (a, b, c, d) is the strip a, b, d, c. The neighbour across its edge c -> d holds d -> c and,
    // turned to start with that edge as (d, c, f, e), continues the strip with e, f: two indices per
    // further quad, with the winding kept.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::pair<std::size_t, int>> edges;
    for (std::size_t q = 0; q < mesh.quads.size(); ++q)
        for (int k = 0; k < 4; ++k)
            edges[{mesh.quads[q][k], mesh.quads[q][(k + 1) % 4]}] = {q, k};
    std::vector<char> used(mesh.quads.size(), 0);
    std::vector<std::vector<std::uint32_t>> strips;
    for (std::size_t first = 0; first < mesh.quads.size(); ++first)
    {
        if (used[first])
            continue;
        used[first] = 1;
        std::array<std::uint32_t, 4> q = mesh.quads[first];
        std::vector<std::uint32_t> strip{q[0], q[1], q[3], q[2]};
        while (strip.size() + 2 <= kMaxStrip)
        {
            const auto next = edges.find({q[3], q[2]});
            if (next == edges.end() || used[next->second.first])
                break;
            const auto& n = mesh.quads[next->second.first];
            const int k = next->second.second;
            q = {n[k], n[(k + 1) % 4], n[(k + 2) % 4], n[(k + 3) % 4]};
            used[next->second.first] = 1;
            strip.push_back(q[3]);
            strip.push_back(q[2]);
        }
        strips.push_back(std::move(strip));
    }
    return strips;
}

void MeshFiles::WriteStrips(const std::string& path, const Mesh& mesh)
{
    const std::vector<std::vector<std::uint32_t>> strips = Strips(mesh);
    BinaryFile file(path);
    file.U32(static_cast<std::uint32_t>(mesh.positions.size()));
    for (std::size_t v = 0; v < mesh.positions.size(); ++v)
        WriteNormalAndPosition(file, mesh, v);
    file.U32(static_cast<std::uint32_t>(strips.size()));
    for (const auto& strip : strips)
    {
        file.U16(static_cast<std::uint16_t>(strip.size()));
        for (std::uint32_t index : strip)
            file.U32(index);
    }
    file.Close();
}

void MeshFiles::WriteColored(const std::string& path, const Mesh& mesh, const std::vector<unsigned int>& values)
{
    std::map<unsigned int, std::vector<std::uint32_t>> groups;
    for (const auto& q : mesh.quads)
    {
        const std::uint32_t triangles[2][3] = {{q[0], q[1], q[2]}, {q[0], q[2], q[3]}};
        for (const auto& t : triangles)
        {
            auto& group = groups[values.at(static_cast<std::size_t>(mesh.structures[t[0]]))];
            group.insert(group.end(), t, t + 3);
        }
    }
    const std::size_t maxGroup = 65535; // a multiple of 3
    std::size_t groupCount = 0;
    for (const auto& g : groups)
        groupCount += (g.second.size() + maxGroup - 1) / maxGroup;

    BinaryFile file(path);
    file.U32(0xF00DF00Du);
    file.U32(1);
    file.U32(static_cast<std::uint32_t>(mesh.positions.size()));
    for (std::size_t v = 0; v < mesh.positions.size(); ++v)
    {
        WriteNormalAndPosition(file, mesh, v);
        file.U32(values.at(static_cast<std::size_t>(mesh.structures[v])));
        file.U32(mesh.samples[v]);
        file.F32(mesh.shades[v]);
    }
    if (mesh.positions.empty())
    {
        file.Close();
        return;
    }
    file.U32(static_cast<std::uint32_t>(groupCount));
    for (const auto& g : groups)
        for (std::size_t start = 0; start < g.second.size(); start += maxGroup)
        {
            const std::size_t count = std::min(maxGroup, g.second.size() - start);
            file.U16(static_cast<std::uint16_t>(count));
            for (std::size_t i = 0; i < count; ++i)
                file.U32(g.second[start + i]);
        }
    file.Close();
}

void MeshFiles::WriteLines(const std::string& path, const std::vector<Polyline>& lines)
{
    BinaryFile file(path);
    file.U32(static_cast<std::uint32_t>(lines.size()));
    for (std::size_t l = 0; l < lines.size(); ++l)
    {
        const Polyline& line = lines[l];
        if (line.size() > 65535)
            throw std::invalid_argument("A polyline holds more than 65535 points");
        file.U16(static_cast<std::uint16_t>(line.size()));
        float arc = 0.0f;
        for (std::size_t i = 0; i < line.size(); ++i)
        {
            const auto& p = line[i];
            const auto& q = line[i + 1 < line.size() ? i + 1 : i];
            const auto& r = line[i > 0 ? i - 1 : i];
            float t[3] = {q[0] - r[0], q[1] - r[1], q[2] - r[2]};
            const float length = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
            for (float& c : t)
                c = length > 0.0f ? c / length : 0.0f;
            if (i > 0)
                arc += std::sqrt((p[0] - r[0]) * (p[0] - r[0]) + (p[1] - r[1]) * (p[1] - r[1]) +
                                 (p[2] - r[2]) * (p[2] - r[2]));
            for (float c : p)
                file.F32(c);
            for (float c : t)
                file.F32(c);
            file.F32(arc);
            file.U32(static_cast<std::uint32_t>(l));
            file.U32(static_cast<std::uint32_t>(i));
            file.U32(0);
        }
    }
    file.Close();
}

} // namespace atlasgen
