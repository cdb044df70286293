#include "core/Image2d.h"
#include "core/JPEGHelpers.h"
#include "gl/MemoryTileCache.h"
#include "gl/ZoomifyInfoCompletionListener.h"
#include "gl/ZoomifyInfoFetcher.h"
#include "gl/ZoomifyTileCompletionListener.h"
#include "gl/ZoomifyTileFetcher.h"

#include "tests/fuzz/FuzzMemoryCap.h"
#include "tests/fuzz/FuzzNetwork.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace
{
FuzzNetwork* network = nullptr;

class InfoListener : public ZoomifyInfoCompletionListener
{
public:
    void ZoomifyInfoLoaded(const ZoomifyInfoFetcher* fetcher) override
    {
        tiles = fetcher->GetNumTiles();
        fetcherDone = true;
    }
    void ZoomifyInfoLoadError(const ZoomifyInfoFetcher*, const std::string&) override { fetcherDone = true; }

    int tiles = 0;
    bool fetcherDone = false;
};

// Decodes each tile as the section image does; bytes that do not decode leave the cache.
class TileListener : public ZoomifyTileCompletionListener
{
public:
    void ZoomifyTileLoaded(ZoomifyTileFetcher* fetcher) override
    {
        Image2d image;
        bool decoded = false;
        try
        {
            decoded = DecodeJPEGImage(fetcher->GetImageData(), fetcher->GetImageDataLength(), &image);
        }
        catch (const std::exception&)
        {
        }
        if (!decoded)
            fetcher->RemoveTileFromCache();
        fetcher->Reset();
        ++loads;
    }
    void ZoomifyTileLoadError(ZoomifyTileFetcher* fetcher, const std::string&) override { fetcher->Reset(); }
    void ZoomifyTileDataReceived(ZoomifyTileFetcher* fetcher, unsigned long) override
    {
        if (resetOnData)
            fetcher->Reset();
    }

    int loads = 0;
    bool resetOnData = false;
};
} // namespace

// A JPEG declares its size before its scan lines: the decoder bounds it before it allocates the pixels.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    AddMemoryCap(argc, argv, 1536);
    network = new FuzzNetwork;
    return 0;
}

// A Zoomify server's answers: the input is read as an image's "ImageProperties.xml", then as one of its
// tiles, through the tile cache and the JPEG decoder, and the tile is asked for again (from the cache
// when it decoded). Byte 0 picks how the server answers (bits 0-3, FuzzReply), whether the fetcher is
// reset at the first chunk (bit 4) and the tile's level (bits 5-7). Seeds: the demo server's properties
// and tiles, damaged ones included.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t selector = data[0];
    const FuzzReply reply = FuzzReply::FromBits(selector);
    ++data, --size;
    InfoListener info;
    try
    {
        ZoomifyInfoFetcher properties("http://127.0.0.1:8470/tiles/image/ImageProperties.xml", &info);
        network->Answer(data, size, "application/xml", reply);
    }
    catch (const std::exception&)
    {
    }

    MemoryTileCache cache;
    ZoomifyTileFetcher fetcher(&cache);
    TileListener listener;
    listener.resetOnData = (selector & 0x10) != 0;
    for (int round = 0; round < 2; ++round)
    {
        try
        {
            fetcher.LoadImage("http://127.0.0.1:8470/tiles/image", "", &listener, 7, selector >> 5, 0, 0, nullptr, 0);
            network->Answer(data, size, "image/jpeg", reply);
        }
        catch (const std::exception&)
        {
        }
        fetcher.Reset();
    }
    cache.CleanCache();
    return 0;
}
