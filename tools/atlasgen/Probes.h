#pragma once

#include <string>

namespace atlasgen
{

// The fictional microarray probes: two probes per gene, and an expression level per sample that
// varies smoothly in space and steps between structures.
class Probes
{
public:
    struct Probe
    {
        unsigned int id;
        std::string name;
        unsigned int geneId;
        std::string symbol;
        std::string geneName;
        unsigned int entrezId; // 0: the table leaves it empty
    };

    static Probe Get(int row);
    // Log2 expression level of probe row at a position (µm) in a structure.
    static float Level(int row, unsigned int databaseId, const double micrometres[3]);
};

} // namespace atlasgen
