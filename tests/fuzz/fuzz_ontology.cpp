#include "atlas/BrainOntology.h"

#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

// Byte 0 picks the file layout (header row or not, parent by database id or by row); the rest is the
// ontology file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool parentIsDatabaseId = data[0] & 1;
    const bool hasHeader = data[0] & 2;
    const std::string path = FuzzTempFile::Write(hasHeader ? "ontology_v2.csv" : "ontology.csv", data + 1, size - 1);
    try
    {
        BrainOntology ontology(path.c_str(), parentIsDatabaseId, hasHeader, (data[0] & 4) != 0);
        const unsigned int count = ontology.GetNumLabels();
        for (unsigned int i = 0; i < count && i < 64; ++i)
        {
            ontology.GetAnnotationLabelByIndex(i);
            ontology.GetAnnotationLabelByAlphabeticalIndex(i);
            ontology.SetAnnotationAtIndexHasSpatialObject(i, true, true);
        }
        ontology.GetAnnotationLabel(static_cast<unsigned short>(data[0]));
        ontology.GetAnnotationLabel(std::string("root"));
        ontology.GetAnnotationLabelByDatabaseId(997);
        for (int level = -1; level < 12; ++level)
        {
            std::vector<const AnnotationLabel*> labels;
            ontology.SelectorToLabelList(ontology.SelectorForLevel(level), labels);
        }
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
