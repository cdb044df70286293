#include "views/RelationGraph.h"

#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <exception>
#include <string>

// A gene-relation table that the user imports, laid out as the graph view does. Seeds: tables written by
// Python's csv module from the demo server's similar-gene answers.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = FuzzTempFile::Write("relations.csv", data, size);
    GeneRelation::RelationGraph graph;
    graph.SeedPositions(1);
    try
    {
        graph.ImportFile(path.c_str());
    }
    catch (const std::exception&)
    {
    }
    graph.ComputeLayout();
    return 0;
}
