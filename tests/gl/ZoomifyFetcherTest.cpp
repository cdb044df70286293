// The Zoomify fetchers over a scripted transport: URLs, the cache, resets, and hostile answers.

#include "core/MemoryDefaultsStore.h"
#include "core/PlatformHooks.h"
#include "core/UserPreferences.h"
#include "gl/MemoryTileCache.h"
#include "gl/ZoomifyInfoCompletionListener.h"
#include "gl/ZoomifyInfoFetcher.h"
#include "gl/ZoomifyTileCompletionListener.h"
#include "gl/ZoomifyTileFetcher.h"

#include "ScriptedTransport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{

class TileLog : public ZoomifyTileCompletionListener
{
public:
    void ZoomifyTileLoaded(ZoomifyTileFetcher* fetcher) override
    {
        events.push_back("loaded " +
                         std::string(fetcher->GetImageData(), fetcher->GetImageData() + fetcher->GetImageDataLength()));
    }
    void ZoomifyTileLoadError(ZoomifyTileFetcher*, const std::string& message) override
    {
        events.push_back("error " + message);
    }
    void ZoomifyTileDataReceived(ZoomifyTileFetcher*, unsigned long bytes) override
    {
        events.push_back("data " + std::to_string(bytes));
    }
    std::vector<std::string> events;
};

class InfoLog : public ZoomifyInfoCompletionListener
{
public:
    void ZoomifyInfoLoaded(const ZoomifyInfoFetcher* f) override
    {
        events.push_back("loaded " + std::to_string(f->GetWidth()) + " " + std::to_string(f->GetHeight()) + " " +
                         std::to_string(f->GetNumTiles()) + " " + std::to_string(f->GetTileSize()));
    }
    void ZoomifyInfoLoadError(const ZoomifyInfoFetcher*, const std::string& message) override
    {
        events.push_back("error " + message);
    }
    std::vector<std::string> events;
};

class ZoomifyFetcherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PlatformHooks::SetDefaultsStore(&store);
        UserPreferences::ResetPreferences();
        PlatformHooks::SetNetTransport(&transport);
    }
    void TearDown() override
    {
        PlatformHooks::SetNetTransport(nullptr);
        PlatformHooks::SetDefaultsStore(nullptr);
        UserPreferences::ResetPreferences();
    }
    void Answer(const std::string& body, int status = 200, unsigned long announced = 0)
    {
        NetConnectionClient* client = transport.client;
        client->ConnectionResponse(status, "image/jpeg", announced ? announced : body.size());
        if (status < 400)
        {
            client->ConnectionData(body.data(), body.size());
            client->ConnectionFinished();
        }
    }

    MemoryDefaultsStore store;
    ScriptedTransport transport;
    MemoryTileCache cache;
    TileLog log;
};

TEST_F(ZoomifyFetcherTest, TileUrlsAndRegionUrls)
{
    ZoomifyTileFetcher fetcher(nullptr);
    fetcher.LoadImage(std::string("http://h/tiles/a/b"), "?x=1&y", &log, 5, 3, 12, 7, nullptr, 0);
    ASSERT_EQ(1u, transport.requests.size());
    EXPECT_EQ("http://h/tiles/a/b/TileGroup/3-12-7.jpg?x=1&y", transport.requests.back().url);
    fetcher.LoadImage(std::string("http://h/tiles/a/b"), "", &log, 5, 0, 0, 0, nullptr, 0);
    EXPECT_EQ("http://h/tiles/a/b/TileGroup/0-0-0.jpg", transport.requests.back().url);
    fetcher.LoadImage(std::string("http://h/is?path=p&zoom=1"), "&q", &log, 5, 1, nullptr, 2);
    EXPECT_EQ("http://h/is?path=p&zoom=1&q", transport.requests.back().url);
    EXPECT_EQ(-1, fetcher.GetCol());
    EXPECT_EQ(-1, fetcher.GetRow());
}

TEST_F(ZoomifyFetcherTest, ACachedTileArrivesWithinLoadImageWithoutARequest)
{
    ZoomifyTileFetcher fetcher(&cache);
    fetcher.LoadImage(std::string("http://h/t"), "", &log, 5, 2, 1, 0, nullptr, 0);
    Answer("JPEG");
    EXPECT_EQ((std::vector<std::string>{"data 0", "data 4", "loaded JPEG"}), log.events);
    fetcher.Reset();
    log.events.clear();
    fetcher.LoadImage(std::string("http://h/t"), "", &log, 5, 2, 1, 0, nullptr, 0);
    EXPECT_EQ((std::vector<std::string>{"loaded JPEG"}), log.events);
    EXPECT_EQ(1u, transport.requests.size());
    EXPECT_TRUE(fetcher.IsActive());

    fetcher.RemoveTileFromCache();
    fetcher.LoadImage(std::string("http://h/t"), "", &log, 5, 2, 1, 0, nullptr, 0);
    EXPECT_EQ(2u, transport.requests.size()) << "a removed tile is fetched again";
}

TEST_F(ZoomifyFetcherTest, AnswersAfterResetOrANewLoadAreIgnored)
{
    ZoomifyTileFetcher fetcher(&cache);
    fetcher.LoadImage(std::string("http://h/t"), "", &log, 5, 0, 0, 0, nullptr, 0);
    NetConnectionClient* first = transport.client;
    fetcher.Reset();
    EXPECT_FALSE(transport.IsOpen()) << "reset aborts the transfer";
    EXPECT_FALSE(fetcher.IsActive());
    (void)first;
    // A late completion of an old transfer cannot reach the fetcher: the transfer is gone. A new load
    // abandons the running one the same way.
    fetcher.LoadImage(std::string("http://h/t"), "", &log, 5, 0, 0, 1, nullptr, 0);
    fetcher.LoadImage(std::string("http://h/t"), "", &log, 5, 0, 0, 2, nullptr, 0);
    Answer("two");
    EXPECT_EQ((std::vector<std::string>{"data 0", "data 3", "loaded two"}), log.events);
    std::vector<unsigned char> out;
    EXPECT_FALSE(cache.GetTile(5, 0, 0, 1, out));
    EXPECT_TRUE(cache.GetTile(5, 0, 0, 2, out));

    // Events while inactive change nothing.
    fetcher.Reset();
    log.events.clear();
    fetcher.ResponseReceived("image/jpeg", 10);
    fetcher.DataReceived("abc", 3);
    fetcher.DownloadComplete(nullptr, 0);
    fetcher.DownloadFailed("late");
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(0u, fetcher.GetImageDataLength());
}

TEST_F(ZoomifyFetcherTest, FailuresAndHostileLengths)
{
    ZoomifyTileFetcher fetcher(&cache);
    fetcher.LoadImage(std::string("http://h/t"), "", &log, 5, 0, 0, 0, nullptr, 0);
    Answer("", 404);
    EXPECT_EQ((std::vector<std::string>{"error Server returned error 404"}), log.events);
    std::vector<unsigned char> out;
    EXPECT_FALSE(cache.GetTile(5, 0, 0, 0, out));

    // An announced length of 4 GiB reserves at most 16 MiB; the bytes still arrive whole.
    log.events.clear();
    fetcher.LoadImage(std::string("http://h/t"), "", &log, 5, 0, 0, 0, nullptr, 0);
    transport.client->ConnectionResponse(200, "image/jpeg", 0xFFFFFFFFul);
    transport.client->ConnectionData("xyz", 3);
    EXPECT_EQ(3u, fetcher.GetImageDataLength());
    transport.client->ConnectionFinished();
    EXPECT_EQ("loaded xyz", log.events.back());
}

struct PropertiesCase
{
    const char* body;
    const char* expected;
};

TEST_F(ZoomifyFetcherTest, ImagePropertiesAndTheirFaults)
{
    const char* bad = "error Unexpected data in image properties.";
    const PropertiesCase cases[] = {
        {R"(<IMAGE_PROPERTIES WIDTH="11500" HEIGHT="8100" NUMTILES="2000" TILESIZE="256" VERSION="1.8"/>)",
         "loaded 11500 8100 2000 256"},
        {R"(<image_properties width="300" height="200" numtiles="3" tilesize="128"/>)", "loaded 300 200 3 128"},
        {R"(<IMAGE_PROPERTIES WIDTH="12px" HEIGHT="7" TILESIZE="64"/>)", "loaded 12 7 0 64"},
        {R"(<IMAGE WIDTH="300" HEIGHT="200" TILESIZE="256"/>)", bad},
        {R"(<IMAGE_PROPERTIES WIDTH="300" HEIGHT="200" TILESIZE="0"/>)", bad},
        {R"(<IMAGE_PROPERTIES WIDTH="300" HEIGHT="200"/>)", bad},
        {R"(<IMAGE_PROPERTIES HEIGHT="200" TILESIZE="256"/>)", bad},
        {R"(<IMAGE_PROPERTIES WIDTH="300" TILESIZE="256"/>)", bad},
        {R"(<IMAGE_PROPERTIES WIDTH="-300" HEIGHT="200" TILESIZE="256"/>)", bad},
        {R"(<IMAGE_PROPERTIES WIDTH="99999999999999999999" HEIGHT="-99999999999999999999" TILESIZE="256"/>)", bad},
        {R"(<IMAGE_PROPERTIES WIDTH="300" HEIGHT="200" TILESIZE="256")", bad},
        {"<html><body>Service unavailable</body></html>", bad},
        {"", bad},
    };
    for (const PropertiesCase& c : cases)
    {
        SCOPED_TRACE(c.body);
        InfoLog info;
        ZoomifyInfoFetcher fetcher("http://h/tiles/x/ImageProperties.xml", &info);
        EXPECT_EQ("http://h/tiles/x/ImageProperties.xml", transport.requests.back().url);
        Answer(c.body);
        EXPECT_EQ((std::vector<std::string>{c.expected}), info.events);
    }
    InfoLog info;
    ZoomifyInfoFetcher fetcher("http://h/p", &info);
    Answer("", 404);
    EXPECT_EQ((std::vector<std::string>{"error Server returned error 404"}), info.events);

    transport.refuse = true;
    EXPECT_THROW(ZoomifyInfoFetcher("http://h/p", &info), std::runtime_error);
    ZoomifyTileFetcher tiles(nullptr);
    EXPECT_THROW(tiles.LoadImage(std::string("http://h/t"), "", &log, 1, 0, 0, 0, nullptr, 0), std::runtime_error);
}

TEST_F(ZoomifyFetcherTest, DestroyingAFetcherAbortsItsTransfer)
{
    {
        InfoLog info;
        ZoomifyInfoFetcher fetcher("http://h/p", &info);
        EXPECT_TRUE(transport.IsOpen());
    }
    EXPECT_FALSE(transport.IsOpen());
    {
        ZoomifyTileFetcher fetcher(&cache);
        fetcher.LoadImage(std::string("http://h/t"), "", &log, 5, 0, 0, 0, nullptr, 0);
        EXPECT_TRUE(transport.IsOpen());
    }
    EXPECT_FALSE(transport.IsOpen());
}

} // namespace
