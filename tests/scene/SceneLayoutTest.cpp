#include "SceneFixture.h"

#include "gl/DevicePixels.h"
#include "gl/TabControlRenderer.h"
#include "gl/TimerListener.h"
#include "gl/support/RecordingTextBox.h"
#include "scene/KestRenderer.h"
#include "scene/OverlayLayout.h"
#include "scene/PointSetRenderer.h"
#include "scene/ProbTrackRenderer.h"
#include "scene/ProbeMouseTool.h"
#include "scene/ProjectionMapRenderer.h"
#include "scene/TiledImage.h"
#include "scene/VolumeRenderer.h"
#include "scene/WaxholmKestRenderer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>
#include <utility>

namespace
{

using namespace scenetest;

using Rect = std::array<int, 4>;

Rect RectOf(const BrainSceneView& view)
{
    return {view.GetOriginX(), view.GetOriginY(), view.GetWidth(), view.GetHeight()};
}

TEST(SceneLayout, GridIsTheRowCountWithTheSquarestCells)
{
    struct Case
    {
        int views, width, height;
        int rows, columns, cellWidth, cellHeight;
    };
    const Case cases[] = {
        {1, 640, 480, 1, 1, 640, 480},
        // One row scores |1 - 333/500| = 0.334, two rows |1 - 500/250| = 1.
        {3, 1000, 500, 1, 3, 333, 500},
        {4, 600, 600, 2, 2, 300, 300},
        {2, 300, 600, 2, 1, 300, 300},
        // Equal scores keep the first row count.
        {2, 200, 100, 1, 2, 100, 100},
        // Rows whose cells would be no pixel high are never chosen.
        {3, 10, 2, 1, 3, 3, 2},
        {3, 30, 2, 1, 3, 10, 2},
        {2, 100, 1, 1, 2, 50, 1},
        // Nothing fits at all.
        {2, 100, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.views) + " in " + std::to_string(c.width) + " x " + std::to_string(c.height));
        const BrainSceneRenderer::Grid grid = BrainSceneRenderer::LayoutGrid(c.views, c.width, c.height);
        EXPECT_EQ(c.rows, grid.rows);
        EXPECT_EQ(c.columns, grid.columns);
        EXPECT_EQ(c.cellWidth, grid.cellWidth);
        EXPECT_EQ(c.cellHeight, grid.cellHeight);
    }
}

// What a scene shows, for the overlay layout's table.
struct Showing
{
    bool image, plot, level, twoSpaces, donors, tabs;
};

// A scene's overlay as the renderer describes it, with texts measured as a font of `lineHeight` would.
OverlayLayout::Shown Describe(int width, int height, int lineHeight, const Showing& s)
{
    OverlayLayout::Shown shown;
    shown.tabHeight = s.tabs ? 22 : 0;
    shown.lineHeight = lineHeight;
    const int spaces = s.twoSpaces ? 2 : 1;
    const BrainSceneRenderer::Grid grid = BrainSceneRenderer::LayoutGrid(spaces, width, height - shown.tabHeight);
    shown.compassSide = static_cast<int>(std::ceil(std::clamp(0.33f * grid.cellWidth, 90.0f, 180.0f)));
    shown.names = s.twoSpaces;
    for (int k = 0; k < spaces && grid.rows > 0; ++k)
    {
        const int x = k % grid.columns * grid.cellWidth, y = (grid.rows - 1 - k / grid.columns) * grid.cellHeight;
        shown.views.push_back({OverlayRect{x, y, x + grid.cellWidth, y + grid.cellHeight}, 42, s.donors});
    }
    shown.chartTitleWidth = 150;
    if (s.plot)
        std::tie(shown.controlWidth, shown.controlBottom, shown.controlTop) =
            std::tuple{185 + lineHeight, 0, 170 + lineHeight};
    if (s.level)
        std::tie(shown.controlWidth, shown.controlBottom, shown.controlTop) = std::tuple{290, 8, lineHeight + 32};
    shown.sectionImage = s.image;
    shown.insetWidth = 114;
    shown.insetHeight = 80;
    shown.attributionWidth = 7 * 62;
    shown.selectionWidth = 7 * 40;
    shown.selectionLines = [](int at) { return 5 * ((7 * 40 + at - 1) / std::max(at, 1)); };
    return shown;
}

// The overlay's pieces over sizes from the scene's smallest to 2560 x 1600 (device pixels), short and wide,
// tall and narrow, at each ratio and with each combination of what shows. Every piece lies in the scene
// under the tab bar, none comes near another, a piece gives way only to those before it in the layout's
// order, the shortened texts keep a readable length, and a press lands on the piece drawn there.
TEST(SceneLayout, OverlayPiecesNeverMeetAtAnySize)
{
    const std::pair<int, int> sizes[] = {{320, 240},  {552, 347},  {660, 820},   {1000, 400}, {1366, 768},
                                         {2560, 300}, {400, 1600}, {1600, 1000}, {2560, 1600}};
    int laidOut = 0;
    for (const auto& [deviceWidth, deviceHeight] : sizes)
        for (const double ratio : {1.0, 1.25, 1.5, 2.0})
            for (int bits = 0; bits < 64; ++bits)
            {
                const Showing s{(bits & 1) != 0, (bits & 6) == 2,  (bits & 6) == 4,
                                (bits & 8) != 0, (bits & 16) != 0, (bits & 32) != 0};
                if ((bits & 6) == 6 || (s.donors && !s.twoSpaces))
                    continue;
                SCOPED_TRACE(std::to_string(deviceWidth) + " x " + std::to_string(deviceHeight) + " at " +
                             std::to_string(ratio) + ", shown " + std::to_string(bits));
                const int width = DevicePixels(ratio).ToLogical(deviceWidth);
                const int height = DevicePixels(ratio).ToLogical(deviceHeight);
                const OverlayLayout::Shown shown = Describe(width, height, ratio == 1.0 ? 15 : 16, s);
                const OverlayLayout layout(deviceWidth, deviceHeight, ratio, shown);
                ++laidOut;
                const std::vector<OverlayLayout::Placed> pieces = layout.GetPieces();
                const OverlayRect scene{0, 0, width, height - shown.tabHeight};
                for (std::size_t i = 0; i < pieces.size(); ++i)
                {
                    const OverlayRect& r = pieces[i].rect;
                    SCOPED_TRACE("piece " + std::to_string(static_cast<int>(pieces[i].piece)));
                    EXPECT_FALSE(r.IsEmpty());
                    EXPECT_TRUE(r.left >= 0 && r.bottom >= 0 && r.right <= scene.right && r.top <= scene.top);
                    for (std::size_t j = i + 1; j < pieces.size(); ++j)
                        EXPECT_FALSE(r.Meets(pieces[j].rect)) << static_cast<int>(pieces[j].piece);
                    const OverlayLayout::Placed hit = layout.At((r.left + r.right) / 2, (r.bottom + r.top) / 2);
                    EXPECT_EQ(pieces[i].piece, hit.piece);
                    EXPECT_EQ(pieces[i].view, hit.view);
                }
                // The order of giving way: the image hides only where it does not fit the scene, the control
                // only where it would not fit beside the image, the compass shrinks only for those two.
                const bool imageFits = height - shown.tabHeight >= 276 && width >= 256;
                EXPECT_EQ(s.image && imageFits, !layout.GetImage().IsEmpty());
                const OverlayRect control = layout.GetControl();
                const bool controlFits = shown.controlTop <= scene.top && shown.controlWidth <= width &&
                                         (layout.GetImage().IsEmpty() || width - shown.controlWidth >= 261);
                EXPECT_EQ(shown.controlWidth > 0 && controlFits, !control.IsEmpty());
                const int side = layout.GetCompass().right - layout.GetCompass().left;
                EXPECT_TRUE(side >= std::min({shown.compassSide, width, scene.top}) || !control.IsEmpty() ||
                            !layout.GetImage().IsEmpty())
                    << side;
                const OverlayRect credit = layout.GetAttribution();
                EXPECT_TRUE(credit.IsEmpty() || credit.right - credit.left >= OverlayLayout::kReadableCharacters * 7);
                const OverlayRect text = layout.GetSelectionText();
                EXPECT_TRUE(text.IsEmpty() || text.right - text.left >= OverlayLayout::kReadableCharacters * 7);
                // Where the scene has room for all, all show.
                if (width >= 1200 && height >= 700)
                {
                    EXPECT_FALSE(credit.IsEmpty());
                    EXPECT_FALSE(text.IsEmpty());
                    EXPECT_EQ(shown.compassSide, side);
                    EXPECT_EQ(s.image, !layout.GetInset().IsEmpty());
                    for (int view = 0; view < static_cast<int>(shown.views.size()); ++view)
                    {
                        EXPECT_EQ(s.twoSpaces, !layout.GetName(view).IsEmpty()) << view;
                        EXPECT_EQ(s.donors, !layout.GetChartStrip(view).IsEmpty()) << view;
                    }
                }
            }
    EXPECT_EQ(9 * 4 * 36, laidOut);
}

// The cases seen in the program, each where the scene has room for every piece drawn.
TEST(SceneLayout, OverlayKeepsThePiecesSeenMeeting)
{
    struct Case
    {
        const char* seen;
        int width, height; // logical
        double ratio;
        Showing s;
    };
    const Case cases[] = {
        // The default window at scale 2 with the section image: the attribution stands above the image's bar.
        {"attribution", 330, 420, 2.0, {true, false, false, false, false, false}},
        {"attribution", 330, 420, 2.0, {true, true, false, true, false, true}},
        // The smallest window: the plot under the compass, which shrinks to stay above it.
        {"plot", 552, 347, 1.25, {false, true, false, false, false, true}},
        {"plot", 552, 347, 2.0, {false, true, false, false, false, true}},
        // Two donors at scale 1.5 on 1366 x 768: the charts, names and attribution all show, apart.
        {"donors", 552, 347, 1.5, {false, false, true, true, true, true}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.seen) + " " + std::to_string(c.ratio));
        const OverlayLayout::Shown shown = Describe(c.width, c.height, 16, c.s);
        const DevicePixels device(c.ratio);
        const OverlayLayout layout(device.ToDevice(c.width), device.ToDevice(c.height), c.ratio, shown);
        const OverlayRect credit = layout.GetAttribution();
        EXPECT_GE(credit.right - credit.left, OverlayLayout::kReadableCharacters * 7);
        EXPECT_FALSE(layout.GetSelectionText().IsEmpty());
        // The plot gives way to the image; beside it the compass shrinks to stand above it.
        EXPECT_EQ((c.s.plot || c.s.level) && !c.s.image, !layout.GetControl().IsEmpty());
        if (!layout.GetControl().IsEmpty())
        {
            EXPECT_GE(layout.GetCompass().bottom, layout.GetControl().top + OverlayLayout::kGap);
            EXPECT_GE(layout.GetCompass().right - layout.GetCompass().left, OverlayLayout::kLeastCompass);
        }
        for (int view = 0; view < static_cast<int>(shown.views.size()); ++view)
        {
            // The names stand in their views' top rows, beside the compass rather than under it.
            EXPECT_EQ(c.s.twoSpaces ? c.height - shown.tabHeight - OverlayLayout::kGap : 0, layout.GetName(view).top)
                << view;
            EXPECT_EQ(c.s.donors, !layout.GetChartStrip(view).IsEmpty()) << view;
            const OverlayRect chart = layout.GetChartStrip(view);
            EXPECT_FALSE(chart.Meets(layout.GetSelectionCover())) << view;
        }
    }
}

class SceneLayoutTest : public SceneTest
{};

TEST_F(SceneLayoutTest, ReshapePlacesTheViewsCompassNamesSelectionAndAttributionApart)
{
    MakeScene(Installed(350));
    ASSERT_EQ(2u, renderer->GetViews().size());
    struct Case
    {
        int width, height;
        Rect first, second;
        float compass;
        bool image = false;
        // The attribution has room beside the plot.
        bool credited = true;
    };
    const Case cases[] = {
        {640, 480, {0, 0, 320, 480}, {320, 0, 320, 480}, 0.33f * 320},
        {1000, 500, {0, 0, 500, 500}, {500, 0, 500, 500}, 165.0f},
        // Clamped at both ends.
        {2000, 400, {0, 0, 1000, 400}, {1000, 0, 1000, 400}, 180.0f},
        // Above the section image's bar the attribution would cross the box.
        {640, 380, {0, 0, 320, 380}, {320, 0, 320, 380}, 0.33f * 320, true},
        {200, 400, {0, 200, 200, 200}, {0, 0, 200, 200}, 90.0f, false, false},
        // The default window at scale 2 with the section image, which the plot gives way to.
        {330, 420, {0, 210, 330, 210}, {0, 0, 330, 210}, 0.33f * 330, true},
        // The smallest scene: the second space's name would run into the compass.
        {320, 240, {0, 0, 160, 240}, {160, 0, 160, 240}, 90.0f},
        // Short and narrow: the names clear the compass, the selection's box would not.
        {440, 200, {0, 0, 220, 200}, {220, 0, 220, 200}, 90.0f},
        // The smallest window at scale 2: the box would run under the threshold plot.
        {320, 218, {0, 0, 160, 218}, {160, 0, 160, 218}, 90.0f},
    };
    model->ShowThresholdControls(true, false);
    const std::shared_ptr<HandDataSet> gene = NewDataSet(1);
    gene->Add(30, 20, 29, 100, 500, Label("RSA"));
    gene->Finish(Ontology());
    model->SelectGene(&AddDataSet(gene), true);
    model->SelectStructure(Label("RSA"), true);
    const std::string selection = display->textBoxes[0]->text;
    const int lines = 1 + std::count(selection.begin(), selection.end(), '\n');
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        c.image ? renderer->GetSectionImage()->ShowBlank() : renderer->GetSectionImage()->Hide();
        display->Resize(c.width, c.height);
        display->Display();
        // The selection's box shows all of it, clear of the compass and the plot, and the attribution clear
        // of all three.
        const auto box = *std::find_if(display->textBoxes.rbegin(), display->textBoxes.rend(),
                                       [](const auto& r) { return !r->deleted && r->background; });
        const auto [x, y] = box->draws.back();
        const int right = x + std::min<int>(box->width, RecordingTextBox::kCharacterWidth * selection.size()) + 12;
        const int top = y + box->lines * RecordingTextBox::kLineHeight;
        const OverlayRect cover{x - 6, top - std::min(lines, box->lines) * RecordingTextBox::kLineHeight - 4, right,
                                top + 4};
        const TextBoxRecord& credit = *display->FindTextBox(model->GetAtlas()->GetAttribution());
        const auto [left, bottom] = credit.draws.back();
        const OverlayRect line{left, bottom, left + credit.width, bottom + RecordingTextBox::kLineHeight};
        EXPECT_EQ(selection, box->text);
        const OverlayRect compass = renderer->GetCompassRect(), plot = renderer->GetControlRect();
        EXPECT_FALSE(cover.Meets(compass) || cover.Meets(plot)) << right;
        // Drawn where there is room, and then at a readable length, clear of the box, compass and plot.
        EXPECT_EQ(c.credited, !renderer->GetLayout().GetAttribution().IsEmpty());
        if (c.credited)
        {
            EXPECT_GE(credit.width, OverlayLayout::kReadableCharacters * RecordingTextBox::kCharacterWidth);
            EXPECT_FALSE(line.Meets(compass) || line.Meets(plot) || line.Meets(cover) || line.top > c.height) << left;
        }
        EXPECT_EQ(c.first, RectOf(View(0)));
        EXPECT_EQ(c.second, RectOf(View(1)));
        EXPECT_FLOAT_EQ(c.compass, renderer->GetCompassSize());
        // Each space's name drawn stays clear of the compass's square.
        for (int i = 0; i < 2; ++i)
        {
            GLTextBox& name = *View(i).GetNameLabel();
            int x = 0, y = 0;
            if (!View(i).GetNamePanelOrigin(x, y))
                continue;
            const int left = x + (name.GetWidth() - name.GetTextWidth()) / 2;
            EXPECT_FALSE(compass.Meets(OverlayRect{left, y, left + name.GetTextWidth(), y + name.GetHeight()})) << i;
        }
    }
    // Away from the corner the compass keeps its last size, and its corner takes no move.
    model->SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
    renderer->Reshape(1000, 500);
    EXPECT_FLOAT_EQ(90.0f, renderer->GetCompassSize());
    renderer->OnMouseMove(995, 5, 0, 0);
    EXPECT_FALSE(renderer->CompassHovered());
    EXPECT_EQ((Rect{0, 0, 500, 500}), RectOf(View(0)));
    // Back in the corner it takes the next move, drawn or not.
    model->SetCompassLocation(BrainExpressionModel::COMPASS_IN_CORNER, false);
    renderer->OnMouseMove(995, 5, 0, 0);
    EXPECT_TRUE(renderer->CompassHovered());
}

TEST_F(SceneLayoutTest, NoLayoutWithoutRoomUnderTheTabBar)
{
    display = std::make_unique<RecordingDisplay>(640, 480);
    TabControlRenderer tabs(display.get(), nullptr);
    tabs.AddTab("Detail View", false, nullptr);
    tabs.AddTab("Search", true, nullptr);
    MakeScene(Installed(350), 640, 480, &tabs);
    // The bar takes 22 pixels off the top, and the compass stands under it.
    EXPECT_EQ((Rect{0, 0, 320, 458}), RectOf(View(0)));
    for (const auto& [y, hover] : {std::pair{5, false}, std::pair{120, true}})
    {
        renderer->OnMouseMove(635, y, 0, 0);
        EXPECT_EQ(hover, renderer->CompassHovered()) << y;
    }
    for (int height : {22, 10, 0})
    {
        renderer->Reshape(640, height);
        EXPECT_EQ((Rect{0, 0, 320, 458}), RectOf(View(0))) << height;
    }
    renderer->Reshape(640, 23);
    EXPECT_EQ((Rect{0, 0, 320, 1}), RectOf(View(0)));
    renderer.reset();
}

TEST_F(SceneLayoutTest, FindSubViewAndZoomToSubview)
{
    MakeScene(Installed(350));
    struct Case
    {
        int x, y, view;
    };
    // y from the top: a view holds rows origin < height - y <= origin + height.
    const Case cases[] = {{0, 0, 0},      {319, 240, 0}, {320, 240, 1}, {639, 479, 1},
                          {640, 240, -1}, {10, 480, -1}, {-1, 10, -1}};
    for (const Case& c : cases)
    {
        BrainSceneView* found = renderer->FindSubView(c.x, c.y);
        EXPECT_EQ(c.view < 0 ? nullptr : &View(c.view), found) << c.x << "," << c.y;
    }
    display->invalidateCount = 0;
    renderer->ZoomToSubview(&View(1));
    EXPECT_FALSE(View(0).IsVisible());
    EXPECT_EQ(1, renderer->GetNumVisibleAtlasSpaces());
    EXPECT_EQ(View(1).GetAtlasSpace(), renderer->GetVisibleAtlasSpace(0));
    EXPECT_EQ(nullptr, renderer->GetVisibleAtlasSpace(1));
    EXPECT_FALSE(renderer->AllSpacesVisible());
    EXPECT_EQ((Rect{0, 0, 640, 480}), RectOf(View(1)));
    EXPECT_EQ(&View(1), renderer->FindSubView(10, 10));
    // The only view shown has no zoom button.
    EXPECT_FALSE(View(1).GetZoomButton().IsEnabled());
    EXPECT_EQ(1, display->invalidateCount);
    renderer->ZoomToSubview(nullptr);
    EXPECT_TRUE(renderer->AllSpacesVisible());
    EXPECT_TRUE(View(1).GetZoomButton().IsEnabled());
    EXPECT_EQ((Rect{320, 0, 320, 480}), RectOf(View(1)));
}

TEST_F(SceneLayoutTest, AtlasSpacesKnowTheirPlace)
{
    MakeScene(Installed(350));
    EXPECT_EQ(0, Space(0)->GetIndex());
    EXPECT_EQ(1, Space(1)->GetIndex());
}

// Pointer positions from the top left of the button's middle.
struct Pointer
{
    int x, y;
};

Pointer Middle(GLTextureButton& button, int windowHeight)
{
    return {button.GetOriginX() + button.GetWidth() / 2, windowHeight - 1 - (button.GetOriginY() + 8)};
}

TEST_F(SceneLayoutTest, HoverShowsTheButtonsAcrossTheTitleBand)
{
    MakeScene(Installed(350));
    BrainSceneView& view = View(0);
    const int closeY = view.GetCloseButton().GetOriginY();
    struct Case
    {
        int row; // GL row
        bool shown;
    };
    const Case cases[] = {
        {closeY - 11, true}, {closeY + 16 + 11, true}, {closeY - 12, false}, {closeY + 16 + 12, false}, {closeY, true}};
    for (const Case& c : cases)
    {
        view.OnMouseLeave(0);
        display->invalidateCount = 0;
        // Any column at the band's height counts.
        const bool changed = view.OnMouseMove(3, 479 - c.row, 0, 0);
        EXPECT_EQ(c.shown, view.ButtonsShown()) << c.row;
        EXPECT_EQ(c.shown, changed) << c.row;
        EXPECT_EQ(c.shown ? 1 : 0, display->invalidateCount) << c.row;
    }
    // Leaving hides them again.
    view.OnMouseMove(3, 479 - closeY, 0, 0);
    EXPECT_TRUE(view.OnMouseLeave(0));
    EXPECT_FALSE(view.ButtonsShown());
    EXPECT_FALSE(view.OnMouseLeave(0));
}

TEST_F(SceneLayoutTest, ZoomAndCloseButtons)
{
    MakeScene(Installed(350));
    BrainSceneView& first = View(0);
    const Pointer zoom = Middle(first.GetZoomButton(), 480);
    // The close button sits 18 pixels left of the zoom button.
    EXPECT_EQ(first.GetZoomButton().GetOriginX() - 18, first.GetCloseButton().GetOriginX());
    ASSERT_TRUE(first.OnButtonDown(0, zoom.x, zoom.y, 0, 0));
    EXPECT_TRUE(first.GetZoomButton().IsHighlighted());
    // Dragging off and back changes the highlight.
    EXPECT_TRUE(first.OnMouseMove(zoom.x + 100, zoom.y, 0, 0));
    EXPECT_FALSE(first.GetZoomButton().IsHighlighted());
    EXPECT_FALSE(first.OnMouseMove(zoom.x + 101, zoom.y, 0, 0));
    EXPECT_TRUE(first.OnMouseMove(zoom.x, zoom.y, 0, 0));
    EXPECT_TRUE(first.OnButtonUp(0, zoom.x, zoom.y, 0, 0));
    EXPECT_FALSE(first.GetZoomButton().IsHighlighted());
    EXPECT_TRUE(first.IsVisible());
    EXPECT_FALSE(View(1).IsVisible());

    // Closing the last visible view shows every view again.
    renderer->Reshape(640, 480);
    const Pointer close = Middle(first.GetCloseButton(), 480);
    ASSERT_TRUE(first.OnButtonDown(0, close.x, close.y, 0, 0));
    first.OnButtonUp(0, close.x, close.y, 0, 0);
    EXPECT_TRUE(renderer->AllSpacesVisible());

    // Closing one of two leaves the other the whole window.
    const Pointer close2 = Middle(first.GetCloseButton(), 480);
    ASSERT_TRUE(first.OnButtonDown(0, close2.x, close2.y, 0, 0));
    first.OnButtonUp(0, close2.x, close2.y, 0, 0);
    EXPECT_FALSE(first.IsVisible());
    EXPECT_EQ((Rect{0, 0, 640, 480}), RectOf(View(1)));

    // A release away from the button does nothing but end the press.
    ASSERT_TRUE(View(1).OnButtonDown(0, Middle(View(1).GetCloseButton(), 480).x,
                                     Middle(View(1).GetCloseButton(), 480).y, 0, 0));
    EXPECT_TRUE(View(1).OnButtonUp(0, 5, 5, 0, 0));
    EXPECT_TRUE(View(1).IsVisible());
}

TEST_F(SceneLayoutTest, OneSpaceDrawsNoButtonsAndTakesNoClickOnThem)
{
    MakeScene(Installed(310));
    BrainSceneView& view = View(0);
    const Pointer close = Middle(view.GetCloseButton(), 480);
    EXPECT_FALSE(view.OnButtonDown(0, close.x, close.y, 0, 0));
    view.OnButtonUp(0, close.x, close.y, 0, 0);
    EXPECT_TRUE(view.IsVisible());
    EXPECT_FALSE(view.GetCloseButton().IsHighlighted());
}

// The layers that construction makes, by atlas id and the volume-rendering setting.
TEST_F(SceneLayoutTest, LayerMatrix)
{
    enum Correlation
    {
        kNone,
        kKest,
        kProbTrack,
        kWaxholm
    };
    struct Case
    {
        unsigned int id;
        bool volumeRendering;
        Correlation correlation;
        bool projection, volume;
    };
    const Case cases[] = {
        {310, false, kNone, false, false},    {350, false, kNone, false, false}, {310, true, kKest, true, true},
        {378, true, kKest, true, true},       {350, true, kKest, false, true},   {35100, true, kProbTrack, false, true},
        {50000, true, kWaxholm, false, true}, {42, true, kNone, false, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.id) + (c.volumeRendering ? " volume rendering" : ""));
        SetPreference("VolumeRenderingActive", c.volumeRendering ? "true" : "false");
        renderer.reset();
        MakeScene(MicroAtlas(c.id));
        for (const auto& view : renderer->GetViews())
        {
            KestRenderer* layer = view->GetCorrelationLayer().get();
            EXPECT_EQ(c.correlation == kNone, layer == nullptr);
            EXPECT_EQ(c.correlation == kProbTrack, dynamic_cast<ProbTrackRenderer*>(layer) != nullptr);
            EXPECT_EQ(c.correlation == kWaxholm, dynamic_cast<WaxholmKestRenderer*>(layer) != nullptr);
            EXPECT_EQ(c.projection, view->GetProjectionLayer() != nullptr);
            EXPECT_EQ(c.volume, view->GetVolumeRenderer() != nullptr);
            // Only a view with a correlation layer lets the probe be dragged.
            EXPECT_EQ(c.correlation != kNone, view->GetProbeTool()->CanDrag());
            EXPECT_TRUE(view->GetPointSetLayer());
            EXPECT_TRUE(view->GetSliceRenderer());
            EXPECT_TRUE(view->GetCuttingPlaneRenderer());
            EXPECT_FALSE(view->GetAtlasVolumeRenderer());
        }
    }
}

// An ontology without the pseudo-structures: no layer that they switch on exists.
TEST_F(SceneLayoutTest, PseudoStructuresTheOntologyLacksAreAbsent)
{
    SetPreference("VolumeRenderingActive", "true");
    const std::string folder = MicroAtlas(310)->GetPath();
    TempDir copy;
    std::filesystem::copy(folder, copy.File("310"), std::filesystem::copy_options::recursive);
    std::ifstream in(copy.File("310/ontology_v2.csv"));
    std::string line, kept;
    while (std::getline(in, line))
        if (line.find(",9999,") == std::string::npos && line.find(",10000,") == std::string::npos &&
            line.find(",10001,") == std::string::npos)
            kept += line + "\n";
    in.close();
    WriteWholeFile(copy.File("310/ontology_v2.csv"), kept);
    MakeScene(std::make_shared<Atlas>(copy.File("310")));
    BrainSceneView& view = View(0);
    EXPECT_FALSE(view.GetCorrelationLayer());
    EXPECT_FALSE(view.GetProjectionLayer());
    EXPECT_FALSE(view.GetVolumeRenderer());
    EXPECT_FALSE(view.GetPointSetLayer());
    for (unsigned long id : {9999ul, 10000ul, 10001ul})
    {
        EXPECT_FALSE(view.StructureExists(id));
        // The lookup answers "No Annotation" for what it lacks; that is never selected.
        EXPECT_FALSE(view.StructureSelected(id));
    }
    renderer.reset();
    model.reset();
}

TEST_F(SceneLayoutTest, TextBoxesAndTheFrameRateText)
{
    MakeScene(Installed(310));
    ASSERT_GE(display->textBoxes.size(), 5u);
    const int widths[] = {480, 40, 100, 400};
    const int lines[] = {9, 1, 1, 1};
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(widths[i], display->textBoxes[i]->width);
        EXPECT_EQ(lines[i], display->textBoxes[i]->lines);
    }
    EXPECT_TRUE(display->textBoxes[0]->background);
    EXPECT_EQ(model->GetAtlas()->GetAttribution(), display->textBoxes[3]->text);
    // The view's name label: 256 wide, centred.
    EXPECT_EQ(256, display->textBoxes[4]->width);
    EXPECT_EQ(GLTextBox::kAlignCenter, display->textBoxes[4]->alignment);
    EXPECT_EQ("P56", display->textBoxes[4]->text);

    const TextBoxRecord& rate = *display->textBoxes[1];
    renderer->ShowFrameRate(true);
    BrainSceneRenderer::ResetFrameRateClock();
    std::vector<std::size_t> changes;
    for (int frame = 0; frame < 25; ++frame)
    {
        display->Display();
        changes.push_back(rate.texts.size());
    }
    // The first sample and then every tenth.
    EXPECT_EQ(1u, changes[0]);
    EXPECT_EQ(1u, changes[9]);
    EXPECT_EQ(2u, changes[10]);
    EXPECT_EQ(2u, changes[19]);
    EXPECT_EQ(3u, changes[20]);
    EXPECT_EQ(3u, changes[24]);
    EXPECT_EQ(std::make_pair(640 - 35, 0), rate.draws.back());
}

TEST_F(SceneLayoutTest, SpinStopsAndRestartsWithTheSetting)
{
    MakeScene(Installed(310));
    UserPreferences& preferences = *UserPreferences::GetPreferences();
    preferences.SetAutoRotate(true);
    renderer->Animate(true);
    EXPECT_TRUE(display->TimerRunning());
    EXPECT_EQ(40u, display->GetTimerInterval());
    display->invalidateCount = 0;
    display->FireTimer(2);
    EXPECT_EQ(2, display->invalidateCount);
    // With the setting off, the timer stops and the flag follows it ...
    preferences.SetAutoRotate(false);
    renderer->Animate(true);
    EXPECT_FALSE(display->TimerRunning());
    EXPECT_FALSE(renderer->IsAnimating());
    // ... so that a later fling spins again.
    preferences.SetAutoRotate(true);
    renderer->Animate(true);
    EXPECT_TRUE(display->TimerRunning());
    renderer->SetActive(false);
    EXPECT_FALSE(display->TimerRunning());
    EXPECT_FALSE(renderer->IsAnimating());
}

} // namespace

namespace
{

// Copies of the small atlases with one file of an optional layer spoilt. Each layer that cannot be made is
// left out of its view with one log line naming what it read; the scene and the other layers stay.
TEST_F(SceneLayoutTest, ALayerThatCannotBeMadeIsLeftOut)
{
    SetPreference("VolumeRenderingActive", "true");
    TempDir copies;
    struct Case
    {
        unsigned int id;
        const char* file;    // under the space folder
        std::string content; // written in its place; empty: removed
        const char* named;   // in the log line, after the space folder
        const char* failure;
        bool correlation, projection;
    };
    const Case cases[] = {
        // Two sites announced, two bytes there.
        {310, "Afferents/100140756", std::string("\x02\0\0\0\x07\0", 6), "Afferents/100140756",
         "Error while reading file.", true, false},
        // A site count far beyond the file.
        {378, "Afferents/100140756", std::string("\xff\xff\xff\xff\0\0\0\0", 8), "Afferents/100140756",
         "Error while reading file.", true, false},
        {50000, "Transforms/AffineTransform.meta", "", "Transforms", "Could not create image resampler.", false, false},
    };
    int made = 0;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.id) + " " + c.file);
        const std::string folder = copies.File(std::to_string(made++));
        std::filesystem::copy(MicroAtlas(c.id)->GetPath(), folder, std::filesystem::copy_options::recursive);
        const std::string space = folder + "/Spaces/P56/";
        std::filesystem::remove(space + c.file);
        if (!c.content.empty())
            WriteWholeFile(space + c.file, c.content);
        renderer.reset();
        testing::internal::CaptureStderr();
        MakeScene(std::make_shared<Atlas>(folder), kWidth, kHeight);
        const std::string log = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(renderer);
        BrainSceneView& view = View(0);
        EXPECT_EQ(c.correlation, view.GetCorrelationLayer() != nullptr);
        EXPECT_EQ(c.correlation, view.GetProbeTool()->CanDrag());
        EXPECT_EQ(c.projection, view.GetProjectionLayer() != nullptr);
        EXPECT_TRUE(view.GetVolumeRenderer());
        EXPECT_TRUE(view.GetPointSetLayer());
        // One line, naming the file and saying what went wrong.
        EXPECT_EQ(1, std::count(log.begin(), log.end(), '\n')) << log;
        EXPECT_NE(std::string::npos, log.find(space + c.named)) << log;
        EXPECT_NE(std::string::npos, log.find(c.failure)) << log;
        if (c.id == 50000)
        {
            EXPECT_NE(std::string::npos, log.find(WaxholmKestRenderer::DefaultLibraryPath())) << log;
        }
        // The structures still draw.
        model->SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
        model->SetStructureSelector(Ontology().SelectorForLevel(1), false);
        display->Display();
        const std::vector<std::uint8_t> pixels = Framebuffer().ReadPixels();
        long lit = 0;
        for (std::size_t i = 0; i + 3 < pixels.size(); i += 4)
            lit += pixels[i] + pixels[i + 1] + pixels[i + 2] > 30;
        EXPECT_GT(lit, 1000) << log;
    }
}

} // namespace
