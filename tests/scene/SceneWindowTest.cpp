// The scene as users see it: a real GL view on the X server (Xvfb in the tests) showing the generator's
// atlas 310, captured from its framebuffer and checked with ImageMagick.

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
#include "gl/GLView.h"
#include "gl/GLViewWrapper.h"
#include "gl/support/GLTestContext.h"
#include "platform/EventLoopSupport.h"
#include "scene/BrainSceneRenderer.h"
#include "scene/BrainSceneView.h"

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
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
    {
        ADD_FAILURE() << "cannot run " << command;
        return output;
    }
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, count);
    pclose(pipe);
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

        view = std::make_unique<GLView>();
        view->resize(kWidth, kHeight);
        view->move(40, 40);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        wrapper = std::make_unique<GLViewWrapper>(view.get());
        ASSERT_TRUE(wrapper->MakeCurrent());
        renderer = std::make_unique<BrainSceneRenderer>(wrapper.get(), model.get(), nullptr, nullptr);
        wrapper->SetRenderer(renderer.get());
        wrapper->SetMouseListener(renderer.get());
        wrapper->SetKeyListener(renderer.get());
    }

    void TearDown() override
    {
        if (wrapper)
        {
            wrapper->SetRenderer(nullptr);
            wrapper->MakeCurrent();
        }
        renderer.reset();
        model.reset();
        gene.reset();
        wrapper.reset();
        view.reset();
        PlatformHooks::SetDefaultsStore(nullptr);
        UserPreferences::ResetPreferences();
    }

    // The frame as the view shows it now, saved as a PNG file.
    std::string Capture(const std::string& name)
    {
        view->update();
        RunEventsFor(150);
        // The framebuffer's bytes as the screen shows them (opaque).
        const QImage frame = view->GetImageData();
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
    std::unique_ptr<GLView> view;
    std::unique_ptr<GLViewWrapper> wrapper;
    std::unique_ptr<BrainSceneRenderer> renderer;
    std::shared_ptr<GeneExpression> gene;
};

TEST_F(SceneWindowTest, TranslucentMeshesAndTheDataSetOnScreen)
{
    const std::string without = Capture("without.png");
    EXPECT_EQ(std::to_string(kWidth) + " " + std::to_string(kHeight),
              Output("identify -format '%w %h' '" + without + "'"));
    // Share of pixels that the meshes light (anything not black).
    const double meshShare =
        std::stod(Output("convert '" + without + "' -fill white +opaque black -format '%[fx:mean]' info:"));
    EXPECT_GT(meshShare, 0.15);
    EXPECT_LT(meshShare, 0.95);

    AddDataSet();
    const std::string with = Capture("with.png");
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

    ASSERT_TRUE(wrapper->MakeCurrent());
    const std::array<double, 4> box = GlyphScreenBox(*renderer->GetViews().front(), *gene);
    // Image rows count from the top.
    const double top = kHeight - 1 - box[3];
    const double bottom = kHeight - 1 - box[1];
    EXPECT_GE(x, box[0] - 1);
    EXPECT_LE(x + w - 1, box[2] + 1);
    EXPECT_GE(y, top - 1);
    EXPECT_LE(y + h - 1, bottom + 1);
}

} // namespace
