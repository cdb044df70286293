#pragma once

#include "Mesh.h"

#include <array>
#include <string>
#include <vector>

namespace atlasgen
{

// Writers of the three mesh file formats. All are little-endian without padding.
class MeshFiles
{
public:
    using Polyline = std::vector<std::array<float, 3>>;

    // .msh: rows of quads become triangle strips of even length, so that joining strips with
    // degenerate triangles keeps the winding.
    static void WriteStrips(const std::string& path, const Mesh& mesh);
    static std::vector<std::vector<std::uint32_t>> Strips(const Mesh& mesh);
    static constexpr std::size_t kMaxStrip = 65534; // even, and within the 16-bit count
    // .amsh version 1: triangles grouped by the annotation value of their first vertex, each group at
    // most 65535 indices. values[s] is the annotation value of structure s.
    static void WriteColored(const std::string& path, const Mesh& mesh, const std::vector<unsigned int>& values);
    // .ls: polylines of at most 65535 points, each point its position and seven words the viewer
    // carries along (here: tangent, arc position, line number, point number, 0).
    static void WriteLines(const std::string& path, const std::vector<Polyline>& lines);
};

} // namespace atlasgen
