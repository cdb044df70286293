#include "views/RelationGraph.h"

#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <exception>
#include <string>

// A gene-relation table that the user imports, laid out (once, by the import) as the graph view does.
// Tables of more than MAX_SIZE bytes are left out: their layout takes seconds and adds nothing to the
// reading. Seeds: tables written by Python's csv module from the demo server's similar-gene answers.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::size_t MAX_SIZE = 16384;
    if (size > MAX_SIZE)
        return 0;
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
    return 0;
}
