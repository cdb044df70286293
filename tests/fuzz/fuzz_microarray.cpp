#include "expression/BrainExpressionModel.h"
#include "expression/GeneFetchCompletionListener.h"
#include "expression/MicroarrayFetcher.h"

#include "tests/fuzz/FuzzAtlases.h"
#include "tests/fuzz/FuzzNetwork.h"

#include <cstdint>
#include <exception>
#include <memory>

namespace
{
FuzzNetwork* network = nullptr;

// Loads a complete document into the model as the document does, and deletes the fetcher inside the report
// that the input picks.
class LoadingListener : public GeneFetchCompletionListener
{
public:
    LoadingListener(BrainExpressionModel& model, bool deleteOnProgress)
        : m_model(model)
        , m_deleteOnProgress(deleteOnProgress)
    {
    }
    void GeneLoaded(GeneFetcher*, const void*, unsigned long) override
    {
        try
        {
            fetcher->LoadExpression(&m_model);
        }
        catch (const std::exception&)
        {
        }
        fetcher.reset();
    }
    void GeneLoadError(GeneFetcher*, const std::string&) override { fetcher.reset(); }
    void GeneDataReceived(GeneFetcher*, float) override
    {
        if (m_deleteOnProgress)
            fetcher.reset();
    }

    std::unique_ptr<MicroarrayFetcher> fetcher;

private:
    BrainExpressionModel& m_model;
    bool m_deleteOnProgress;
};
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    network = new FuzzNetwork;
    InstallFuzzAtlases();
    return 0;
}

// The microarray answer of the microarray atlas (351), in chunks of random sizes, then loaded into a model.
// Byte 0 picks the requested donor (0 to 2), well and structure (a well or a structure of the generated
// atlas, or none), and whether the listener deletes the fetcher at the first progress report. Seeds: the
// demo server's microarray answers for a few probes, damaged ones included.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::shared_ptr<Atlas> atlas = FuzzAtlas(351);
    BrainExpressionModel model(atlas);
    const unsigned int donor = data[0] % 3;
    // The generated atlas's wells count from 300000; its structures' database ids lie from 1001 up.
    const unsigned int well = (data[0] >> 2) & 1 ? 300000 + (data[0] >> 4 & 7) : 0;
    const unsigned int structure = (data[0] >> 3) & 1 ? ((data[0] & 0x40) ? 2022 : 1001) : 0;
    LoadingListener listener(model, (data[0] & 0x80) != 0);
    try
    {
        listener.fetcher = std::make_unique<MicroarrayFetcher>("http://127.0.0.1:8470/demo/microarray?probes=1",
                                                               atlas.get(), donor, well, structure, &listener);
    }
    catch (const std::exception&)
    {
        return 0;
    }
    network->Answer(data + 1, size - 1, "application/json");
    listener.fetcher.reset();
    return 0;
}
