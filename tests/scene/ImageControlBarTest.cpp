// The section-image bar inside the scene: its geometry, which cells it offers, and what presses do.

#include "SceneFixture.h"

#include "gl/GLTexture.h"
#include "gl/GLTextureButton.h"
#include "scene/BrainSceneView.h"
#include "scene/ImageControlBar.h"
#include "scene/TiledImage.h"

#include <filesystem>
#include <iterator>
#include <vector>

namespace
{

using namespace scenetest;

constexpr int kSceneWidth = 640;
constexpr int kSceneHeight = 480;

class ImageControlBarTest : public SceneTest
{
public:
    int CellX(int cell, float part = 0.5f) { return 26 + static_cast<int>((cell + part) * cellWidth); }

    int cellWidth = 0;
};

TEST_F(ImageControlBarTest, GeometryOfTheBarCreatedAboveTheImage)
{
    ImageControlBar bar;
    MakeScene(Installed(310), kSceneWidth, kSceneHeight);
    bar.Create(renderer.get(), 0, 256, 256, 20);
    EXPECT_EQ(2, bar.GetCloseButton().GetOriginX());
    EXPECT_EQ(259, bar.GetCloseButton().GetOriginY());
    EXPECT_EQ(238, bar.GetBrowserButton().GetOriginX());
    EXPECT_EQ(258, bar.GetBrowserButton().GetOriginY());
    EXPECT_EQ(16, bar.GetCloseButton().GetWidth());
    EXPECT_GT(bar.GetCellWidth(), 4);
}

TEST_F(ImageControlBarTest, CellPressesChooseTheDisplayModeOnRelease)
{
    MakeScene(Installed(310), kSceneWidth, kSceneHeight);
    const float middle[3] = {0.5f, 0.5f, 0.5f};
    model->SetProbeLocation(middle, Space(), false);
    ImageControlBar bar;
    bar.Create(renderer.get(), 0, 256, 256, 20);
    cellWidth = bar.GetCellWidth();
    bar.CheckImagesAvailable();
    EXPECT_TRUE(bar.IsImageAvailable(0));
    EXPECT_TRUE(bar.IsImageAvailable(1));
    EXPECT_FALSE(bar.IsImageAvailable(2)) << "no data set is selected";

    const auto press = [&](int x, int overlayY, int button = 0) {
        return bar.OnButtonDown(button, x, kSceneHeight - 1 - overlayY, 0, 0);
    };
    const auto release = [&](int x, int overlayY) { bar.OnButtonUp(0, x, kSceneHeight - 1 - overlayY, 0, 0); };
    struct Case
    {
        const char* name;
        int pressX, pressY, button;
        bool taken;
        int releaseX;
        int mode; // after the release
    };
    const Case cases[] = {
        {"an unavailable cell is not taken", CellX(2), 266, 0, false, CellX(2), 0},
        {"a release over another cell changes nothing", CellX(0), 266, 0, true, CellX(1), 0},
        {"the sagittal cell", CellX(1), 266, 0, true, CellX(1), 1},
        {"a little left of the first cell counts as the first", 22, 266, 0, true, CellX(0), 0},
        {"only the left button", CellX(1), 266, 2, false, CellX(1), 0},
        {"below the bar", CellX(1), 250, 0, false, CellX(1), 0},
        {"a release outside the bar", CellX(1), 266, 0, true, 400, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        model->SetImageDisplayMode(BrainExpressionModel::CORONAL_PLATE, false);
        EXPECT_EQ(c.taken, press(c.pressX, c.pressY, c.button));
        if (c.taken)
        {
            // Leaving the pressed cell drops the pressed look: a change to draw.
            const auto cellOf = [&](int x) { return x < 256 ? (x - 26) / cellWidth : -1; };
            const bool leaves = cellOf(c.releaseX) != cellOf(c.pressX);
            EXPECT_EQ(leaves, bar.OnMouseMove(c.releaseX, kSceneHeight - 1 - 266, 0, 0));
            release(c.releaseX, 266);
        }
        EXPECT_EQ(c.mode, static_cast<int>(model->GetImageDisplayMode()));
        EXPECT_EQ(-1, bar.GetPressedCell());
    }
}

TEST_F(ImageControlBarTest, TheRendererOffersPressesToTheBarBeforeTheImage)
{
    MakeScene(Installed(310), kSceneWidth, kSceneHeight);
    const float middle[3] = {0.5f, 0.5f, 0.5f};
    model->SetProbeLocation(middle, Space(), false);
    TiledImage* image = renderer->GetSectionImage();
    // Hidden: the bar is not there.
    renderer->OnButtonDown(0, 10, kSceneHeight - 1 - 267, 0, 0);
    renderer->OnButtonUp(0, 10, kSceneHeight - 1 - 267, 0, 0);
    image->ShowBlank();
    ASSERT_TRUE(image->IsVisible());
    // The close button takes the press and hides the image on release over it.
    renderer->OnButtonDown(0, 10, kSceneHeight - 1 - 267, 0, 0);
    EXPECT_NE(nullptr, renderer->GetMouseCapture());
    renderer->OnButtonUp(0, 10, kSceneHeight - 1 - 267, 0, 0);
    EXPECT_FALSE(image->IsVisible());
    // Released elsewhere, it does nothing.
    image->ShowBlank();
    renderer->OnButtonDown(0, 10, kSceneHeight - 1 - 267, 0, 0);
    renderer->OnButtonUp(0, 100, kSceneHeight - 1 - 100, 0, 0);
    EXPECT_TRUE(image->IsVisible());
}

TEST_F(ImageControlBarTest, WithoutAtlasPlatesNoCellIsOffered)
{
    TempDir dir;
    const std::string copy = dir.File("plateless");
    std::filesystem::copy(MicroAtlas(310)->GetPath(), copy, std::filesystem::copy_options::recursive);
    for (const auto& space : std::filesystem::directory_iterator(copy + "/Spaces"))
        for (const char* name : {"coronal_images.xml", "sagittal_images.xml"})
            std::filesystem::remove(space.path() / name);
    MakeScene(std::make_shared<Atlas>(copy), kSceneWidth, kSceneHeight);
    const float middle[3] = {0.5f, 0.5f, 0.5f};
    model->SetProbeLocation(middle, Space(), false);
    ImageControlBar bar;
    bar.Create(renderer.get(), 0, 256, 256, 20);
    bar.CheckImagesAvailable();
    for (int cell = 0; cell < ImageControlBar::CELLS; ++cell)
        EXPECT_FALSE(bar.IsImageAvailable(cell)) << cell;
}

// A window moved to a screen scaled by 2: the bar's and the scene view's icons are drawn again with twice the
// texels at the same size as soon as they are next drawn.
TEST_F(ImageControlBarTest, IconsFollowAMoveToAScreenOfAnotherScale)
{
    MakeScene(Installed(310), kSceneWidth, kSceneHeight);
    ImageControlBar bar;
    bar.Create(renderer.get(), 0, 256, 256, 20);
    BrainSceneView& view = View(0);
    struct Case
    {
        const char* what;
        GLTexture* icon;
    };
    const Case cases[] = {
        {"the bar's close box", bar.GetCloseButton().GetIconTexture()},
        {"the bar's pressed close box", bar.GetCloseButton().GetActiveIconTexture()},
        {"the bar's browser button", bar.GetBrowserButton().GetIconTexture()},
        {"the bar's pressed browser button", bar.GetBrowserButton().GetActiveIconTexture()},
        {"the view's zoom button", view.GetZoomButton().GetIconTexture()},
        {"the view's close box", view.GetCloseButton().GetIconTexture()},
        {"the view's pressed close box", view.GetCloseButton().GetActiveIconTexture()},
    };
    std::vector<int> sizes;
    for (const Case& c : cases)
        sizes.push_back(c.icon->GetWidth());
    for (const double ratio : {2.0, 1.0})
    {
        display->pixelRatio = ratio;
        for (std::size_t i = 0; i < std::size(cases); ++i)
        {
            GLTexture& icon = *cases[i].icon;
            icon.Draw(0, 0);
            EXPECT_EQ(icon.GetTexelScale(), ratio) << cases[i].what;
            EXPECT_EQ(icon.GetWidth(), static_cast<int>(sizes[i] * ratio)) << cases[i].what;
            EXPECT_EQ(icon.GetDrawWidth(), sizes[i]) << cases[i].what;
        }
    }
}

} // namespace
