// The scene as users see it: a real GL view on the X server (Xvfb in the tests) showing the generator's
// atlas 310, captured from its framebuffer and checked with ImageMagick. CMake runs it at screen scale 1
// and 2: sizes and clicks are logical pixels, the frame holds device pixels, and at 2 it is the scale-1
// frame scaled by 2.

#include "SceneSupport.h"

#include "TestSupport.h"
#include "atlas/AnnotationLabel.h"
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
#include "scene/MPRRenderer.h"
#include "core/Image3dPlane.h"
#include "atlas/AtlasSpace.h"
#include "atlas/Colormap.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>

namespace
{

using namespace scenetest;

constexpr int kWidth = 400;
constexpr int kHeight = 300;

std::string Output(const std::string& command)
{
    int status = 0;
    const std::string output = CommandOutput(command, &status);
    if (status == -1)
        ADD_FAILURE() << "cannot run " << command;
    return output;
}

class SceneWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
#ifndef CORVANE_ATLASGEN
        GTEST_SKIP() << "the atlas generator is not part of this build";
#endif
        GLTestContext::Instance(); // the application object
        store.SetValue("UserAtlasPath", InstalledAtlasRoot());
        PlatformHooks::SetDefaultsStore(&store);
        UserPreferences::ResetPreferences();
        ResourcePath::ClearCache();
        AtlasSet::GetAtlases()->Reload();
        model = std::make_unique<BrainExpressionModel>(AtlasSet::GetAtlasWithId(310));
        const BrainOntology& ontology = *model->GetAtlas()->GetOntology();
        model->SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
        model->SetMeshDisplayStyle(BrainExpressionModel::TRANSLUCENT_MESHES, false);
        model->SetStructureSelector(ontology.GetAnnotationLabelByIndex(1)->childrenSelector, false);
        model->SetExpressionSelector(BrainExpressionModel::Selector(ontology.GetNumLabels(), true), false);
        model->SetGeneColorMode(0, false);
        model->SetExpressionWindow(0.0f, 255.0f, false);

        ASSERT_TRUE(window.Open(kWidth, kHeight));
        renderer = std::make_unique<BrainSceneRenderer>(window.wrapper.get(), model.get(), nullptr, nullptr);
        window.Attach(*renderer, true);
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

    // The frame as the view shows it now, saved as a PNG file.
    std::string Capture(const std::string& name)
    {
        // The framebuffer's bytes as the screen shows them (opaque).
        const QImage frame = window.Capture();
        const std::string path = dir.File(name);
        EXPECT_TRUE(frame.save(QString::fromStdString(path), "PNG")) << path;
        return path;
    }

    void AddDataSet()
    {
        unsigned short value = 0;
        const std::string bytes = StructureGridBytes(*model->GetAtlas(), value);
        gene = std::make_shared<GeneExpression>(bytes.data(), static_cast<unsigned long>(bytes.size()));
        model->AddGeneExpression(gene, false);
        model->SetGeneColor(0, 0.0f, 1.0f, 0.0f);
    }

    TempDir dir;
    MemoryDefaultsStore store;
    std::unique_ptr<BrainExpressionModel> model;
    GLTestWindow window;
    std::unique_ptr<BrainSceneRenderer> renderer;
    std::shared_ptr<GeneExpression> gene;
};

using ratiotwin::Device;

TEST_F(SceneWindowTest, TranslucentMeshesAndTheDataSetOnScreen)
{
    const std::string without = Capture("without.png");
    EXPECT_EQ(std::to_string(Device(kWidth)) + " " + std::to_string(Device(kHeight)),
              Output("identify -format '%w %h' '" + without + "'"));
    // Share of pixels that the meshes light (anything not black).
    const double meshShare =
        std::stod(Output("convert '" + without + "' -fill white +opaque black -format '%[fx:mean]' info:"));
    EXPECT_GT(meshShare, 0.15);
    EXPECT_LT(meshShare, 0.95);

    AddDataSet();
    const std::string with = Capture("with.png");
    if (ratiotwin::HandOver(QImage(QString::fromStdString(with))))
        return;
    if (ratiotwin::Scale() == 2.0)
    {
        // Meshes and glyphs at twice the pixels: the frame shrunk by 2 is the scale-1 frame but for edges.
        const QImage twin = ratiotwin::AtScaleOne("SceneWindowTest.TranslucentMeshesAndTheDataSetOnScreen", dir);
        ASSERT_EQ(twin.size(), QSize(kWidth, kHeight));
        const std::string one = dir.File("scale1.png");
        ASSERT_TRUE(twin.save(QString::fromStdString(one), "PNG"));
        const std::string error = Output("convert '" + with + "' -scale 50% '" + one +
                                         "' -compose difference -composite -colorspace gray "
                                         "-format '%[fx:mean]' info:");
        EXPECT_LT(std::stod(error), 0.02) << "mean difference from the scale-1 frame";
    }
    // The changed pixels, white on black, and the rectangle that holds them.
    const std::string diff = dir.File("diff.png");
    Output("compare -metric AE '" + with + "' '" + without +
           "' -compose src -highlight-color white -lowlight-color black '" + diff + "' 2>/dev/null");
    const double changed = std::stod(Output("convert '" + diff + "' -format '%[fx:mean*w*h]' info:"));
    EXPECT_GT(changed, 30.0);
    std::istringstream trim(Output("convert '" + diff + "' -format '%@' info:"));
    int w = 0, h = 0, x = 0, y = 0;
    char times = 0, plus1 = 0, plus2 = 0;
    trim >> w >> times >> h >> plus1 >> x >> plus2 >> y;
    ASSERT_TRUE(trim) << trim.str();

    ASSERT_TRUE(window.wrapper->MakeCurrent());
    const std::array<double, 4> box = GlyphScreenBox(*renderer->GetViews().front(), *gene);
    // The box is in the frame's device pixels; image rows count from the top.
    const double top = Device(kHeight) - 1 - box[3];
    const double bottom = Device(kHeight) - 1 - box[1];
    EXPECT_GE(x, box[0] - 1);
    EXPECT_LE(x + w - 1, box[2] + 1);
    EXPECT_GE(y, top - 1);
    EXPECT_LE(y + h - 1, bottom + 1);
}

} // namespace

namespace
{

// A voxel of the slice (u, v) amid a patch of its own structure, away from the bregma lines, so that the
// texture's filtering and the lines leave its colour alone.
bool UniformPatch(const std::vector<unsigned char>& annotation, const unsigned int* d, unsigned int k,
                  const int* bregma, unsigned int& u, unsigned int& v, unsigned short& value)
{
    const auto at = [&](unsigned int i, unsigned int j) {
        const std::size_t offset = i + std::size_t(d[0]) * (j + std::size_t(d[1]) * k);
        return static_cast<unsigned short>(annotation[2 * offset] | (annotation[2 * offset + 1] << 8));
    };
    for (unsigned int j = 4; j + 4 < d[1]; ++j)
        for (unsigned int i = 4; i + 4 < d[0]; ++i)
        {
            const unsigned short candidate = at(i, j);
            if (candidate == 0 || std::abs(int(i) - bregma[0]) < 5 || std::abs(int(j) - bregma[1]) < 5)
                continue;
            bool uniform = true;
            for (unsigned int b = j - 4; b <= j + 4 && uniform; ++b)
                for (unsigned int a = i - 4; a <= i + 4 && uniform; ++a)
                    uniform = at(a, b) == candidate;
            if (uniform)
            {
                u = i;
                v = j;
                value = candidate;
                return true;
            }
        }
    return false;
}

TEST_F(SceneWindowTest, AnnotationSliceOnScreenAndAClickOnItSelectsItsStructure)
{
    const BrainOntology& ontology = *model->GetAtlas()->GetOntology();
    model->SetStructureSelector(BrainExpressionModel::Selector(ontology.GetNumLabels(), false), false);
    model->SetAnnotationAlpha(1.0f, false);
    model->SetToolMode(BrainExpressionModel::PICK_TOOL);
    for (int p = 0; p < 3; ++p)
    {
        model->SetMPRPlaneVisible(static_cast<Image3dPlane::Plane>(p), p == 2, false);
        model->SetMPRSliceLocation(static_cast<Image3dPlane::Plane>(p), 0.5f, false);
    }
    AtlasSpace& space = *model->GetAtlas()->GetSpace(0u);
    const unsigned int* d = space.GetAtlasDimensions();
    const auto k = static_cast<unsigned int>(MPRRenderer::SliceIndex(0.5f * d[2], d[2]));
    unsigned int u = 0, v = 0;
    unsigned short value = 0;
    ASSERT_TRUE(
        UniformPatch(ReadWholeFile(space.GetPath() + "/Annotation"), d, k, space.GetAtlasBregma(), u, v, value));
    float s[3];
    for (int a = 0; a < 3; ++a)
        s[a] = space.GetAtlasResolution()[a] / space.GetViewResolution()[a];
    Capture("first.png"); // lays the view out
    ASSERT_TRUE(window.wrapper->MakeCurrent());
    const std::array<double, 2> at =
        ScreenPoint(*renderer->GetViews().front(), {(u + 0.5f) * s[0], (v + 0.5f) * s[1], 0.5f * d[2] * s[2]});
    // The frame's device pixel, and the logical point that the pointer clicks.
    const QPoint pixel(int(at[0]), Device(kHeight) - 1 - int(at[1]));
    ASSERT_TRUE(pixel.x() > 0 && pixel.x() < Device(kWidth) && pixel.y() > 0 && pixel.y() < Device(kHeight));
    const QPoint logical(int(pixel.x() / ratiotwin::Scale()), int(pixel.y() / ratiotwin::Scale()));

    // At full annotation alpha the slice shows the structure's colormap colour.
    const QImage frame(QString::fromStdString(Capture("slice.png")));
    const unsigned char* colour = &model->GetAtlas()->GetAnnotationColormap().entries[3 * value];
    const QColor shown = frame.pixelColor(pixel);
    EXPECT_NEAR(colour[0], shown.red(), 2);
    EXPECT_NEAR(colour[1], shown.green(), 2);
    EXPECT_NEAR(colour[2], shown.blue(), 2);

    QTest::mouseClick(window.view.get(), Qt::LeftButton, Qt::NoModifier, logical);
    RunEventsFor(50);
    EXPECT_EQ(ontology.GetAnnotationLabel(value), model->GetSelectedStructure());
}

} // namespace
