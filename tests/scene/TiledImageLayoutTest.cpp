// The arithmetic of the tiled section image: levels, scales, tile ranges and rectangles, the texture copy,
// and loads over a scripted transport (no server).

#include "SceneFixture.h"

#include "ScriptedTransport.h"
#include "core/BrowserLauncher.h"
#include "core/MemoryDefaultsStore.h"
#include "scene/TiledImage.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

namespace
{

using namespace scenetest;

struct LayoutCase
{
    const char* name;
    int tileSize, width, height;
    float imageResolution, displayResolution;
    int centerX, centerY;
    int levels, detailLevel, detailScale, overviewLevel, overviewScale, columns, rows;
};

TEST(TiledImageLayoutTest, LevelsScalesAndTileCounts)
{
    const LayoutCase cases[] = {
        {"1000 x 800 has 3 levels", 256, 1000, 800, 1, 8, 500, 400, 3, 0, 4, 0, 4, 1, 1},
        {"512 x 512 has 2 levels", 256, 512, 512, 1, 1, 256, 256, 2, 1, 1, 0, 2, 2, 2},
        {"300 x 256 at full size: 2 columns, 1 row", 256, 300, 256, 1, 1, 150, 128, 2, 1, 1, 0, 2, 2, 1},
        // A parent at most half a tile wide: one level, and every scale 1.
        {"a small parent keeps one level", 256, 100, 100, 1, 8, 50, 50, 1, 0, 1, 0, 1, 1, 1},
        // A display resolution finer than the image's asks for a level beyond the finest.
        {"finer than the image: the finest level", 256, 1000, 800, 1, 0.25f, 500, 400, 3, 2, 1, 0, 4, 4, 4},
        {"the generated plates", 256, 11500, 8100, 1, 16, 5750, 4050, 7, 3, 8, 0, 64, 6, 4},
    };
    for (const LayoutCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        const TiledImage::Layout l =
            TiledImage::ComputeLayout(c.tileSize, c.width, c.height, c.imageResolution, c.displayResolution, c.centerX,
                                      c.centerY, 256, 256, 0, 0);
        EXPECT_EQ(c.levels, l.numLevels);
        EXPECT_EQ(c.detailLevel, l.detailLevel);
        EXPECT_EQ(c.detailScale, l.detailScale);
        EXPECT_EQ(c.overviewLevel, l.overviewLevel);
        EXPECT_EQ(c.overviewScale, l.overviewScale);
        EXPECT_EQ(c.columns, l.columns);
        EXPECT_EQ(c.rows, l.rows);
        EXPECT_FLOAT_EQ(c.detailScale * c.imageResolution, l.detailPixelSize);
    }
    for (const int bad : {0, -1})
    {
        EXPECT_THROW(TiledImage::ComputeLayout(bad, 100, 100, 1, 8, 0, 0, 256, 256, 0, 0), std::runtime_error);
        EXPECT_THROW(TiledImage::ComputeLayout(256, bad, 100, 1, 8, 0, 0, 256, 256, 0, 0), std::runtime_error);
        EXPECT_THROW(TiledImage::ComputeLayout(256, 100, bad, 1, 8, 0, 0, 256, 256, 0, 0), std::runtime_error);
    }
}

TEST(TiledImageLayoutTest, ImagesWhoseViewCannotBeCountedInAnIntAreRefused)
{
    const int most = std::numeric_limits<int>::max(), least = std::numeric_limits<int>::min();
    struct Case
    {
        const char* name;
        int tileSize, width, height, centerX, centerY;
        bool refused;
    };
    const Case cases[] = {
        {"the largest image, looked at in its middle", 256, most, most, most / 2, most / 2, false},
        {"a server's tallest image, looked at past its end", 256, 1, most, 1, most, true},
        {"a point of interest far before the image", 256, 1000, 800, least, 0, true},
        {"a tile as large as the image", most, most, most, most - 1, 0, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const auto layout = [&] {
            TiledImage::ComputeLayout(c.tileSize, c.width, c.height, 1, 1, c.centerX, c.centerY, 512, 512, 0, 0);
        };
        if (c.refused)
            EXPECT_THROW(layout(), std::runtime_error);
        else
            EXPECT_NO_THROW(layout());
    }
}

TEST(TiledImageLayoutTest, AViewCornerOutsideTheImageShiftsTheFirstTilesWithoutAGap)
{
    // Full size (scale 1), a 512 x 512 view centred at (50, 60): the corner lies at (-206, -196).
    const TiledImage::Layout l = TiledImage::ComputeLayout(256, 1000, 800, 1, 1, 50, 60, 512, 512, 0, 0);
    ASSERT_EQ(-206, l.x0);
    ASSERT_EQ(-196, l.y0);
    EXPECT_EQ(0, l.c0);
    EXPECT_EQ(1, l.c1);
    EXPECT_EQ(0, l.r0);
    EXPECT_EQ(1, l.r1);
    Corvane::Rectangle source, target;
    TiledImage::TileRectangles(l, 256, 0, 0, 512, 512, source, target);
    EXPECT_EQ(0, source.left);
    EXPECT_EQ(256, source.right);
    EXPECT_EQ(206, target.left);
    EXPECT_EQ(196, target.top);
    Corvane::Rectangle nextSource, nextTarget;
    TiledImage::TileRectangles(l, 256, 1, 1, 512, 512, nextSource, nextTarget);
    EXPECT_EQ(target.right, nextTarget.left);
    EXPECT_EQ(target.bottom, nextTarget.top);
    EXPECT_EQ(512, nextTarget.right) << "clipped by the view";
    EXPECT_EQ(50, nextSource.right);

    // The inset frame: the view in inset-image pixels (scale 4 there).
    EXPECT_EQ((std::vector<int>{(50 - 256) / 4, (60 - 256) / 4, (50 - 256) / 4 + 128, (60 - 256) / 4 + 128}),
              std::vector<int>(l.inset, l.inset + 4));
}

class TiledImageTextureTest : public GLTest
{};

TEST_F(TiledImageTextureTest, CopiesClipToTheDecodedImageAndTheTexture)
{
    Image2d tile;
    tile.Initialize(4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            std::memset(tile.GetPixel(x, y), 10 * y + x + 1, 4);
    struct Case
    {
        const char* name;
        Corvane::Rectangle source, target;
        int copied;
    };
    const Case cases[] = {
        {"whole", {0, 0, 4, 3}, {1, 1, 5, 4}, 12},
        {"a rectangle larger than the decoded tile", {0, 0, 256, 256}, {0, 0, 256, 256}, 12},
        {"beyond the texture's corner", {0, 0, 4, 3}, {6, 5, 10, 8}, 2},
        {"a negative target", {0, 0, 4, 3}, {-2, -1, 2, 2}, 4},
        {"empty", {0, 0, 0, 0}, {0, 0, 0, 0}, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        GLTexture texture(8, 6, 0x80E1, 0x2601);
        std::memset(texture.GetPixels(), 0, texture.GetPixelBytes());
        TiledImage::CopyToTexture(tile, texture, c.source, c.target);
        int copied = 0;
        for (std::size_t i = 0; i < texture.GetPixelBytes(); i += 4)
            copied += texture.GetPixels()[i] != 0;
        EXPECT_EQ(c.copied, copied);
    }
    GLTexture texture(8, 6, 0x80E1, 0x2601);
    TiledImage::CopyToTexture(tile, texture, {1, 1, 3, 3}, {5, 2, 7, 4});
    EXPECT_EQ(12, texture.GetPixels()[4 * (2 * 8 + 5)]);
    EXPECT_EQ(23, texture.GetPixels()[4 * (3 * 8 + 6)]);
}

// A scene whose network is a scripted transport: requests are recorded, answers come from the test.
class TiledImageLoadTest : public SceneTest
{
public:
    void SetUp() override
    {
        SceneTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        PlatformHooks::SetNetTransport(&transport);
        MakeScene(Installed(310), kWidth, kHeight);
        image = renderer->GetSectionImage();
    }
    void TearDown() override
    {
        if (image)
            image->Hide();
        PlatformHooks::SetNetTransport(nullptr);
        SceneTest::TearDown();
    }
    void LoadExplicit(const char* path, int parentWidth, int parentHeight, float imageResolution,
                      float displayResolution)
    {
        image->LoadImage(path, parentWidth / 2, parentHeight / 2, parentWidth, parentHeight, ImageSeries::Coronal,
                         imageResolution, displayResolution, 7, 8, Space(), 0, 0, parentWidth, parentHeight, "", "",
                         "");
    }
    ScriptedTransport transport;
    TiledImage* image = nullptr;
};

TEST_F(TiledImageLoadTest, ResolutionsOfZeroOrLessTakeTheirDefaults)
{
    LoadExplicit("sections/x", 1000, 800, -1.0f, 0.0f);
    ASSERT_TRUE(image->IsVisible());
    // Read as 1 and 8 micrometres a pixel: the detail level 0 of 3 at scale 4.
    EXPECT_EQ(3, image->GetLayout().numLevels);
    EXPECT_EQ(0, image->GetLayout().detailLevel);
    EXPECT_FLOAT_EQ(4.0f, image->GetLayout().detailPixelSize);
    // One region image and the one tile of level 0.
    ASSERT_EQ(2u, transport.requests.size());
    EXPECT_NE(std::string::npos, transport.requests[0].url.find("sections/x&zoom=0&top=0&left=0&width=250&height=200"));
    EXPECT_EQ(image->GetTileBaseUrl() + "/TileGroup/0-0-0.jpg", transport.requests[1].url);
    EXPECT_EQ(1, image->GetPendingTiles());
}

TEST_F(TiledImageLoadTest, UnusableGeometryHidesTheImage)
{
    LoadExplicit("sections/x", 1000, 800, 1.0f, 8.0f);
    ASSERT_TRUE(image->IsVisible());
    LoadExplicit("sections/x", 0, 800, 1.0f, 8.0f);
    EXPECT_FALSE(image->IsVisible());
    LoadExplicit("sections/x", 1000, 800, 1.0f, 8.0f);
    image->LoadImage(nullptr, 0, 0, 100, 100, ImageSeries::Coronal, 1, 8, 7, 8, Space(), 0, 0, 100, 100, "", "", "");
    EXPECT_FALSE(image->IsVisible());
    // A request that cannot be made hides the image, and nothing escapes.
    transport.refuse = true;
    LoadExplicit("sections/x", 1000, 800, 1.0f, 8.0f);
    EXPECT_FALSE(image->IsVisible());
}

TEST_F(TiledImageLoadTest, ANewLoadAbandonsTheTransfersOfTheLastOne)
{
    LoadExplicit("sections/first", 256, 256, 1.0f, 1.0f);
    const std::shared_ptr<bool> firstTile = transport.connectionOpen;
    ASSERT_TRUE(*firstTile);
    LoadExplicit("sections/second", 256, 256, 1.0f, 1.0f);
    EXPECT_FALSE(*firstTile) << "its answer can never reach the image";
    EXPECT_EQ(0, image->GetLoadedTiles());
    // Browsing needs only an image; a double click also needs a tile on screen.
    EXPECT_TRUE(image->CanShowImageInBrowser());
    EXPECT_FALSE(image->OnDoubleClick(0, 10, 10, 0, 0));
    image->Hide();
    EXPECT_FALSE(*transport.connectionOpen);
    EXPECT_FALSE(image->CanShowImageInBrowser());
}

// A section image with an expression overlay: one 256-pixel tile, fetched in two halves.
struct OverlaidImage : ImageSeries::ImageInfo
{
    OverlaidImage()
    {
        id = 77;
        imagePath = "sections/a";
        expressionPath = "expression/a";
        width = height = parentImageWidth = parentImageHeight = 256;
    }
};

TEST_F(TiledImageLoadTest, AHalfThatDoesNotDecodeReleasesTheOtherHalfsCount)
{
    const OverlaidImage info;
    const unsigned char garbage[] = {'<', 'h', 't', 'm', 'l', '>'};
    struct Case
    {
        const char* name;
        MemoryTileCache& broken;
        std::size_t requests; // region and tile requests made
    };
    const Case cases[] = {
        // The section half comes from the cache and fails: the mask is never asked for.
        {"section half", gPrimaryTileCache, 1},
        // The mask half fails while the section half is on its way: that transfer goes too.
        {"mask half", gExpressionTileCache, 2},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        gPrimaryTileCache = MemoryTileCache();
        gExpressionTileCache = MemoryTileCache();
        transport.requests.clear();
        c.broken.AddTile(77, 0, 0, 0, garbage, sizeof garbage);
        image->LoadImage(&info, 1, 128, 128, ImageSeries::Coronal, 1.0f, 1.0f, Space(), "", "?mask", "");
        ASSERT_TRUE(image->IsVisible());
        EXPECT_EQ(0, image->GetPendingTiles()) << "the progress bar ends";
        EXPECT_EQ(c.requests, transport.requests.size());
        if (c.requests == 2)
        {
            EXPECT_FALSE(*transport.connectionOpen) << "the section half's transfer is not left running";
        }
        std::vector<unsigned char> out;
        EXPECT_FALSE(c.broken.GetTile(77, 0, 0, 0, out)) << "the bad bytes left the cache";
        image->Hide();
    }
}

class BrowserLog : public BrowserLauncher
{
public:
    bool OpenUrl(const std::string& url) override
    {
        urls.push_back(url);
        return true;
    }
    std::vector<std::string> urls;
};

// The atlas viewer link of the shown point, and an atlas whose link template takes other arguments.
TEST_F(SceneTest, TheBrowserLinkNeedsATemplateThatTakesItsArguments)
{
    ScriptedTransport transport;
    BrowserLog browser;
    PlatformHooks::SetNetTransport(&transport);
    PlatformHooks::SetBrowserLauncher(&browser);
    const ScopeExit restore([] {
        PlatformHooks::SetNetTransport(nullptr);
        PlatformHooks::SetBrowserLauncher(nullptr);
    });
    TempDir dir;
    const std::string copy = dir.File("310");
    std::filesystem::copy(MicroAtlas(310)->GetPath(), copy, std::filesystem::copy_options::recursive);
    const std::vector<unsigned char> bytes = ReadWholeFile(copy + "/Info.xml");
    std::string info(bytes.begin(), bytes.end());
    const std::string from = "series=%3%</atlasImageViewer>";
    const std::size_t at = info.find(from);
    ASSERT_NE(std::string::npos, at);
    info.replace(at, from.size(), "series=%3%&amp;z=%4%</atlasImageViewer>");
    WriteWholeFile(copy + "/Info.xml", info);

    for (const bool patched : {false, true})
    {
        SCOPED_TRACE(patched ? "patched" : "as generated");
        auto atlas = patched ? std::make_shared<Atlas>(copy) : MicroAtlas(310);
        BrainExpressionModel document(atlas);
        RecordingDisplay screen(kWidth, kHeight);
        BrainSceneRenderer scene(&screen, &document, nullptr, nullptr);
        TiledImage* image = scene.GetSectionImage();
        image->LoadImage("sections/x", 300, 200, 1000, 800, ImageSeries::Coronal, 1, 8, 7, 8, atlas->GetSpace(0u), 100,
                         50, 800, 700, "", "", "");
        ASSERT_TRUE(image->IsVisible());
        browser.urls.clear();
        EXPECT_EQ(!patched, image->ShowImageInBrowser());
        if (patched)
        {
            EXPECT_TRUE(browser.urls.empty());
        }
        else
        {
            ASSERT_EQ(1u, browser.urls.size());
            EXPECT_NE(std::string::npos, browser.urls[0].find("image=7&series=8&x=200&y=150&resolution=4"))
                << browser.urls[0];
        }
        image->Hide();
    }
}

} // namespace
