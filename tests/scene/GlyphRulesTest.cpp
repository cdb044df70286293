#include "SceneFixture.h"

#include "atlas/Colormap.h"
#include "gl/support/GLFeedback.h"
#include "scene/ExpressionRenderer.h"
#include "scene/ExpressorFilter.h"

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <set>

namespace
{

using namespace scenetest;

TEST(GlyphRules, Windows)
{
    struct Case
    {
        float value;
        Range window;
        bool inside;
    };
    const Case cases[] = {
        {5, {0, 10}, true},   {0, {0, 10}, true},     {10, {0, 10}, true},  {10.01f, {0, 10}, false},
        {-1, {0, 10}, false}, {-50, {3, 3}, true},    {1e9f, {3, 3}, true}, {20, {10, 5}, true},
        {10, {10, 5}, true},  {9.9f, {10, 5}, false}, {100, {0, -1}, true}, {-1, {0, -1}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.inside, ExpressorFilter::InWindow(c.value, c.window))
            << c.value << " in " << c.window.min << ".." << c.window.max;
}

TEST(GlyphRules, ColourIndex)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case
    {
        float value;
        Range window;
        int index;
    };
    const Case cases[] = {
        {0, {0, 255}, 0},
        {255, {0, 255}, 255},
        {127.4f, {0, 255}, 127},
        {127.6f, {0, 255}, 128},
        {0.5f, {0, 1}, 128},
        {300, {0, 255}, 255},
        {-3, {0, 255}, 0},
        {-0.001f, {0, 255}, 0},
        // An empty window counts as one wide.
        {5, {5, 5}, 0},
        {5.5f, {5, 5}, 128},
        {6, {5, 5}, 255},
        // Far out of range and not a number: clamped before the conversion.
        {1e30f, {0, 1}, 255},
        {-1e30f, {0, 1}, 0},
        {nan, {0, 1}, 0},
        {std::numeric_limits<float>::infinity(), {0, 1}, 255},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.index, ExpressorFilter::ColorIndex(c.value, c.window))
            << c.value << " in " << c.window.min << ".." << c.window.max;
}

class GlyphTest : public SceneTest
{
public:
    void Start(int dataType = GeneExpression::GENE_EXPRESSION)
    {
        renderer.reset();
        model.reset();
        genes.clear();
        MakeScene(MicroAtlas(310));
        model->SetGeneColorMode(0, false);
        model->SetExpressionSelector(BrainExpressionModel::Selector(Ontology().GetNumLabels(), true), false);
        model->SetExpressionWindow(0.0f, 255.0f, false);
        label = Ontology().GetAnnotationLabelByIndex(2);
        gene = NewDataSet(1, 0, "Gad1", dataType);
    }

    // Adds the data set to the model once its expressors are in.
    ExpressionRenderer& Enter()
    {
        gene->Finish(Ontology());
        AddDataSet(gene);
        return Glyphs();
    }

    ExpressionRenderer& Glyphs() { return *View(0).GetExpressionRenderers().find(gene.get())->second; }

    std::size_t Drawn()
    {
        Glyphs().ThresholdChanged();
        return RecordFeedback([&] { Glyphs().Display(false, 0); }).size();
    }

    std::set<unsigned int> Picked(const std::function<void()>& draw)
    {
        std::vector<GLuint> buffer(1 << 16);
        glSelectBuffer(static_cast<GLsizei>(buffer.size()), buffer.data());
        glRenderMode(GL_SELECT);
        glInitNames();
        glPushName(0);
        draw();
        const GLint hits = glRenderMode(GL_RENDER);
        std::set<unsigned int> names;
        for (GLint h = 0, at = 0; h < hits; ++h)
        {
            const GLuint count = buffer[at];
            for (GLuint n = 0; n < count; ++n)
                names.insert(buffer[at + 3 + n]);
            at += 3 + static_cast<GLint>(count);
        }
        return names;
    }

    float Hit(const float* at, unsigned int& id)
    {
        const float origin[3] = {at[0], at[1], at[2] - 50.0f};
        const float direction[3] = {0.0f, 0.0f, 1.0f};
        return Glyphs().HitTest(origin, direction, id);
    }

    std::vector<std::string> Exported()
    {
        Glyphs().ExportPOVRay(dir.File("").c_str());
        std::vector<std::string> lines;
        std::istringstream in([&] {
            const std::vector<unsigned char> bytes = ReadWholeFile(dir.File("Gad1.pov"));
            return std::string(bytes.begin(), bytes.end());
        }());
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
        return lines;
    }

    void BlackColormapEntry(int index)
    {
        Colormap& colormap = const_cast<Colormap&>(*model->GetGeneColormap());
        for (int c = 0; c < 3; ++c)
            colormap.entries[3 * index + c] = 0;
    }

    TempDir dir;
    const AnnotationLabel* label = nullptr;
    std::shared_ptr<HandDataSet> gene;
};

// Which operations keep one expressor, across the rules' edge cases.
TEST_F(GlyphTest, VisibilityPerOperation)
{
    using Setup = std::function<void(GlyphTest&)>;
    struct Case
    {
        const char* name;
        int dataType;
        std::array<float, 3> position;
        float value, density;
        Setup setup;
        bool draw, pick, hit, visible, exported;
    };
    const int expression = GeneExpression::GENE_EXPRESSION;
    const int projection = GeneExpression::PROJECTION;
    const Setup none = [](GlyphTest&) {};
    const auto level = [](float low, float high) {
        return [=](GlyphTest& t) { t.model->SetExpressionLevelVisibilityThreshold(low, high, false); };
    };
    const std::array<float, 3> at = {5, 4, 5};
    const Case cases[] = {
        {"plain", expression, at, 100, 500, none, true, true, true, true, true},
        {"structure filtered out", expression, at, 100, 500,
         [](GlyphTest& t) {
             BrainExpressionModel::Selector selector(t.Ontology().GetNumLabels(), true);
             selector.Set(t.label->index, false);
             t.model->SetExpressionSelector(selector, false);
         },
         false, false, false, false, false},
        {"hidden structure", expression, at, 100, 500,
         [](GlyphTest& t) { t.Glyphs().SetHiddenStructureSelector(t.label->selector); }, false, true, false, true,
         true},
        {"below an open level window", expression, at, 100, 500, level(150, -1), false, false, false, false, false},
        {"on the bound of an open window", expression, at, 150, 500, level(150, 10), true, true, true, true, true},
        {"inside a closed window", expression, at, 100, 500, level(50, 150), true, true, true, true, true},
        {"above a closed window", expression, at, 100, 500, level(10, 50), false, false, false, false, false},
        {"empty window: no test", expression, at, 100, 500, level(300, 300), true, true, true, true, true},
        {"density below", expression, at, 100, 500,
         [](GlyphTest& t) { t.model->SetExpressionDensityVisibilityThreshold(600, -1, false); }, false, false, false,
         false, false},
        {"outside the cutting box", expression, at, 100, 500,
         [](GlyphTest& t) { t.model->SetCuttingPlaneLocation(Image3dPlane::Plane(0), 0.5f, true, false); }, false,
         false, false, false, false},
        {"on the cutting bound",
         expression,
         {6, 4, 5},
         100,
         500,
         [](GlyphTest& t) { t.model->SetCuttingPlaneLocation(Image3dPlane::Plane(0), 0.5f, true, false); },
         true,
         true,
         true,
         true,
         true},
        {"black colormap entry", expression, at, 100, 500,
         [](GlyphTest& t) {
             t.model->SetGeneColorMode(3, false);
             t.model->SetExpressionWindow(0.0f, 255.0f, false);
             t.BlackColormapEntry(100);
         },
         false, false, false, false, false},
        {"projection below the window", projection, at, 100, 500, level(150, -1), false, true, true, false, false},
        {"projection of a negative value", projection, at, -200, 500, level(150, -1), true, true, true, true, false},
        {"z-score inside", expression, at, 100, 500,
         [](GlyphTest& t) {
             t.gene->SetStatistics(90, 5);
             t.model->ShowZScores(true, false);
             t.model->SetExpressionLevelVisibilityThreshold(1, 3, false);
         },
         true, true, true, true, true},
        {"z-score outside", expression, at, 100, 500,
         [](GlyphTest& t) {
             t.gene->SetStatistics(90, 5);
             t.model->ShowZScores(true, false);
             t.model->SetExpressionLevelVisibilityThreshold(3, 5, false);
         },
         false, false, false, false, false},
        {"z-score without spread is 0", expression, at, 100, 500,
         [](GlyphTest& t) {
             t.gene->SetStatistics(90, 0);
             t.model->ShowZScores(true, false);
             t.model->SetExpressionLevelVisibilityThreshold(-1, 1, false);
         },
         true, true, true, true, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Start(c.dataType);
        gene->Add(c.position[0], c.position[1], c.position[2], c.value, c.density, label);
        Enter();
        c.setup(*this);
        Expressor& e = gene->Expressors()[0];
        EXPECT_EQ(c.draw, Drawn() > 0);
        EXPECT_EQ(c.pick, Picked([&] { Glyphs().Display(true, 1000); }) == std::set<unsigned int>{1001});
        unsigned int id = 99;
        const float distance = Hit(e.position, id);
        EXPECT_EQ(c.hit, distance < std::numeric_limits<float>::max());
        EXPECT_EQ(c.hit ? 1u : 0u, id);
        EXPECT_EQ(c.visible, ExpressionRenderer::ExpressorVisible(model.get(), Space(), &e, gene.get()));
        EXPECT_EQ(c.exported ? 1u : 0u, Exported().size());
    }
}

TEST_F(GlyphTest, HiddenDataSetDrawsAndHitsNothing)
{
    Start();
    gene->Add(5, 4, 5, 100, 500, label);
    Enter();
    model->SetGeneVisible(0, false);
    EXPECT_EQ(0u, Drawn());
    EXPECT_TRUE(Picked([&] { Glyphs().Display(true, 1000); }).empty());
    unsigned int id = 7;
    EXPECT_EQ(-1.0f, Hit(gene->Expressors()[0].position, id));
}

TEST_F(GlyphTest, Sizes)
{
    struct Case
    {
        int dataType;
        bool fixed;
        float value, density, size;
    };
    const int expression = GeneExpression::GENE_EXPRESSION;
    const int projection = GeneExpression::PROJECTION;
    const Case cases[] = {
        {expression, false, 20, 1000, 0.8f},    {expression, false, 20.01f, 1000, 1.0f},
        {expression, false, 10, 1000, 0.4f},    {expression, false, 0.5f, 100, 0.05f},
        {expression, false, 1000, 1000, 1.0f},  {expression, true, 0.5f, 100, 1.75f},
        {projection, false, 255, 300, 0.3f},    {projection, false, 255, 100, 0.2f},
        {projection, false, -255, 1000, 0.35f}, {projection, false, 10, 1000, 0.2f},
    };
    for (const Case& c : cases)
    {
        Start(c.dataType);
        const ExpressionRenderer renderer(&View(0), gene.get(), c.fixed);
        Expressor e;
        e.intensity = c.value;
        e.density = c.density;
        EXPECT_FLOAT_EQ(c.size, renderer.GetExpressorSize(&e)) << c.value << " " << c.density;
    }
}

TEST_F(GlyphTest, HitsCountGlyphsAtLeastAFloorWide)
{
    Start();
    // Size 0.05: tiny value and density.
    gene->Add(5, 4, 5, 0.5f, 100, label);
    gene->Add(5, 4, 7, 0.5f, 100, label);
    gene->Add(5, 4, 7, 0.5f, 100, label);
    Enter();
    model->SetExpressionDensityVisibilityThreshold(0, 0, false);
    struct Case
    {
        float offset;
        bool hit;
    };
    const Case cases[] = {{0.0f, true}, {0.1f, true}, {0.149f, true}, {0.151f, false}, {0.2f, false}};
    for (const Case& c : cases)
    {
        const float origin[3] = {5.0f + c.offset, 4.0f, -5.0f};
        const float direction[3] = {0.0f, 0.0f, 1.0f};
        unsigned int id = 0;
        const float distance = Glyphs().HitTest(origin, direction, id);
        EXPECT_EQ(c.hit, distance < std::numeric_limits<float>::max()) << c.offset;
        if (c.hit)
        {
            EXPECT_EQ(1u, id);
            EXPECT_NEAR(std::sqrt(100.0f + c.offset * c.offset) - 0.15f, distance, 1e-4f);
        }
    }
    // From the far side the two glyphs at one place tie: the earlier one is kept.
    const float origin[3] = {5.0f, 4.0f, 20.0f};
    const float direction[3] = {0.0f, 0.0f, -1.0f};
    unsigned int id = 0;
    EXPECT_NEAR(13.0f - 0.15f, Glyphs().HitTest(origin, direction, id), 1e-4f);
    EXPECT_EQ(2u, id);
}

TEST_F(GlyphTest, SelectionNamesOfEveryDataSetInAView)
{
    Start();
    gene->Add(5, 4, 5, 100, 500, label);
    gene->Add(6, 4, 5, 100, 500, label);
    Enter();
    std::shared_ptr<HandDataSet> other = NewDataSet(2, 0, "Other");
    for (int k = 0; k < 4; ++k)
        other->Add(3, 3, 3 + k, 100, 500, label);
    other->Finish(Ontology());
    AddDataSet(other);
    // One more than the largest data set: 5.
    ASSERT_EQ(5u, View(0).GetExpressorStride());
    std::set<unsigned int> expected;
    unsigned int position = 0;
    for (const auto& entry : View(0).GetExpressionRenderers())
    {
        const unsigned int count = static_cast<unsigned int>(entry.first->GetExpressors(Space())->size());
        for (unsigned int id = 1; id <= count; ++id)
            expected.insert(5 * position + 300 + id);
        ++position;
    }
    EXPECT_EQ(expected, Picked([&] { View(0).DrawExpression(300, 0); }));
}

TEST_F(GlyphTest, ColoursFollowTheColourMode)
{
    struct Case
    {
        const char* name;
        int mode;
        float value;
        std::function<std::array<float, 3>(GlyphTest&)> colour;
    };
    const Case cases[] = {
        {"constant, full", 0, 255,
         [](GlyphTest&) {
             return std::array<float, 3>{0.2f, 0.4f, 0.6f};
         }},
        {"constant, a fifth", 0, 51,
         [](GlyphTest&) {
             return std::array<float, 3>{0.04f, 0.08f, 0.12f};
         }},
        {"atlas colours", 1, 102,
         [](GlyphTest& t) {
             std::array<float, 3> c{};
             for (int k = 0; k < 3; ++k)
                 c[k] = t.label->color[k] / 255.0f * (0.4f * 0.7f);
             return c;
         }},
        {"colormap", 3, 102,
         [](GlyphTest& t) {
             std::array<float, 3> c{};
             for (int k = 0; k < 3; ++k)
                 c[k] = t.model->GetGeneColormap()->entries[3 * 102 + k] / 255.0f * 0.4f;
             return c;
         }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Start();
        gene->SetColor(0.2f, 0.4f, 0.6f);
        gene->Add(5, 4, 5, c.value, 500, label);
        Enter();
        model->SetGeneColorMode(c.mode, false);
        model->SetExpressionWindow(0.0f, 255.0f, false);
        // Colours as issued, without the lights the scene sets up.
        glDisable(GL_LIGHTING);
        const std::vector<FeedbackPrimitive> drawn = RecordFeedback([&] { Glyphs().Draw(false); });
        ASSERT_EQ(20u, drawn.size());
        const std::array<float, 3> expected = c.colour(*this);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(expected[k], drawn[0].vertices[0].rgba[k], 1.0f / 255.0f) << k;
    }
}

TEST_F(GlyphTest, ThresholdChangesRecompileOnceAndLiveUpdateLeavesTheLists)
{
    Start();
    for (int k = 0; k < 3; ++k)
        gene->Add(2.0f + k, 4, 5, 100.0f + 50.0f * k, 500, label);
    Enter();
    ExpressionRenderer& glyphs = Glyphs();
    // Live update draws at once, octahedra even with the faster drawing off, and makes no list.
    model->SetLiveUpdate(true);
    EXPECT_EQ(3u * 8u, RecordFeedback([&] { glyphs.Display(false, 0); }).size());
    EXPECT_EQ(0u, glyphs.GetListBase());
    EXPECT_TRUE(glyphs.IsDirty());
    model->SetLiveUpdate(false);
    EXPECT_EQ(3u * 20u, RecordFeedback([&] { glyphs.Display(false, 0); }).size());
    const unsigned int base = glyphs.GetListBase();
    EXPECT_NE(0u, base);
    EXPECT_FALSE(glyphs.IsDirty());
    EXPECT_EQ(static_cast<int>(Ontology().GetNumLabels()), glyphs.GetListCount());

    // One expressor above the new window: the lists are rebuilt once, at the next cached draw.
    model->SetExpressionLevelVisibilityThreshold(0, 160, true);
    EXPECT_TRUE(glyphs.IsDirty());
    model->SetLiveUpdate(true);
    glyphs.Display(false, 0);
    EXPECT_TRUE(glyphs.IsDirty());
    model->SetLiveUpdate(false);
    EXPECT_EQ(2u * 20u, RecordFeedback([&] { glyphs.Display(false, 0); }).size());
    EXPECT_FALSE(glyphs.IsDirty());
    EXPECT_EQ(base, glyphs.GetListBase());
    // Unchanged colour mode: no recompile unless forced.
    glyphs.ColorModeChanged(false);
    EXPECT_FALSE(glyphs.IsDirty());
    glyphs.ColorModeChanged(true);
    EXPECT_TRUE(glyphs.IsDirty());
}

TEST_F(GlyphTest, Highlight)
{
    Start();
    gene->Add(5, 4, 5, 20, 1000, label);
    gene->Add(6, 4, 5, 20, 1000, nullptr);
    Enter();
    ExpressionRenderer& glyphs = Glyphs();
    glDisable(GL_LIGHTING);
    const std::vector<FeedbackPrimitive> normal =
        RecordFeedback([&] { glyphs.HighlightExpressor(&gene->Expressors()[0]); });
    ASSERT_EQ(20u, normal.size());
    EXPECT_NEAR(0.8f, normal[0].vertices[0].rgba[1], 1e-3f);
    EXPECT_NEAR(0.0f, normal[0].vertices[0].rgba[0], 1e-3f);
    UserPreferences::GetPreferences()->SetFasterDrawing(true);
    EXPECT_EQ(8u, RecordFeedback([&] { glyphs.HighlightExpressor(&gene->Expressors()[0]); }).size());
    UserPreferences::GetPreferences()->SetFasterDrawing(false);
    EXPECT_TRUE(RecordFeedback([&] { glyphs.HighlightExpressor(nullptr); }).empty());
    EXPECT_TRUE(RecordFeedback([&] { glyphs.HighlightExpressor(&gene->Expressors()[1]); }).empty());
    glyphs.SetHiddenStructureSelector(label->selector);
    EXPECT_TRUE(RecordFeedback([&] { glyphs.HighlightExpressor(&gene->Expressors()[0]); }).empty());
}

TEST_F(GlyphTest, ExportLinesAndFileNames)
{
    Start();
    gene->SetColor(0.5f, 1.0f, 0.0f);
    gene->Add(5, 4, 5, 20, 1000, label);
    gene->Add(6.5f, 4, 5, 255, 1000, label);
    Enter();
    EXPECT_EQ((std::vector<std::string>{"DrawExpressor(5,4,5,0.8,0.35,0.7,0)", "DrawExpressor(6.5,4,5,1,0.35,0.7,0)"}),
              Exported());

    struct Name
    {
        const char* symbol;
        const char* file;
    };
    const Name names[] = {{"Gad1", "/p/Gad1.pov"},
                          {"a/b", "/p/a_b.pov"},
                          {"../../etc/x", "/p/.._.._etc_x.pov"},
                          {"..", "/p/...pov"},
                          {"tab\there", "/p/tab_here.pov"}};
    for (const Name& n : names)
        EXPECT_EQ(n.file, ExpressionRenderer::POVRayFileName("/p/", n.symbol));

    EXPECT_EQ("File could not be written.", ErrorOf([&] { Glyphs().ExportPOVRay(dir.File("missing/").c_str()); }));
}

} // namespace
