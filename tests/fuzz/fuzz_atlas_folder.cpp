#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "atlas/PointSet.h"

#include "tests/fuzz/FuzzMemoryCap.h"
#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

namespace
{

// The files of one installed atlas, in the order the input holds them, parted by kSeparator. The space
// files go into the folder of the first space Info.xml names. Seeds: the files of a micro atlas written by
// corvane-atlasgen, joined in this order.
const char* const kRootFiles[] = {"Info.xml", "ontology_v2.csv"};
const char* const kSpaceFiles[] = {"coronal_images.xml", "sagittal_images.xml", "samples_columns.csv", "Annotation",
                                   "Atlas"};
const char kSeparator[] = "\n\x01"
                          "FILE\x01\n";

// The name of the first space, when it can stand as a folder name; files of an unusable name go nowhere.
std::string FirstSpaceName(const std::string& info)
{
    const std::size_t space = info.find("<space name=\"");
    if (space == std::string::npos)
        return std::string();
    const std::size_t start = space + 13, end = info.find('"', start);
    const std::string name = end == std::string::npos ? std::string() : info.substr(start, end - start);
    if (name.empty() || name == "." || name == ".." || name.find_first_of(std::string("/\0", 2)) != std::string::npos)
        return std::string();
    return name;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Writes the parts into a fresh atlas folder and answers its path.
std::string WriteAtlasFolder(const std::string& input)
{
    const std::filesystem::path folder = std::filesystem::path(FuzzTempFile::Folder()) / "atlas";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::size_t offset = 0;
    std::string spaceName;
    const std::size_t separatorLength = sizeof kSeparator - 1;
    for (std::size_t k = 0; offset <= input.size() && k < 7; ++k)
    {
        const std::size_t end = std::min(input.find(kSeparator, offset), input.size());
        const std::string part = input.substr(offset, end - offset);
        offset = end + separatorLength;
        if (k < 2)
        {
            WriteFile(folder / kRootFiles[k], part);
            if (k == 0)
                spaceName = FirstSpaceName(part);
        }
        else if (!spaceName.empty())
        {
            WriteFile(folder / "Spaces" / spaceName / kSpaceFiles[k - 2], part);
        }
    }
    return folder.string();
}

void Exercise(Atlas& atlas)
{
    atlas.GetOntology();
    atlas.GetAnnotationColormap();
    for (unsigned int i = 0; i < atlas.GetNumSpaces(); ++i)
    {
        AtlasSpace* space = atlas.GetSpace(i);
        space->GetAnnotationImage();
        space->GetSampleGrid();
        unsigned int seriesId = 0;
        float u = 0.0f, v = 0.0f;
        space->ClosestCoronalAtlasSection(0.0f, 0.0f, 0.0f, seriesId, u, v);
        space->ClosestSagittalAtlasSection(0.0f, 0.0f, 0.0f, seriesId, u, v);
        space->LoadFullAtlas(nullptr, true, true);
    }
}

} // namespace

// Every size an atlas folder declares is checked against the bytes behind it before it is allocated; the
// cap turns a size taken on trust into a finding.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    AddMemoryCap(argc, argv, 1024);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string folder = WriteAtlasFolder(std::string(reinterpret_cast<const char*>(data), size));
    try
    {
        Atlas atlas(folder);
        Exercise(atlas);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
