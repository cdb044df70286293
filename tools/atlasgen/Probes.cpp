#include "Probes.h"

#include "Noise.h"

#include <cstdio>

namespace atlasgen
{

Probes::Probe Probes::Get(int row)
{
    const unsigned int r = static_cast<unsigned int>(row);
    const unsigned int gene = r / 2;
    Probe p;
    p.id = 1001 + 3 * r;
    char name[32];
    std::snprintf(name, sizeof name, "OP_%05u_%c", 10 * gene + 7, r % 2 ? 'B' : 'A');
    p.name = name;
    p.geneId = 50001 + gene;
    static const char* const syllables[] = {"ka", "ro", "ven", "tal", "mi", "sor", "ul", "den"};
    p.symbol = std::string("Os") + syllables[gene % 8] + syllables[(gene / 8) % 8] + std::to_string(gene / 64 + 1);
    p.symbol[2] = static_cast<char>(p.symbol[2] - 'a' + 'A');
    p.geneName = "Ostrel gene " + p.symbol;
    p.entrezId = gene % 5 == 4 ? 0 : 700001 + gene;
    return p;
}

float Probes::Level(int row, unsigned int databaseId, const double micrometres[3])
{
    const auto seed = static_cast<std::uint32_t>(1000 + row);
    const double smooth = Noise::Fractal(micrometres[0], micrometres[1], micrometres[2], 3000.0, seed);
    const double structure = Noise::Unit(seed, databaseId, 5u);
    return static_cast<float>(2.0 + 8.0 * smooth + 4.0 * structure);
}

} // namespace atlasgen
