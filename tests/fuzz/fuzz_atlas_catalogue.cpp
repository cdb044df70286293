#include "atlas/AtlasDownloadInfo.h"
#include "atlas/AtlasesAvailableQuery.h"
#include "atlas/AtlasesAvailableQueryListener.h"

#include "tests/fuzz/FuzzNetwork.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace
{
FuzzNetwork* network = nullptr;

// Ends the query inside its report, as the download window does when it is closed then.
class ClosingListener : public AtlasesAvailableQueryListener
{
public:
    void AtlasesAvailableQueryComplete(const AtlasesAvailableQuery* done) override
    {
        for (int i = 0; i < done->GetNumAtlases(); ++i)
        {
            const AtlasDownloadInfo& info = done->GetAtlasInfo(i);
            // The names become folder names: only plain ones may be kept.
            if (!IsPlainFolderName(info.name))
                __builtin_trap();
        }
        done->UpdatesAvailable();
        query.reset();
    }
    void AtlasesAvailableQueryError(const AtlasesAvailableQuery*, const std::string&) override { query.reset(); }

    std::unique_ptr<AtlasesAvailableQuery> query;
};
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    network = new FuzzNetwork;
    return 0;
}

// The catalogue of atlas packages, in chunks of random sizes. Byte 0 picks how the server answers (bits 0-3,
// FuzzReply); the rest is the catalogue. Seeds: the demo server's catalogues, its hostile one and damaged
// ones included.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const FuzzReply reply = FuzzReply::FromBits(data[0]);
    ++data, --size;
    ClosingListener listener;
    try
    {
        listener.query =
            std::make_unique<AtlasesAvailableQuery>(&listener, "http://127.0.0.1:8470/Corvane2/atlases.xml");
    }
    catch (const std::exception&)
    {
        return 0;
    }
    network->Answer(data, size, "text/xml", reply);
    return 0;
}
