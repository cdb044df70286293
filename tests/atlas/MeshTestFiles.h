#pragma once

// Mesh and line files written by the tests, and the generator's tiny atlas, shared by the mesh suites.

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "AtlasFixture.h"

namespace meshtest
{

inline std::string U32(std::uint32_t value)
{
    std::string bytes(4, '\0');
    for (int k = 0; k < 4; ++k)
        bytes[k] = static_cast<char>((value >> (8 * k)) & 0xFF);
    return bytes;
}

inline std::string U16(std::uint16_t value)
{
    return U32(value).substr(0, 2);
}

inline std::string F32(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    return U32(bits);
}

using Point = std::array<float, 3>;
using Indices = std::vector<std::uint32_t>;

// .msh with the normal (0, 0, 1) at every vertex.
inline std::string Msh(const std::vector<Point>& positions, const std::vector<Indices>& strips)
{
    std::string bytes = U32(static_cast<std::uint32_t>(positions.size()));
    for (const Point& p : positions)
        bytes += F32(0) + F32(0) + F32(1) + F32(p[0]) + F32(p[1]) + F32(p[2]);
    bytes += U32(static_cast<std::uint32_t>(strips.size()));
    for (const Indices& strip : strips)
    {
        bytes += U16(static_cast<std::uint16_t>(strip.size()));
        for (std::uint32_t i : strip)
            bytes += U32(i);
    }
    return bytes;
}

struct ColoredVertex
{
    Point position;
    std::uint32_t structure;
    std::uint32_t sample;
    float shade;
};

// .amsh: version 1 with the marker, or the version 0 layout without it.
inline std::string Amsh(int version, const std::vector<ColoredVertex>& vertices, const std::vector<Indices>& groups)
{
    std::string bytes = version == 0 ? "" : U32(0xF00DF00Du) + U32(static_cast<std::uint32_t>(version));
    bytes += U32(static_cast<std::uint32_t>(vertices.size()));
    for (const ColoredVertex& v : vertices)
    {
        bytes += F32(0) + F32(0) + F32(1) + F32(v.position[0]) + F32(v.position[1]) + F32(v.position[2]);
        if (version == 0)
            bytes +=
                std::string(1, static_cast<char>(v.structure)) + '\x77' + U16(static_cast<std::uint16_t>(v.sample));
        else
            bytes += U32(v.structure) + U32(v.sample);
        bytes += F32(v.shade);
    }
    if (vertices.empty())
        return bytes;
    bytes += U32(static_cast<std::uint32_t>(groups.size()));
    for (const Indices& group : groups)
    {
        bytes += U16(static_cast<std::uint16_t>(group.size()));
        for (std::uint32_t i : group)
            bytes += U32(i);
    }
    return bytes;
}

// .ls whose seven extra words of point k are k, k + 1, ... k + 6.
inline std::string Ls(const std::vector<std::vector<Point>>& lines)
{
    std::string bytes = U32(static_cast<std::uint32_t>(lines.size()));
    for (const auto& line : lines)
    {
        bytes += U16(static_cast<std::uint16_t>(line.size()));
        for (std::size_t k = 0; k < line.size(); ++k)
        {
            bytes += F32(line[k][0]) + F32(line[k][1]) + F32(line[k][2]);
            for (std::uint32_t w = 0; w < 7; ++w)
                bytes += U32(static_cast<std::uint32_t>(k) + w);
        }
    }
    return bytes;
}

// The generator's tiny atlas, made once per test process; tests that change files copy it first.
inline const std::string& TinyAtlas()
{
    static TempDir dir;
    static const std::string folder = [] {
        const std::string path = dir.File("tiny");
        GenerateAtlas("tiny", 7, path);
        return path;
    }();
    return folder;
}

// A copy of the tiny atlas in folder, for tests that add, break or remove files.
inline std::string CopyTinyAtlas(const std::string& folder)
{
    std::filesystem::copy(TinyAtlas(), folder, std::filesystem::copy_options::recursive);
    return folder;
}

inline std::string TinyMeshes(const std::string& atlas)
{
    return atlas + "/Spaces/Adult/Meshes";
}

} // namespace meshtest

namespace meshtest
{

// Installs a settings store with "VolumeRenderingActive" as given, for the life of the object.
class VolumeRenderingSetting
{
public:
    explicit VolumeRenderingSetting(bool on)
    {
        m_store.SetValue("VolumeRenderingActive", on ? "true" : "false");
        PlatformHooks::SetDefaultsStore(&m_store);
        UserPreferences::ResetPreferences();
    }
    ~VolumeRenderingSetting()
    {
        PlatformHooks::SetDefaultsStore(nullptr);
        UserPreferences::ResetPreferences();
    }
    VolumeRenderingSetting(const VolumeRenderingSetting&) = delete;
    VolumeRenderingSetting& operator=(const VolumeRenderingSetting&) = delete;

private:
    MemoryDefaultsStore m_store;
};

} // namespace meshtest
