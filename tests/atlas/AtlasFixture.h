#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AtlasGenerator.h"
#include "AtlasTestFiles.h"
#include "atlas/AtlasSpace.h"
#include "core/Image3d.h"
#include "core/MemoryDefaultsStore.h"
#include "core/PlatformHooks.h"
#include "core/ResourcePath.h"
#include "core/UserPreferences.h"

namespace fs = std::filesystem;

// Points the UserAtlasPath setting at a temporary folder for the life of the object, so that the atlas set
// scans only what the test puts into its "Atlases" folder.
class AtlasRoot
{
public:
    AtlasRoot()
    {
        m_store.SetValue("UserAtlasPath", m_dir.Path());
        PlatformHooks::SetDefaultsStore(&m_store);
        UserPreferences::ResetPreferences();
        ResourcePath::ClearCache();
        fs::create_directories(Atlases());
    }
    ~AtlasRoot()
    {
        PlatformHooks::SetDefaultsStore(nullptr);
        UserPreferences::ResetPreferences();
        ResourcePath::ClearCache();
    }
    AtlasRoot(const AtlasRoot&) = delete;
    AtlasRoot& operator=(const AtlasRoot&) = delete;

    std::string Atlases() const { return m_dir.Path() + "/Atlases"; }
    std::string Folder(const std::string& name) const { return Atlases() + "/" + name; }

private:
    TempDir m_dir;
    MemoryDefaultsStore m_store;
};

inline bool HaveGenerator()
{
#ifdef CORVANE_ATLASGEN
    return true;
#else
    return false;
#endif
}

#define REQUIRE_GENERATOR()                                                                                            \
    if (!HaveGenerator())                                                                                              \
    GTEST_SKIP() << "the atlas generator is not part of this build"

inline std::string ReadBytes(const std::string& path)
{
    const std::vector<unsigned char> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    WriteWholeFile(path, bytes);
}

// The annotation resampled to the view grid, computed from the file: view voxel i takes atlas voxel
// floor(i x atlas size / view size) on each axis.
inline std::vector<unsigned int> ExpectedViewGrid(const AtlasSpace& space, const std::string& annotation, int bytes)
{
    const unsigned int* atlas = space.GetAtlasDimensions();
    const unsigned int* view = space.GetViewDimensions();
    std::vector<unsigned int> values;
    for (unsigned int z = 0; z < view[2]; ++z)
        for (unsigned int y = 0; y < view[1]; ++y)
            for (unsigned int x = 0; x < view[0]; ++x)
            {
                const std::size_t index =
                    (std::size_t(z * atlas[2] / view[2]) * atlas[1] + y * atlas[1] / view[1]) * atlas[0] +
                    x * atlas[0] / view[0];
                unsigned int value = static_cast<unsigned char>(annotation[bytes * index]);
                if (bytes == 2)
                    value |= static_cast<unsigned int>(static_cast<unsigned char>(annotation[2 * index + 1])) << 8;
                values.push_back(value);
            }
    return values;
}

inline std::vector<unsigned int> Voxels(const Image3d& image)
{
    std::vector<unsigned int> values(image.GetNumVoxels());
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = image.GetPixelType() == typeid(unsigned short)
                        ? static_cast<const unsigned short*>(image.GetBuffer())[i]
                        : static_cast<const unsigned char*>(image.GetBuffer())[i];
    return values;
}

// A small atlas written by hand: one space "S" with an 8 x 6 x 4 atlas grid of 100 µm and a 4 x 3 x 2 view
// grid of 200 µm, and an ontology whose annotation values run past its row count.
struct HandAtlas
{
    unsigned int id = 42;
    std::string name = "Hand Atlas";
    std::string project = "0042";
    int minAppVersion = 1;
    int bytesPerVoxel = 2;
    bool withAtlasVolume = true;
    std::string extraUrls;
    std::string defaultColormap;

    static constexpr unsigned int DIMS[3] = {8, 6, 4};
    static constexpr unsigned int VIEW_DIMS[3] = {4, 3, 2};

    // Annotation value of atlas voxel (x, y, z): 0 outside, else one of 5, 7, 300.
    static unsigned int Value(unsigned int x, unsigned int y, unsigned int z)
    {
        if (x == 0)
            return 0;
        return x < 4 ? 5 : (y < 3 ? 7 : (z < 2 ? 300 : 5));
    }

    std::string InfoXml() const
    {
        std::string xml = "<?xml version=\"1.0\"?>\n<atlas-info id=\"" + std::to_string(id) + "\" name=\"" + name +
                          "\" project=\"" + project + "\" version=\"2\" min-app-version=\"" +
                          std::to_string(minAppVersion) + "\" attribution=\"hand made\">\n";
        if (!defaultColormap.empty())
            xml += "<default-colormap>" + defaultColormap + "</default-colormap>\n";
        xml += "<space name=\"S\" id=\"1\">\n"
               "<view-volume><size width=\"4\" height=\"3\" depth=\"2\"/>"
               "<pixel-spacing width=\"200\" height=\"200\" depth=\"200\"/></view-volume>\n"
               "<tissue-volume invert=\"false\"><size width=\"8\" height=\"6\" depth=\"4\"/>"
               "<pixel-spacing width=\"100\" height=\"100\" depth=\"100\"/><origin x=\"3\" y=\"1\" z=\"2\"/>"
               "</tissue-volume>\n</space>\n"
               "<urls project=\"" +
               project + "\" base=\"http://h\"><grid>%1%/grid/%2%</grid><geneSearch>%1%/g?t=%2%</geneSearch></urls>\n" +
               extraUrls + "</atlas-info>\n";
        return xml;
    }

    static std::string Ontology()
    {
        return "database_id,abbreviation,name,parent,id,red,green,blue,order,mesh_name\n"
               "900,root,Root,,1,10,20,30,0,root\n"
               "500,A,Area A,900,5,200,0,0,1,A\n"
               "700,B,Area B,900,7,0,200,0,2,B\n"
               "800,C,Area C,700,300,0,0,200,3,C\n";
    }

    std::string Annotation() const
    {
        std::string bytes;
        for (unsigned int z = 0; z < DIMS[2]; ++z)
            for (unsigned int y = 0; y < DIMS[1]; ++y)
                for (unsigned int x = 0; x < DIMS[0]; ++x)
                {
                    const unsigned int value = Value(x, y, z);
                    bytes += static_cast<char>(value & 0xFF);
                    if (bytesPerVoxel > 1)
                        bytes += static_cast<char>(value >> 8);
                    for (int extra = 2; extra < bytesPerVoxel; ++extra)
                        bytes += '\0';
                }
        return bytes;
    }

    static std::string Nissl()
    {
        std::string bytes;
        for (unsigned int i = 0; i < DIMS[0] * DIMS[1] * DIMS[2]; ++i)
            bytes += static_cast<char>(i * 3);
        return bytes;
    }

    void Write(const std::string& folder) const
    {
        WriteBytes(folder + "/Info.xml", InfoXml());
        WriteBytes(folder + "/ontology_v2.csv", Ontology());
        WriteBytes(folder + "/Spaces/S/Annotation", Annotation());
        if (withAtlasVolume)
            WriteBytes(folder + "/Spaces/S/Atlas", Nissl());
    }
};
