#include "expression/GeneExpression.h"

#include "tests/fuzz/FuzzAtlases.h"
#include "tests/fuzz/FuzzMemoryCap.h"
#include "tests/fuzz/FuzzTempFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace
{
// The companion metadata and the grid, in this order, parted by this.
const char kSeparator[] = "\n\x01GRID\x01\n";

// The grid a bare grid is read on (atlas 310's fixed grid) as a count of voxels.
std::size_t GridVoxels()
{
    std::size_t count = 1;
    for (unsigned int axis : GeneExpression::TAV_IMAGE_SIZE)
        count *= axis;
    return count;
}

// A grid file of the right size that begins with the grid part, zeros after it, so that the companion file
// is read. The reader's work grows with the cells that express: those of the part only, so that the
// fuzzer keeps its pace.
std::string WholeGrid(const std::string& part, std::size_t bytes)
{
    std::string grid = part.substr(0, bytes);
    grid.resize(bytes, '\0');
    return grid;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    AddMemoryCap(argc, argv, 1536);
    InstallFuzzAtlases();
    return 0;
}

// A bare 8-bit or float grid opened from disk with its companion ".xml" that names it. Byte 0 picks the
// grid: 0 the input's grid part as it stands, 1 an 8-bit and 2 a float grid of the right size whose bytes
// begin with the grid part (a grid of a wrong size is refused before the companion is read). Then the
// companion text, kSeparator and the grid part. Seeds: the demo server's bare grids and data-set metadata.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t split = input.find(kSeparator);
    const std::string companion = input.substr(0, split);
    const std::string part = split == std::string::npos ? std::string() : input.substr(split + sizeof kSeparator - 1);
    std::string grid = part;
    if (data[0] % 3 == 1)
        grid = WholeGrid(part, GridVoxels());
    else if (data[0] % 3 == 2)
        grid = WholeGrid(part, 4 * GridVoxels());
    FuzzTempFile::Write("grid.xml", reinterpret_cast<const std::uint8_t*>(companion.data()), companion.size());
    const std::string path =
        FuzzTempFile::Write("grid.raw", reinterpret_cast<const std::uint8_t*>(grid.data()), grid.size());
    try
    {
        GeneExpression dataSet;
        dataSet.LoadAtlasSpace(path.c_str(), nullptr);
        dataSet.GetInfoLinkUrl();
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
