// The threshold plot and the ray-cast volume as users see them: a real GL view on the X server (Xvfb in
// the tests) showing atlas 310 with one data set, read back pixel by pixel. CMake runs the plot's case at
// screen scale 2 as well: the plot is laid out and handled in logical pixels, the frame holds device pixels.

#include "SceneSupport.h"

#include "TestSupport.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "atlas/BrainOntology.h"
#include "core/MemoryDefaultsStore.h"
#include "core/PlatformHooks.h"
#include "core/ResourcePath.h"
#include "core/UserPreferences.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "gl/support/GLTestWindow.h"
#include "gl/support/GLTestContext.h"
#include "gl/support/RatioTwin.h"
#include "platform/EventLoopSupport.h"
#include "scene/BrainSceneRenderer.h"
#include "scene/BrainSceneView.h"
#include "scene/ExpressionThresholdControl.h"
#include "scene/VolumeRenderer.h"

#include <QApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace
{

using namespace scenetest;

constexpr int kWidth = 640;
constexpr int kHeight = 480;

class ThresholdWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
#ifndef CORVANE_ATLASGEN
        GTEST_SKIP() << "the atlas generator is not part of this build";
#endif
        GLTestContext::Instance(); // the application object
        store.SetValue("UserAtlasPath", InstalledAtlasRoot());
    }

    void Open(bool volumeRendering)
    {
        store.SetValue("VolumeRenderingActive", volumeRendering ? "1" : "0");
        PlatformHooks::SetDefaultsStore(&store);
        UserPreferences::ResetPreferences();
        ResourcePath::ClearCache();
        AtlasSet::GetAtlases()->Reload();
        model = std::make_unique<BrainExpressionModel>(AtlasSet::GetAtlasWithId(310));
        const BrainOntology& ontology = *model->GetAtlas()->GetOntology();
        model->SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
        model->SetStructureSelector(BrainExpressionModel::Selector(ontology.GetNumLabels(), false), false);
        model->SetExpressionSelector(BrainExpressionModel::Selector(ontology.GetNumLabels(), true), false);
        for (int plane = 0; plane < 3; ++plane)
            model->SetMPRPlaneVisible(Image3dPlane::Plane(plane), false, false);
        ASSERT_TRUE(window.Open(kWidth, kHeight));
        renderer = std::make_unique<BrainSceneRenderer>(window.wrapper.get(), model.get(), nullptr, nullptr);
        window.Attach(*renderer);
        unsigned short value = 0;
        const std::string bytes = StructureGridBytes(*model->GetAtlas(), value);
        gene = std::make_shared<GeneExpression>(bytes.data(), static_cast<unsigned long>(bytes.size()));
        model->AddGeneExpression(gene, false);
    }

    void TearDown() override
    {
        window.Detach();
        renderer.reset();
        model.reset();
        gene.reset();
        window.Close();
        PlatformHooks::SetDefaultsStore(nullptr);
        UserPreferences::ResetPreferences();
    }

    // The pixel at an overlay position (logical, row from the bottom): the device pixel at its centre.
    static QColor At(const QImage& image, int x, int row)
    {
        const auto centre = [](int logical) { return int(std::floor((logical + 0.5) * ratiotwin::Scale())); };
        return image.pixelColor(centre(x), image.height() - 1 - centre(row));
    }

    // A press, a drag and a release of the left button at overlay positions, as the window system sends them.
    void Drag(int x0, int row0, int x1, int row1)
    {
        const auto send = [&](QEvent::Type type, Qt::MouseButtons buttons, int x, int row) {
            const QPointF at(x, window.view->height() - 1 - row);
            QMouseEvent event(type, at, window.view->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
            QApplication::sendEvent(window.view.get(), &event);
        };
        send(QEvent::MouseButtonPress, Qt::LeftButton, x0, row0);
        send(QEvent::MouseMove, Qt::LeftButton, (x0 + x1) / 2, (row0 + row1) / 2);
        send(QEvent::MouseMove, Qt::LeftButton, x1, row1);
        send(QEvent::MouseButtonRelease, Qt::NoButton, x1, row1);
    }

    MemoryDefaultsStore store;
    std::unique_ptr<BrainExpressionModel> model;
    GLTestWindow window;
    std::unique_ptr<BrainSceneRenderer> renderer;
    std::shared_ptr<GeneExpression> gene;
};

TEST_F(ThresholdWindowTest, PlotAndItsRectangleOnScreen)
{
    Open(false);
    if (HasFatalFailure())
        return;
    model->SelectGene(gene.get(), true);
    model->ShowThresholdControls(true, true);
    model->SetExpressionLevelVisibilityThreshold(0, -1, false);
    model->SetExpressionDensityVisibilityThreshold(30, 70, false);
    ExpressionThresholdControl* control = renderer->GetActiveThresholdControl();
    ASSERT_TRUE(control);
    const QImage image = window.Capture();
    ASSERT_FALSE(image.isNull());
    const ExpressionThresholdControl::Rect r = control->GetROI();
    // The rectangle's outline is white; the panel around the plot is the dark grey (0.1) of its background.
    for (const auto& [x, row] : {std::make_pair(r.x0, (r.y0 + r.y1) / 2), std::make_pair(r.x1, (r.y0 + r.y1) / 2),
                                 std::make_pair((r.x0 + r.x1) / 2, r.y1)})
    {
        const QColor c = At(image, x, row);
        EXPECT_GE(c.red(), 250) << x << ", " << row;
        EXPECT_GE(c.blue(), 250) << x << ", " << row;
    }
    const QColor panel = At(image, kWidth - 180, 2);
    EXPECT_NEAR(26, panel.red(), 3);
    EXPECT_NEAR(26, panel.green(), 3);
    // The data set's dots: the structure's colour somewhere inside the plot, beside the colour scale.
    int dots = 0;
    for (int row = 22; row < 171; ++row)
        for (int x = kWidth - 155; x < kWidth - 10; ++x)
        {
            const QColor c = At(image, x, row);
            dots += c.red() != c.green() || c.green() != c.blue();
        }
    EXPECT_GT(dots, 0);
    // The pointer over the rectangle's corners and edges gets its cursor.
    EXPECT_EQ(Cursors::kResizeNWCursor, window.view->CursorAt(r.x0, kHeight - 1 - r.y1));
    EXPECT_EQ(Cursors::kResizeNECursor, window.view->CursorAt(r.x1, kHeight - 1 - r.y1));
    EXPECT_EQ(Cursors::kResizeLeftRightCursor, window.view->CursorAt(r.x1, kHeight - 1 - (r.y0 + r.y1) / 2));
    EXPECT_EQ(Cursors::kMoveCursor, window.view->CursorAt((r.x0 + r.x1) / 2, kHeight - 1 - (r.y0 + r.y1) / 2));
    EXPECT_EQ(Cursors::kArrowCursor, window.view->CursorAt(10, 10));

    // The rectangle's right edge, dragged by the pointer where it shows, narrows it by as many pixels.
    const int mid = (r.y0 + r.y1) / 2;
    Drag(r.x1, mid, r.x1 - 20, mid);
    const ExpressionThresholdControl::Rect dragged = control->GetROI();
    EXPECT_EQ(dragged.x1, r.x1 - 20);
    EXPECT_EQ(dragged.x0, r.x0);
    EXPECT_LT(model->GetExpressionDensityVisibilityThreshold().max, 70.0f);

    // The arrow head of the rectangle's left side, standing over the low density label, stays clear above
    // the label's text, whose top is that of every digit in it.
    model->SetExpressionDensityVisibilityThreshold(15, -1, false);
    const QImage labelled = window.Capture();
    const ExpressionThresholdControl::Rect low = control->GetROI();
    int textTop = -1, arrowBottom = low.y0;
    for (int x = kWidth - 156; x <= low.x0 + 20; ++x)
        for (int row = 0; row < low.y0; ++row)
        {
            const QColor c = At(labelled, x, row);
            if (c.red() > 200 && c.green() > 200 && c.blue() < 80)
                arrowBottom = std::min(arrowBottom, row);
            else if (c.red() == c.green() && c.green() == c.blue() && c.red() > 150)
                textTop = std::max(textTop, row);
        }
    EXPECT_GE(textTop, 0) << "no label text under the arrow";
    // At least one row of the panel shows between them.
    EXPECT_LT(textTop + 1, arrowBottom);
    // The arrow head of the right side, at the axis's end, stands whole in the view with panel beyond it.
    int arrowRight = -1;
    for (int x = low.x1; x < kWidth; ++x)
        for (int row = 0; row < low.y0; ++row)
        {
            const QColor c = At(labelled, x, row);
            if (c.red() > 200 && c.green() > 200 && c.blue() < 80)
                arrowRight = x;
        }
    EXPECT_GE(arrowRight, low.x1 + 3);
    EXPECT_LE(arrowRight, kWidth - 3);

    // The panel covers what the plot reports. The attribution line stays readable on its left, clear of it
    // in a window too narrow for both.
    for (const int width : {kWidth, 360})
    {
        window.view->resize(width, kHeight);
        const QImage shown = window.Capture();
        const int left = width - control->GetWidth(), top = control->GetHeight();
        EXPECT_NEAR(26, At(shown, left, 2).red(), 3) << width;
        EXPECT_LT(At(shown, left - 1, 2).red(), 10) << width;
        EXPECT_NEAR(26, At(shown, width - 3, top - 1).red(), 3) << width;
        EXPECT_LT(At(shown, width - 3, top).red(), 10) << width;
        // Text under the panel shows dimmed, yet brighter than the panel.
        int over = 0, beside = 0;
        for (int row = 0; row < 20; ++row)
            for (int x = 5; x < left + 20; ++x)
                (x < left ? beside : over) += At(shown, x, row).red() > (x < left ? 100 : 40);
        EXPECT_EQ(0, over) << width;
        EXPECT_GT(beside, 20) << width;
    }

    // In a scene as short as the window gets, the compass's corner reaches down over the plot, which is
    // drawn on top of it: a press on the rectangle's top edge there moves the threshold, not the view.
    window.view->resize(kWidth, 240);
    model->SetCompassLocation(BrainExpressionModel::COMPASS_IN_CORNER, true);
    window.Capture();
    const auto turn = [&] { return std::vector<float>(model->GetRotation(), model->GetRotation() + 4); };
    const std::vector<float> before = turn();
    const ExpressionThresholdControl::Rect high = control->GetROI();
    ASSERT_GT(high.y1, 240 - renderer->GetCompassSize());
    Drag((high.x0 + high.x1) / 2, high.y1, (high.x0 + high.x1) / 2, high.y1 - 30);
    EXPECT_EQ(high.y1 - 30, control->GetROI().y1);
    EXPECT_EQ(before, turn());
}

TEST_F(ThresholdWindowTest, VolumeShowsInTheWindow)
{
    Open(true);
    if (HasFatalFailure())
        return;
    BrainSceneView& scene = *renderer->GetViews().front();
    ASSERT_TRUE(scene.GetVolumeRenderer());
    ASSERT_TRUE(scene.GetVolumeRenderer()->GetCurrentVolume());
    // Only the volume: no glyphs.
    model->SetExpressionDensityVisibilityThreshold(0, 0, false);
    model->SetExpressionLevelVisibilityThreshold(1e9f, -1, false);
    scene.RegenerateExpressionDisplays();
    const QImage with = window.Capture();
    ASSERT_TRUE(window.wrapper->MakeCurrent());
    // The glyphs' box in the frame's device pixels, and in the logical pixels of overlays and the pointer.
    std::array<double, 4> box = GlyphScreenBox(scene, *gene);
    for (double& edge : box)
        edge /= ratiotwin::Scale();
    const int cx = int((box[0] + box[2]) / 2), cy = int((box[1] + box[3]) / 2);
    // Over the structure the projection is coloured, and its depth is that of the volume, read off screen.
    int lit = 0;
    for (int row = int(box[1]); row <= int(box[3]); ++row)
        for (int x = int(box[0]); x <= int(box[2]); ++x)
        {
            const QColor c = At(with, x, row);
            lit += c.red() + c.green() + c.blue() > 30;
        }
    EXPECT_GT(lit, 20);
    float depth = 1.0f;
    for (int dy = -3; dy <= 3 && depth == 1.0f; ++dy)
        for (int dx = -3; dx <= 3 && depth == 1.0f; ++dx)
            depth = scene.GetVolumeRenderer()->GetDepth(cx + dx, cy + dy);
    EXPECT_GT(depth, 0.0f);
    EXPECT_LT(depth, 1.0f);
    EXPECT_EQ(1.0f, scene.GetVolumeRenderer()->GetDepth(2, 2));
    // Without the volume those pixels are dark again.
    scene.GetVolumeRenderer()->EraseVolume();
    const QImage without = window.Capture();
    int still = 0;
    for (int row = int(box[1]); row <= int(box[3]); ++row)
        for (int x = int(box[0]); x <= int(box[2]); ++x)
        {
            const QColor c = At(without, x, row);
            still += c.red() + c.green() + c.blue() > 30;
        }
    EXPECT_LT(still, lit / 4);
}

} // namespace
