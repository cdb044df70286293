#include "atlas/AtlasSet.h"
#include "atlas/AtlasSpace.h"
#include "core/MemoryStreamRef.h"
#include "expression/GeneExpression.h"

#include "tests/fuzz/FuzzAtlases.h"
#include "tests/fuzz/FuzzMemoryCap.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <sstream>
#include <vector>

namespace
{
// A light read as a thumbnail cell makes it: the project code set and its space placed beforehand.
void ReadLight(const std::uint8_t* data, std::size_t size, const char* projectCode)
{
    GeneExpression dataSet("n", "s", projectCode, 5, 0, 1.0f);
    if (AtlasSpace* space = AtlasSet::GetAtlasSpace(projectCode, "P56"))
        dataSet.AddAtlasSpace(space);
    MemoryStreamRef stream(data, static_cast<unsigned int>(size));
    dataSet.LoadAtlasSpace(stream, true, nullptr);
}
} // namespace

// Data-set zips (either metadata dialect, gene expression or projection) and bare grids hold sizes that
// are checked against the bytes behind them before anything is allocated; the cap makes a size taken on
// trust a finding. Seeds: the demo server's data sets of the generated atlases, full and light.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    AddMemoryCap(argc, argv, 1536);
    InstallFuzzAtlases();
    return 0;
}

// Every input is read three ways: a full download, and a light one as a gene-expression and as a
// projection thumbnail.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    try
    {
        GeneExpression dataSet(data, static_cast<unsigned long>(size));
        // What a pick shows of the first cell goes through the section image the metadata placed it on.
        const AtlasSpace* space = dataSet.GetAtlasSpace(0);
        const std::vector<Expressor>* cells = dataSet.GetExpressors(space);
        if (space && cells && !cells->empty())
        {
            std::stringstream info;
            dataSet.PrintSelectionInfo(info, &cells->front(), space);
            dataSet.GetSelectedExpressorImageUrl(&cells->front(), space);
        }
    }
    catch (const std::exception&)
    {
    }
    for (const char* projectCode : {"0310", "0378"})
    {
        try
        {
            ReadLight(data, size, projectCode);
        }
        catch (const std::exception&)
        {
        }
    }
    return 0;
}
