#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace atlasgen
{

// A quad surface as the generator builds it, before it is written as strips, triangles or groups.
struct Mesh
{
    std::vector<std::array<float, 3>> positions;
    std::vector<std::array<float, 3>> normals;
    std::vector<int> structures;                     // per vertex: the model's structure index
    std::vector<std::uint32_t> samples;              // per vertex: sample id, 0 for none
    std::vector<float> shades;                       // per vertex: shading factor 0..1
    std::vector<std::array<std::uint32_t, 4>> quads; // counter-clockwise seen from outside

    bool Empty() const { return quads.empty(); }
    std::uint32_t AddVertex(const std::array<float, 3>& position, const std::array<float, 3>& normal, int structure);
    // An axis-aligned box with flat normals.
    void AddBox(const std::array<float, 3>& centre, const std::array<float, 3>& halfSize, int structure);
};

} // namespace atlasgen
