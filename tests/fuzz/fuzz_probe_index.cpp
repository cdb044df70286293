#include "expression/ProbeDatabase.h"

#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <exception>
#include <vector>

// The input is a "probe_info.csv"; every record it gives is looked up again by id, by index and by symbol.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = FuzzTempFile::Write("probe_info.csv", data, size);
    try
    {
        ProbeDatabase probes(path);
        for (unsigned int i = 0; i < probes.GetNumProbes(); ++i)
        {
            const ProbeDatabase::ProbeInfo& probe = probes.FindProbeByIndex(i);
            probes.FindProbeById(probe.id);
            std::vector<const ProbeDatabase::ProbeInfo*> found;
            probes.FindProbesByGeneName(probe.geneSymbol.substr(0, 2), found);
        }
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
