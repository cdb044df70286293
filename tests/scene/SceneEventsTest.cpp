#include "SceneFixture.h"

#include "scene/ExpressionRenderer.h"
#include "scene/ExpressionThresholdControl.h"
#include "scene/VolumeRenderer.h"

#include <functional>

namespace
{

using namespace scenetest;

// The scene's answer to every model event: what it does and whether it asks for a redraw. Each row starts
// from a scene of atlas 310 holding one data set whose glyph lists are compiled.
class SceneEventsTest : public SceneTest
{
public:
    void Start(bool volumeRendering)
    {
        SetPreference("VolumeRenderingActive", volumeRendering ? "true" : "false");
        renderer.reset();
        model.reset();
        display.reset();
        genes.clear();
        MakeScene(Installed(310));
        model->ShowThresholdControls(true, false);
        first = AddGridDataSet(1);
        display->Display();
        ASSERT_FALSE(Glyphs(*first).IsDirty());
    }

    // A data set with a few expressors in the cerebrum and a small volume grid.
    HandDataSet* AddGridDataSet(int experimentId)
    {
        std::shared_ptr<HandDataSet> gene = NewDataSet(experimentId);
        gene->Add(30, 20, 29, 100, 500, Label("CH"));
        gene->Add(31, 20, 29, 200, 500, Label("CH"));
        gene->Finish(Ontology());
        gene->SetGrid({1.0f, 2.0f, 3.0f});
        return &AddDataSet(gene);
    }

    ExpressionRenderer& Glyphs(const GeneExpression& gene)
    {
        const auto& entries = View(0).GetExpressionRenderers();
        const auto found = entries.find(const_cast<GeneExpression*>(&gene));
        if (found == entries.end())
            throw std::runtime_error("no glyphs for the data set");
        return *found->second;
    }

    // Tells the renderer alone, as the model would.
    void Tell(int code, int argument)
    {
        display->invalidateCount = 0;
        display->invalidateCursorRectsCount = 0;
        renderer->ModelChanged(code, model.get(), argument);
    }

    std::string InfoText() { return display->textBoxes[0]->text; }

    HandDataSet* first = nullptr;
};

TEST_F(SceneEventsTest, EveryEventAndItsRedraw)
{
    using Step = std::function<void(SceneEventsTest&)>;
    struct Row
    {
        const char* name;
        int code;
        int argument;
        bool volumeRendering;
        Step before;
        bool redraw;
        Step check;
    };
    const Step nothing = [](SceneEventsTest&) {};
    const Step dirty = [](SceneEventsTest& t) { EXPECT_TRUE(t.Glyphs(*t.first).IsDirty()); };
    const Step clean = [](SceneEventsTest& t) { EXPECT_FALSE(t.Glyphs(*t.first).IsDirty()); };
    const float q[4] = {0.0f, 0.0f, 0.38268343f, 0.92387953f};
    const Row rows[] = {
        {"expression selector", 1, 0, false, nothing, true, dirty},
        {"structure selector", 2, 0, false, nothing, true, dirty},
        {"slice moved", 5, 0, false, nothing, true, dirty},
        {"slice shown", 6, 0, false, nothing, true, clean},
        {"mesh style", 7, 0, false, nothing, true, clean},
        {"colour mode", 8, 0, false, [](SceneEventsTest& t) { t.model->SelectGene(t.first, false); }, true,
         [](SceneEventsTest& t) {
             EXPECT_TRUE(t.Glyphs(*t.first).IsDirty());
             EXPECT_GE(t.display->invalidateCursorRectsCount, 1);
             ASSERT_TRUE(t.renderer->GetActiveThresholdControl());
             EXPECT_EQ(t.first, t.renderer->GetActiveThresholdControl()->GetGene());
         }},
        {"compass moved", 9, 0, false, [](SceneEventsTest& t) { t.View(0).Reshape(0, 0, 5, 5); }, true,
         [](SceneEventsTest& t) { EXPECT_EQ(640, t.View(0).GetWidth()); }},
        {"rotation", 10, 0, false, [q](SceneEventsTest& t) { t.model->SetRotation(q, false); }, true,
         [q](SceneEventsTest& t) {
             for (int k = 0; k < 4; ++k)
                 EXPECT_FLOAT_EQ(q[k], t.renderer->GetTrackball()->GetQuaternion()[k]);
         }},
        {"origin", 11, 0, false, nothing, true, clean},
        {"zoom", 12, 0, false, nothing, true, clean},
        {"cutting plane moved", 13, 0, false,
         [](SceneEventsTest& t) { t.model->SelectStructure(t.Label("CH"), false); }, true,
         [](SceneEventsTest& t) {
             EXPECT_TRUE(t.Glyphs(*t.first).IsDirty());
             EXPECT_EQ("Brain (Br)\n  Cerebrum (CH)", t.InfoText());
         }},
        {"cutting planes shown", 14, 0, false, nothing, true, clean},
        {"probe", 15, 0, false, nothing, false, clean},
        {"gene colour, constant mode", 16, 0, false,
         [](SceneEventsTest& t) {
             t.model->SetGeneColorMode(0, false);
             t.display->Display();
         },
         true, dirty},
        {"gene colour, colormap mode", 16, 0, false,
         [](SceneEventsTest& t) {
             t.model->SetGeneColorMode(3, false);
             t.display->Display();
         },
         true, clean},
        {"gene hidden", 17, 1, true,
         [](SceneEventsTest& t) {
             t.AddGridDataSet(2);
             EXPECT_TRUE(t.View(0).GetVolumeRenderer()->GetCurrentVolume());
             t.model->GetGene(1)->SetVisible(false);
         },
         true, [](SceneEventsTest& t) { EXPECT_TRUE(t.View(0).GetVolumeRenderer()->GetCurrentVolume()); }},
        {"gene shown", 17, 0, true,
         [](SceneEventsTest& t) {
             t.first->SetVisible(false);
             t.View(0).HideGene(t.first);
             EXPECT_FALSE(t.View(0).GetVolumeRenderer()->GetCurrentVolume());
             t.first->SetVisible(true);
         },
         true, [](SceneEventsTest& t) { EXPECT_TRUE(t.View(0).GetVolumeRenderer()->GetCurrentVolume()); }},
        {"selected expressor", 18, 0, false,
         [](SceneEventsTest& t) { t.model->SelectExpressor(t.first, t.Space(), &t.first->Expressors()[0], false); },
         true,
         [](SceneEventsTest& t) {
             std::stringstream expected;
             expected.precision(4);
             t.first->PrintSelectionInfo(expected, &t.first->Expressors()[0], t.Space());
             EXPECT_EQ(expected.str(), t.InfoText());
         }},
        {"selected gene, controls shown", 19, 0, false, [](SceneEventsTest& t) { t.model->SelectGene(t.first, false); },
         true, [](SceneEventsTest& t) { EXPECT_TRUE(t.renderer->GetActiveThresholdControl()); }},
        // A gene that the renderer hears of once selected: the redraw between finds no control for it yet.
        {"selected gene, added after", 19, 0, false,
         [](SceneEventsTest& t) {
             t.renderer->RemoveGene(t.first);
             t.model->SelectGene(t.first, false);
         },
         true,
         [](SceneEventsTest& t) {
             t.renderer->AddGene(t.first);
             EXPECT_TRUE(t.renderer->GetActiveThresholdControl());
         }},
        {"selected gene, controls hidden", 19, 0, false,
         [](SceneEventsTest& t) { t.model->ShowThresholdControls(false, false); }, false, nothing},
        {"selected structure", 20, 0, false, [](SceneEventsTest& t) { t.model->SelectStructure(t.Label("CH"), false); },
         true, [](SceneEventsTest& t) { EXPECT_EQ("Brain (Br)\n  Cerebrum (CH)", t.InfoText()); }},
        {"view reset", 21, 0, false,
         [q](SceneEventsTest& t) {
             t.model->SetRotation(q, false);
             t.renderer->Animate(true);
         },
         true,
         [q](SceneEventsTest& t) {
             EXPECT_FALSE(t.display->TimerRunning());
             EXPECT_FLOAT_EQ(q[2], t.renderer->GetTrackball()->GetQuaternion()[2]);
         }},
        {"stop animations", 22, 0, false, [](SceneEventsTest& t) { t.renderer->Animate(true); }, false,
         [](SceneEventsTest& t) { EXPECT_FALSE(t.display->TimerRunning()); }},
        {"image alpha, no image shown", 23, 0, false, nothing, false, nothing},
        {"annotation alpha", 24, 0, false, nothing, true, clean},
        {"visibility threshold", 25, 0, false, nothing, true,
         [](SceneEventsTest& t) {
             EXPECT_TRUE(t.Glyphs(*t.first).IsDirty());
             EXPECT_EQ(1, t.display->invalidateCursorRectsCount);
         }},
        {"visibility threshold while dragging", 25, 0, false, [](SceneEventsTest& t) { t.model->SetLiveUpdate(true); },
         true,
         [](SceneEventsTest& t) {
             EXPECT_TRUE(t.Glyphs(*t.first).IsDirty());
             EXPECT_EQ(0, t.display->invalidateCursorRectsCount);
         }},
        {"controls shown", 26, 0, false, nothing, true,
         [](SceneEventsTest& t) { EXPECT_EQ(1, t.display->invalidateCursorRectsCount); }},
        {"MIP window", 27, 0, true, [](SceneEventsTest& t) { t.model->SetMIPWindow(10.0f, 200.0f, false); }, true,
         [](SceneEventsTest& t) {
             int transfer[4];
             t.View(0).GetVolumeRenderer()->GetTransferWindows(transfer);
             EXPECT_EQ(10, transfer[0]);
             EXPECT_EQ(200, transfer[1]);
         }},
        {"volume window", 28, 0, false, nothing, true, clean},
        {"expression window", 29, 0, false, nothing, true, dirty},
        {"image mode, section image", 30, 0, false,
         [](SceneEventsTest& t) {
             t.model->SetImageDisplayMode(BrainExpressionModel::SECTION_IMAGE, false);
             t.model->SelectStructure(t.Label("CH"), false);
         },
         true, [](SceneEventsTest& t) { EXPECT_EQ("Brain (Br)\n  Cerebrum (CH)", t.InfoText()); }},
        {"image mode, atlas plate", 30, 0, false,
         [](SceneEventsTest& t) {
             t.model->SetImageDisplayMode(BrainExpressionModel::CORONAL_PLATE, false);
             t.model->SelectStructure(t.Label("CH"), false);
         },
         true, [](SceneEventsTest& t) { EXPECT_EQ("", t.InfoText()); }},
        {"code 0", 0, 0, false, nothing, false, clean},
        {"code 31", 31, 0, false, nothing, false, clean},
        {"code -3", -3, 0, false, nothing, false, clean},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(std::to_string(row.code) + " " + row.name);
        Start(row.volumeRendering);
        if (HasFatalFailure())
            return;
        row.before(*this);
        Tell(row.code, row.argument);
        EXPECT_EQ(row.redraw, display->invalidateCount > 0) << display->invalidateCount;
        row.check(*this);
    }
}

TEST_F(SceneEventsTest, AddedAndRemovedDataSets)
{
    Start(false);
    std::shared_ptr<HandDataSet> second = NewDataSet(2);
    second->Add(10, 10, 10, 50, 500, Label("CH"));
    second->Finish(Ontology());
    // Told behind the renderer's back, so that the event can be replayed.
    model->RemoveListener(renderer.get());
    genes.push_back(second);
    model->AddGeneExpression(second, false);
    model->AddListener(renderer.get());

    struct Row
    {
        int code, argument, invalidates;
        std::size_t entries, controls;
    };
    const Row rows[] = {
        {3, 7, 0, 1, 1}, // no data set there: nothing
        {3, 1, 1, 2, 2}, {4, 9, 0, 2, 2}, {4, 1, 1, 1, 1}, {4, 0, 1, 0, 0},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(std::to_string(row.code) + " " + std::to_string(row.argument));
        Tell(row.code, row.argument);
        EXPECT_EQ(row.invalidates, display->invalidateCount);
        EXPECT_EQ(row.entries, View(0).GetExpressionRenderers().size());
        EXPECT_EQ(row.controls, renderer->GetThresholdControls().size());
    }
    // The stride follows the largest data set the view saw.
    EXPECT_EQ(3u, View(0).GetExpressorStride());
}

TEST_F(SceneEventsTest, VisibilityEventsOfAMissingDataSetAreIgnored)
{
    Start(true);
    for (int argument : {5, -1})
    {
        Tell(17, argument);
        EXPECT_EQ(0, display->invalidateCount);
    }
    EXPECT_TRUE(View(0).GetVolumeRenderer()->GetCurrentVolume());
}

} // namespace
