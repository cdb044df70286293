// The section image as users see it: the scene of the generator's atlas 310 in a real GL view on the X
// server, its tiles and inset fetched from the demo server through the Qt transport, the frame captured and
// compared with the server's tiles decoded by libjpeg's djpeg.

#include "SceneSupport.h"

#include "RecordingHooks.h"
#include "TestSupport.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasSpace.h"
#include "core/MemoryStreamRef.h"
#include "expression/BrainExpressionModel.h"
#include "expression/DemoServerSession.h"
#include "expression/GeneExpression.h"
#include "gl/support/GLTestWindow.h"
#include "gl/support/RatioTwin.h"
#include "platform/EventLoopSupport.h"
#include "scene/BrainSceneRenderer.h"
#include "scene/ImageControlBar.h"
#include "scene/TiledImage.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{

using scenetest::Download;

constexpr int kWidth = 600;
constexpr int kHeight = 400;
constexpr int kView = 256;
constexpr int kTimeoutMs = 60000;

struct Gray
{
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
};

// A JPEG decoded by djpeg to a binary PGM.
Gray DecodeWithDjpeg(const TempDir& dir, const std::string& jpeg)
{
    const std::string in = dir.Write("tile.jpg", jpeg), out = dir.File("tile.pgm");
    Gray gray;
    if (std::system(("djpeg -grayscale -pnm -outfile '" + out + "' '" + in + "'").c_str()) != 0)
        return gray;
    const std::vector<unsigned char> pgm = ReadWholeFile(out);
    std::istringstream header(std::string(pgm.begin(), pgm.begin() + std::min<std::size_t>(pgm.size(), 64)));
    std::string magic;
    int maximum = 0;
    header >> magic >> gray.width >> gray.height >> maximum;
    const std::size_t start = static_cast<std::size_t>(header.tellg()) + 1;
    gray.pixels.assign(pgm.begin() + static_cast<long>(start), pgm.end());
    return gray;
}

class SectionImageWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string reason;
        // The installer provides the server and Python: a session that cannot start is a failure.
        if (!session.Start(reason))
            FAIL() << reason;
        server = session.server;
        // Every test starts from empty caches: what was fetched before must not hide a request.
        gPrimaryTileCache = MemoryTileCache();
        gExpressionTileCache = MemoryTileCache();

        model = std::make_unique<BrainExpressionModel>(AtlasSet::GetAtlasWithId(310));
        model->SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
        ASSERT_TRUE(window.Open(kWidth, kHeight));
        renderer = std::make_unique<BrainSceneRenderer>(window.wrapper.get(), model.get(), nullptr, nullptr);
        window.Attach(*renderer);
        image = renderer->GetSectionImage();
        space = model->GetAtlas()->GetSpace(0u);
    }

    void TearDown() override
    {
        if (window.wrapper)
        {
            window.wrapper->MakeCurrent();
            image->Hide();
        }
        window.Detach();
        renderer.reset();
        model.reset();
        window.Close();
        session.Stop();
    }

    // The coronal plate through the middle of the space and the point's position on it.
    const ImageSeries::ImageInfo* MiddlePlate(int& x, int& y)
    {
        const unsigned int* d = space->GetViewDimensions();
        const float* s = space->GetViewResolution();
        unsigned int index = 0;
        float u = 0, v = 0;
        const ImageSeries::ImageInfo* info =
            space->ClosestCoronalAtlasSection(0.5f * d[0] * s[0], 0.5f * d[1] * s[1], 0.5f * d[2] * s[2], index, u, v);
        x = static_cast<int>(u + 0.5f);
        y = static_cast<int>(v + 0.5f);
        return info;
    }

    // The image id is the key of its tiles in the cache.
    void LoadPath(const std::string& path, int x, int y, unsigned int imageId)
    {
        window.wrapper->MakeCurrent();
        image->LoadImage(path.c_str(), x, y, 11500, 8100, ImageSeries::Coronal, 1.0f, 16.0f, imageId, 6, space, 0, 0,
                         11500, 8100, "", "", "");
    }

    void PlaceProbe()
    {
        const float middle[3] = {0.5f, 0.5f, 0.5f};
        model->SetProbeLocation(middle, space, false);
        for (int a = 0; a < 3; ++a)
            model->SetMPRSliceLocation(static_cast<Image3dPlane::Plane>(a), 0.5f, false);
        model->SetImageDisplayMode(BrainExpressionModel::CORONAL_PLATE, false);
    }

    bool WaitLoaded()
    {
        return RunEventsUntil([&] { return image->GetPendingTiles() == 0 && image->IsRegionReady(); }, kTimeoutMs);
    }

    QImage Capture() { return window.Capture().convertToFormat(QImage::Format_RGB32); }

    std::vector<std::string> TileRequests(const std::string& marker)
    {
        std::vector<std::string> paths;
        for (const LoggedRequest& r : server->Log())
            if (r.path.find(marker) != std::string::npos && r.path.find("/TileGroup/") != std::string::npos)
                paths.push_back(r.path);
        return paths;
    }

    // The connections that the requests logged from entry `from` on came on.
    std::set<int> ConnectionsSince(std::size_t from)
    {
        const std::vector<LoggedRequest> log = server->Log();
        std::set<int> numbers;
        for (std::size_t i = from; i < log.size(); ++i)
            numbers.insert(log[i].connection);
        return numbers;
    }

    // The detail view as the server's tiles make it: each tile decoded by djpeg, placed at its target.
    std::vector<int> ExpectedDetail()
    {
        std::vector<int> expected(kView * kView, 255);
        const TiledImage::Layout& l = image->GetLayout();
        for (int r = l.r0; r <= l.r1; ++r)
            for (int c = l.c0; c <= l.c1; ++c)
            {
                Corvane::Rectangle source, target;
                TiledImage::TileRectangles(l, 256, c, r, kView, kView, source, target);
                if (source.right <= source.left || source.bottom <= source.top)
                    continue;
                Download tile(image->GetTileBaseUrl() + "/TileGroup/" + std::to_string(l.detailLevel) + "-" +
                              std::to_string(c) + "-" + std::to_string(r) + ".jpg");
                EXPECT_TRUE(RunEventsUntil([&] { return tile.done; }, kTimeoutMs));
                const Gray gray = DecodeWithDjpeg(dir, tile.bytes);
                EXPECT_GT(gray.width, 0) << tile.error;
                for (int i = 0; i < target.bottom - target.top; ++i)
                    for (int j = 0; j < target.right - target.left; ++j)
                        if (source.left + j < gray.width && source.top + i < gray.height)
                            expected[(target.top + i) * kView + target.left + j] =
                                gray.pixels[(source.top + i) * gray.width + source.left + j];
            }
        return expected;
    }

    // Pixels of the captured detail view that differ from the server's tiles, inside the scale ticks.
    int DetailMismatches(const QImage& frame)
    {
        const std::vector<int> expected = ExpectedDetail();
        int mismatches = 0;
        for (int y = 6; y < kView - 6; ++y)
            for (int x = 6; x < kView - 6; ++x)
            {
                const QRgb p = frame.pixel(x, kHeight - kView + y);
                const int e = expected[y * kView + x];
                mismatches += std::abs(qRed(p) - e) > 2 || std::abs(qGreen(p) - e) > 2 || std::abs(qBlue(p) - e) > 2;
            }
        return mismatches;
    }

    DemoServerSession session;
    DemoServer* server = nullptr;
    TempDir dir;
    RecordingAlerts alerts;
    RecordingBrowser browser;
    std::unique_ptr<BrainExpressionModel> model;
    GLTestWindow window;
    std::unique_ptr<BrainSceneRenderer> renderer;
    TiledImage* image = nullptr;
    AtlasSpace* space = nullptr;
};

TEST_F(SectionImageWindowTest, TheCoronalPlateAtTheProbeWithItsInset)
{
    PlaceProbe();
    int x = 0, y = 0;
    const ImageSeries::ImageInfo* plate = MiddlePlate(x, y);
    ASSERT_NE(nullptr, plate);
    window.wrapper->MakeCurrent();
    renderer->ShowAtlasImage();
    ASSERT_TRUE(image->IsVisible());
    ASSERT_TRUE(WaitLoaded());
    EXPECT_TRUE(alerts.alerts.empty());
    EXPECT_EQ(server->Base() + "/tiles/" + plate->imagePath, image->GetTileBaseUrl());
    EXPECT_EQ(x, image->GetCenterX());
    EXPECT_EQ(y, image->GetCenterY());

    // Exactly the tiles of the view, under their exact paths.
    const TiledImage::Layout& l = image->GetLayout();
    std::vector<std::string> expected;
    for (int r = l.r0; r <= l.r1; ++r)
        for (int c = l.c0; c <= l.c1; ++c)
            expected.push_back("/tiles/" + plate->imagePath + "/TileGroup/" + std::to_string(l.detailLevel) + "-" +
                               std::to_string(c) + "-" + std::to_string(r) + ".jpg");
    std::vector<std::string> requested = TileRequests(plate->imagePath + "/");
    std::sort(expected.begin(), expected.end());
    std::sort(requested.begin(), requested.end());
    EXPECT_EQ(expected, requested);

    QImage frame = Capture();
    // On a screen scaled by 2 (CMake runs this case there too) the frame holds twice the pixels: the tiles'
    // texels are exact at scale 1 only, the rest is checked on the frame averaged back to logical pixels.
    if (ratiotwin::Scale() == 1.0)
    {
        EXPECT_EQ(0, DetailMismatches(frame));
    }
    else
    {
        ASSERT_EQ(QSize(ratiotwin::Device(kWidth), ratiotwin::Device(kHeight)), frame.size());
        frame = frame.scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    // Tissue and paper both show.
    int dark = 0;
    for (int yy = 6; yy < kView - 6; ++yy)
        for (int xx = 6; xx < kView - 6; ++xx)
            dark += qGreen(frame.pixel(xx, kHeight - kView + yy)) < 200;
    EXPECT_GT(dark, 1000);

    // The inset: the whole section beside the view with a red frame around the part the view shows.
    const int insetLeft = kView + 1, insetWidth = image->GetInsetWidth(), insetHeight = image->GetInsetHeight();
    int red = 0, tissue = 0, minX = kWidth, maxX = -1, minY = kHeight, maxY = -1;
    for (int yy = kHeight - insetHeight; yy < kHeight; ++yy)
        for (int xx = insetLeft; xx < insetLeft + insetWidth; ++xx)
        {
            const QRgb p = frame.pixel(xx, yy);
            if (qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60)
            {
                ++red;
                minX = std::min(minX, xx), maxX = std::max(maxX, xx);
                minY = std::min(minY, yy), maxY = std::max(maxY, yy);
            }
            else if (qGreen(p) < 200)
                ++tissue;
        }
    EXPECT_GT(tissue, insetWidth * insetHeight / 10);
    // Where the frame falls: inset-image pixels at the inset's scale, centred, y mirrored.
    const float f = l.overviewPixelSize / TiledImage::INSET_PIXEL_SIZE;
    const float regionWidth = 11500.0f / l.overviewScale, regionHeight = 8100.0f / l.overviewScale;
    const float offsetX = (insetWidth / f - regionWidth) * 0.5f, offsetY = (insetHeight / f - regionHeight) * 0.5f;
    const float left = insetLeft + f * (offsetX + l.inset[0]), right = insetLeft + f * (offsetX + l.inset[2]);
    const float top = kHeight - f * (offsetY + regionHeight - l.inset[1]);
    const float bottom = kHeight - f * (offsetY + regionHeight - l.inset[3]);
    ASSERT_GT(red, 20);
    EXPECT_NEAR(left, minX, 2.0f);
    EXPECT_NEAR(right, maxX, 2.0f);
    EXPECT_NEAR(top, minY, 2.0f);
    EXPECT_NEAR(bottom, maxY, 2.0f);
}

TEST_F(SectionImageWindowTest, CachedTilesAskNothingAndBadTilesAreAskedAgain)
{
    int x = 0, y = 0;
    const ImageSeries::ImageInfo* plate = MiddlePlate(x, y);
    ASSERT_NE(nullptr, plate);
    LoadPath(plate->imagePath, x, y, 5);
    ASSERT_TRUE(WaitLoaded());
    const std::size_t fetched = TileRequests(plate->imagePath + "/").size();
    ASSERT_GT(fetched, 0u);
    LoadPath(plate->imagePath, x, y, 5);
    EXPECT_EQ(0, image->GetPendingTiles()) << "every tile came from the cache within the load";
    EXPECT_GT(image->GetLoadedTiles(), 0);
    RunEventsFor(300);
    EXPECT_EQ(fetched, TileRequests(plate->imagePath + "/").size());

    // Tiles answered with an HTML page stay white, leave the cache and are asked for again.
    const std::string html = plate->imagePath + "/fault-html";
    LoadPath(html, x, y, 15);
    ASSERT_TRUE(RunEventsUntil([&] { return image->GetPendingTiles() == 0; }, kTimeoutMs));
    EXPECT_EQ(0, image->GetLoadedTiles());
    const QImage frame = Capture();
    int notWhite = 0;
    for (int yy = 6; yy < kView - 6; ++yy)
        for (int xx = 6; xx < kView - 6; ++xx)
            notWhite += frame.pixel(xx, kHeight - kView + yy) != qRgb(255, 255, 255);
    EXPECT_EQ(0, notWhite);
    const std::size_t first = TileRequests(html).size();
    ASSERT_GT(first, 0u);
    LoadPath(html, x, y, 15);
    ASSERT_TRUE(RunEventsUntil([&] { return image->GetPendingTiles() == 0; }, kTimeoutMs));
    EXPECT_EQ(2 * first, TileRequests(html).size());
}

TEST_F(SectionImageWindowTest, ASlowServerShowsTheProgressBlocks)
{
    int x = 0, y = 0;
    const ImageSeries::ImageInfo* plate = MiddlePlate(x, y);
    ASSERT_NE(nullptr, plate);
    LoadPath(plate->imagePath + "/fault-slow", x, y, 25);
    RunEventsFor(1200);
    ASSERT_GT(image->GetPendingTiles(), 0);
    const QImage frame = Capture();
    // The first block covers (2, 2)-(8, 6) from the bottom left.
    for (int yy = 3; yy < 6; ++yy)
        for (int xx = 3; xx < 8; ++xx)
            EXPECT_EQ(qRgb(0, 255, 0), frame.pixel(xx, kHeight - 1 - yy)) << xx << " " << yy;
    EXPECT_EQ(qRgb(255, 255, 255), frame.pixel(40, kHeight - 1 - 40)) << "no tile has come yet";
}

TEST_F(SectionImageWindowTest, ImagePropertiesDecideTheGeometryOrShowTheirError)
{
    int x = 0, y = 0;
    const ImageSeries::ImageInfo* plate = MiddlePlate(x, y);
    ASSERT_NE(nullptr, plate);
    struct Case
    {
        const char* suffix;
        const char* alert; // null: the image loads
    };
    const Case cases[] = {
        {"", nullptr},
        {"/fault-404", "Server returned error 404"},
        {"/fault-malformed", "Unexpected data in image properties."},
        {"/fault-html", "Unexpected data in image properties."},
        {"/fault-truncated", "Unexpected data in image properties."},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.suffix);
        alerts.alerts.clear();
        // Without a parent size the image asks the server for its properties.
        ImageSeries::ImageInfo info = *plate;
        info.imagePath += c.suffix;
        info.parentImageWidth = info.parentImageHeight = info.width = info.height = 0;
        window.wrapper->MakeCurrent();
        image->Hide();
        image->LoadImage(&info, 6, x, y, ImageSeries::Coronal, 1.0f, 16.0f, space, "", "", "");
        ASSERT_TRUE(RunEventsUntil([&] { return !alerts.alerts.empty() || image->GetLoadedTiles() > 0; }, kTimeoutMs));
        if (c.alert)
        {
            EXPECT_EQ(std::vector<std::string>{c.alert}, alerts.alerts);
            EXPECT_EQ(0, image->GetPendingTiles());
        }
        else
        {
            EXPECT_TRUE(alerts.alerts.empty());
            EXPECT_EQ(7, image->GetLayout().numLevels) << "from the properties' 11500 x 8100";
        }
    }
}

TEST_F(SectionImageWindowTest, ADoubleClickOpensTheAtlasViewerAtThePoint)
{
    int x = 0, y = 0;
    const ImageSeries::ImageInfo* plate = MiddlePlate(x, y);
    ASSERT_NE(nullptr, plate);
    PlaceProbe();
    window.wrapper->MakeCurrent();
    renderer->ShowAtlasImage();
    ASSERT_TRUE(WaitLoaded());
    // Rows from the top, as events come.
    EXPECT_FALSE(renderer->OnDoubleClick(2, 100, kHeight - 1 - 100, 0, 0));
    EXPECT_TRUE(browser.urls.empty());
    EXPECT_FALSE(renderer->OnDoubleClick(0, 100, kHeight - 1 - 300, 0, 0)) << "above the image";
    EXPECT_TRUE(renderer->OnDoubleClick(0, 100, kHeight - 1 - 100, 0, 0));
    ASSERT_EQ(1u, browser.urls.size());
    const std::string tail = "&x=" + std::to_string(x) + "&y=" + std::to_string(y) + "&resolution=4";
    EXPECT_EQ(tail, browser.urls[0].substr(browser.urls[0].size() - std::min(tail.size(), browser.urls[0].size())));
    EXPECT_NE(std::string::npos, browser.urls[0].find("image=" + std::to_string(plate->id)));
}

TEST_F(SectionImageWindowTest, TheSagittalCellSwitchesToTheSagittalPlate)
{
    const std::size_t logged = server->Log().size();
    PlaceProbe();
    window.wrapper->MakeCurrent();
    renderer->ShowAtlasImage();
    ASSERT_TRUE(WaitLoaded());
    const QImage coronal = Capture();

    ImageControlBar probe;
    probe.Create(renderer.get(), 0, 256, 256, 20);
    const int cell = 26 + probe.GetCellWidth() * 3 / 2;
    const int row = kHeight - 1 - 266;
    EXPECT_TRUE(renderer->OnButtonDown(0, cell, row, 0, 0));
    renderer->OnButtonUp(0, cell, row, 0, 0);
    EXPECT_EQ(BrainExpressionModel::SAGITTAL_PLATE, model->GetImageDisplayMode());
    ASSERT_NE(std::string::npos, image->GetTileBaseUrl().find("/sagittal/"));
    ASSERT_TRUE(WaitLoaded());
    const QImage sagittal = Capture();
    EXPECT_EQ(0, DetailMismatches(sagittal));
    int changed = 0;
    for (int yy = 6; yy < kView - 6; ++yy)
        for (int xx = 6; xx < kView - 6; ++xx)
            changed += coronal.pixel(xx, kHeight - kView + yy) != sagittal.pixel(xx, kHeight - kView + yy);
    EXPECT_GT(changed, 1000);

    // The second plate's tiles come on the first one's connections: no more than six to one host.
    const std::set<int> connections = ConnectionsSince(logged);
    EXPECT_GT(server->Log().size() - logged, 6u);
    EXPECT_LE(connections.size(), 6u);
}

TEST_F(SectionImageWindowTest, TheDataSetsOwnSectionWithItsExpressionMask)
{
    // The first data set that a search of the server finds, downloaded and added as a document does.
    Download search(server->Base() + "/search/0310/gene?start=0&num=10&term=");
    ASSERT_TRUE(RunEventsUntil([&] { return search.done; }, kTimeoutMs));
    // Records lie under image-series/image-series; the first id after them is a data set's.
    const std::size_t record = search.bytes.find("<image-series>");
    const std::size_t id = search.bytes.find("<id>", record);
    ASSERT_NE(std::string::npos, id) << search.error;
    const std::string seriesId = search.bytes.substr(id + 4, search.bytes.find("</id>", id) - id - 4);
    Download zip(server->Base() + "/grid/0310/" + seriesId + "/visualize");
    ASSERT_TRUE(RunEventsUntil([&] { return zip.done; }, kTimeoutMs));
    auto gene = std::make_shared<GeneExpression>();
    MemoryStreamRef stream(zip.bytes.data(), static_cast<unsigned int>(zip.bytes.size()));
    ASSERT_TRUE(gene->LoadAtlasSpace(stream, false, model->GetAtlas())) << zip.error;
    window.wrapper->MakeCurrent();
    model->AddGeneExpression(gene, true);
    Expressor* shown = nullptr;
    for (Expressor& e : *gene->GetExpressors(space))
        if (gene->GetImageSeries().GetImageSection(e.section) && e.imageX > 0 && e.imageY > 0)
        {
            shown = &e;
            break;
        }
    ASSERT_NE(nullptr, shown);
    const ImageSeries::ImageInfo* section = gene->GetImageSeries().GetImageSection(shown->section);
    ASSERT_FALSE(section->expressionPath.empty());

    model->SetImageDisplayMode(BrainExpressionModel::SECTION_IMAGE, false);
    model->SelectExpressor(gene.get(), space, shown, true);
    ASSERT_TRUE(image->IsVisible());
    EXPECT_EQ(shown->imageX, image->GetCenterX());
    ASSERT_TRUE(WaitLoaded());
    EXPECT_GT(image->GetLoadedTiles(), 0);
    EXPECT_TRUE(alerts.alerts.empty());
    // The images are 1 micrometre a pixel as served; 8 wanted by default gives the level of 4.
    EXPECT_FLOAT_EQ(4.0f, image->GetLayout().detailPixelSize);
    // Both halves of every tile were asked for, the mask with the data set's mask query.
    const std::vector<std::string> masks = TileRequests(section->expressionPath + "/");
    EXPECT_EQ(TileRequests(section->imagePath + "/").size(), masks.size());
    ASSERT_FALSE(masks.empty());
    for (const LoggedRequest& r : server->Log())
        if (r.path.find(section->expressionPath + "/TileGroup/") != std::string::npos)
        {
            EXPECT_EQ(gene->GetImageMaskFilterParams().substr(1), r.query);
        }
    // The overlay's browser link belongs to the data set, not to the tiled image.
    EXPECT_TRUE(image->CanShowImageInBrowser());
    EXPECT_FALSE(image->ShowImageInBrowser());

    const QImage frame = Capture();
    int notWhite = 0;
    for (int y = 6; y < kView - 6; ++y)
        for (int x = 6; x < kView - 6; ++x)
            notWhite += frame.pixel(x, kHeight - kView + y) != qRgb(255, 255, 255);
    EXPECT_GT(notWhite, 1000);
    // The attribution's row above the image's bar shows its text over the bare scene, left of the glyphs.
    int lit = 0;
    for (int y = kHeight - kView - 40; y < kHeight - kView - 25; ++y)
        for (int x = 5; x < 140; ++x)
            lit += qRed(frame.pixel(x, y)) > 150;
    EXPECT_GT(lit, 20);
}

} // namespace
