#include "expression/GeneExpression.h"
#include "expression/PagedGeneList.h"

#include "tests/fuzz/FuzzAtlases.h"
#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <exception>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InstallFuzzAtlases();
    return 0;
}

// A gene-list table that the user imports into a result list. Seeds: gene lists written from the demo
// server's search answers.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = FuzzTempFile::Write("genes.csv", data, size);
    PagedGeneList list(10);
    try
    {
        list.LoadFile(FuzzAtlas(310).get(), path.c_str());
    }
    catch (const std::exception&)
    {
    }
    for (int i = 0; i < list.GetNumGenes(); ++i)
        if (GeneExpression* row = list.GetGene(i))
            row->GetTitle();
    std::string status;
    list.GetStatusString(status);
    return 0;
}
