// The microarray layers of a scene of atlas 351, drawn into the harness's framebuffer: the sample strip
// read back column by column, its separators and labels, selecting samples along it, the surfaces that
// the coloured-mesh renderer loads and what it draws in a pick pass.

#include "SceneFixture.h"

#include "atlas/Colormap.h"
#include "atlas/GeneColorModes.h"
#include "atlas/GLVertexColoredMesh.h"
#include "atlas/PointSet.h"
#include "expression/MicroarrayExpression.h"
#include "gl/support/RecordingTextBox.h"
#include "scene/ColoredMeshExpressionRenderer.h"
#include "scene/ExpressionLevelThresholdControl.h"
#include "scene/ExpressionStructureControl.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <filesystem>
#include <limits>
#include <set>

namespace
{

using namespace scenetest;

constexpr int PITCH = 10; // pixels a sample in the wide strips
constexpr int STRIP_X = 8, STRIP_Y = 40, STRIP_H = 20;

// Writes down the sample selected at each change of the selected expressor.
class SelectionRecorder : public BrainExpressionModelListener
{
public:
    // A selection may be announced more than once (the scene shows the selected probe alone, which
    // passes through no selection): runs of one sample count once.
    void ModelChanged(int code, BrainExpressionModel* model, int) override
    {
        if (code == SELECTED_EXPRESSOR_CHANGED && (selected.empty() || selected.back() != model->GetSelectedSampleId()))
            selected.push_back(model->GetSelectedSampleId());
    }
    std::vector<unsigned int> selected;
};

class MicroarrayLayersTest : public SceneTest
{
public:
    void SetUp() override
    {
        SceneTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        MicroarrayExpression::ResetProcessWideState();
        Open(MicroAtlas(351));
    }

    void TearDown() override
    {
        MicroarrayExpression::ResetProcessWideState();
        SceneTest::TearDown();
    }

    void Open(std::shared_ptr<Atlas> atlas)
    {
        renderer.reset();
        model.reset();
        genes.clear();
        MakeScene(atlas, kWidth, kHeight);
        model->SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
    }

    // A probe (1001 unless told) from the installed files, placed in the first donor and added to the model.
    MicroarrayExpression& AddProbe(unsigned int probe = 1001)
    {
        auto data = std::make_shared<MicroarrayExpression>("", "", "", 0, 0, 0);
        data->LoadAtlasSpace(probe, Space(0));
        genes.push_back(data);
        model->AddGeneExpression(data, true);
        return *data;
    }

    ExpressionStructureControl& Strip(GeneExpression& gene) { return *View(0).GetStructureControls().at(&gene); }

    const PointSet& Samples(MicroarrayExpression& data) { return *data.GetMicroarrayPointAnnotation(Space(0)); }

    // The strip alone in the harness's pixel projection, with the enables of the scene's overlay pass: the
    // harness's context outlives each test, and an earlier scene may have left lighting on.
    std::vector<std::uint8_t> DrawStrip(ExpressionStructureControl& strip)
    {
        glClear(GL_COLOR_BUFFER_BIT);
        glPushAttrib(GL_ENABLE_BIT);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        strip.Draw();
        glPopAttrib();
        return Framebuffer().ReadPixels();
    }

    static std::array<int, 3> Pixel(const std::vector<std::uint8_t>& pixels, int x, int y)
    {
        const std::uint8_t* p = &pixels[static_cast<std::size_t>(4 * (y * kWidth + x))];
        return {p[0], p[1], p[2]};
    }

    // The colormap entry of a value as the test works it out: the window spread over 256 entries.
    static std::array<int, 3> EntryOf(const Colormap& colormap, double value, double low, double high)
    {
        const double span = high == low ? 1.0 : high - low;
        const double place = std::floor((value - low) / span * 255.0 + 0.5);
        const std::size_t entry = place < 0.0 ? 0 : place > 255.0 ? 255 : static_cast<std::size_t>(place);
        return {colormap.entries[3 * entry], colormap.entries[3 * entry + 1], colormap.entries[3 * entry + 2]};
    }

    // The database id of the level-100 structure above each sample (or the root).
    std::vector<unsigned long> Groups(const PointSet& samples)
    {
        std::vector<unsigned long> groups;
        for (const PointSet::Point3d& point : samples.points)
        {
            const AnnotationLabel* label = Ontology().GetAnnotationLabelByDatabaseId(point.structureId);
            while (label->level != 100 && label->parent)
                label = label->parent;
            groups.push_back(label->databaseId);
        }
        return groups;
    }
};

} // namespace

// The samples of every data set lie at one place, so choosing one data set hides the others; a selection
// that chooses none (cleared, or its data set removed) leaves each one as it is.
TEST_F(MicroarrayLayersTest, OnlyAChosenDataSetHidesTheOthers)
{
    ASSERT_TRUE(model->GetAtlas()->HasColocatedSamples());
    MicroarrayExpression* sets[3] = {&AddProbe(1001), &AddProbe(1004), &AddProbe(1007)};
    struct Case
    {
        const char* what;
        std::function<void()> act;
        std::vector<bool> visible; // of the data sets still held, in order
    };
    const Case cases[] = {
        {"choosing the second", [&] { model->SelectGene(sets[1], true); }, {false, true, false}},
        {"clearing the selection",
         [&] {
             model->SelectGene(sets[0], false);
             model->SelectGene(nullptr, true);
         },
         {true, true, true}},
        {"removing the chosen one",
         [&] {
             model->SelectGene(sets[2], false);
             model->RemoveGene(2);
         },
         {true, true}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        for (MicroarrayExpression* data : sets)
            data->SetVisible(true);
        model->SelectGene(nullptr, false);
        c.act();
        std::vector<bool> visible;
        for (int i = 0; i < model->GetNumGenes(); ++i)
            visible.push_back(model->GetGene(i)->IsVisible());
        EXPECT_EQ(c.visible, visible);
    }
}

TEST_F(MicroarrayLayersTest, TheExpressionRowShowsEachSamplesEntry)
{
    MicroarrayExpression& data = AddProbe();
    ExpressionStructureControl& strip = Strip(data);
    const std::vector<float>& levels = *data.GetMicroarrayExpressionLevels(Space(0));
    const int n = static_cast<int>(levels.size()) - 2;
    ASSERT_GT(n, 4);
    strip.SetSize(STRIP_X, STRIP_Y, n * PITCH, STRIP_H);
    const Colormap& colormap = *model->GetGeneColormap();
    struct Case
    {
        const char* name;
        float low, high;
    };
    const Case cases[] = {{"the default window", 2, 10}, {"below the window", 20, 30}, {"above the window", -10, -5}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        model->SetExpressionWindow(c.low, c.high, true);
        strip.SetColormap(&colormap);
        const std::vector<std::uint8_t> pixels = DrawStrip(strip);
        for (int i = 0; i < n; ++i)
            for (const int dx : {1, PITCH / 2, PITCH - 1})
                EXPECT_EQ(EntryOf(colormap, levels[static_cast<std::size_t>(i) + 2], c.low, c.high),
                          Pixel(pixels, STRIP_X + i * PITCH + dx, STRIP_Y + 2))
                    << "sample " << i << " pixel " << dx;
    }
}

TEST_F(MicroarrayLayersTest, ZScoresOfADataSetWithoutSpreadAllTakeTheColourOfZero)
{
    auto data = std::make_shared<MicroarrayExpression>("g", "SYM", "P", 77, 1, 1);
    auto samples = std::make_shared<PointSet>();
    const float values[] = {6, 6, 6, 6};
    for (int i = 0; i < 4; ++i)
    {
        PointSet::Point3d p;
        p.id = 900u + static_cast<unsigned int>(i);
        p.index = i;
        p.x = p.y = p.z = 5.0f + static_cast<float>(i);
        p.structureId = static_cast<unsigned int>(Label("Cx")->databaseId);
        samples->points.push_back(p);
    }
    data->LoadAtlasSpace(values, samples, Space(0));
    ASSERT_EQ(0.0f, data->GetStandardDeviation());
    genes.push_back(data);
    model->AddGeneExpression(data, true);
    model->SetGeneColorMode(model->GetAtlas()->GetGeneColorModes().GetMode("redgreen"), true);
    ASSERT_TRUE(model->ZScoresVisible());
    ExpressionStructureControl& strip = Strip(*data);
    strip.SetColormap(model->GetGeneColormap());
    strip.SetSize(STRIP_X, STRIP_Y, 4 * PITCH, STRIP_H);
    const Range window = model->GetExpressionWindow();
    const auto zero = EntryOf(*model->GetGeneColormap(), 0.0, window.min, window.max);
    const std::vector<std::uint8_t> pixels = DrawStrip(strip);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(zero, Pixel(pixels, STRIP_X + i * PITCH + PITCH / 2, STRIP_Y + 2)) << i;
}

TEST_F(MicroarrayLayersTest, TheStructureRowSeparatorsAndLabels)
{
    MicroarrayExpression& data = AddProbe();
    ExpressionStructureControl& strip = Strip(data);
    const PointSet& samples = Samples(data);
    const int n = static_cast<int>(samples.points.size());
    const std::vector<unsigned long> groups = Groups(samples);
    std::vector<int> boundaries;
    for (int i = 1; i < n; ++i)
        if (groups[static_cast<std::size_t>(i)] != groups[static_cast<std::size_t>(i) - 1])
            boundaries.push_back(i);
    ASSERT_FALSE(boundaries.empty()) << "the generated samples lie in more than one group";

    strip.SetSize(STRIP_X, STRIP_Y, n * PITCH, STRIP_H);
    const std::vector<std::uint8_t> pixels = DrawStrip(strip);
    for (int i = 0; i < n; ++i)
    {
        const AnnotationLabel* label =
            Ontology().GetAnnotationLabelByDatabaseId(samples.points[static_cast<std::size_t>(i)].structureId);
        EXPECT_EQ((std::array<int, 3>{label->color[0], label->color[1], label->color[2]}),
                  Pixel(pixels, STRIP_X + i * PITCH + PITCH / 2, STRIP_Y + STRIP_H - 2))
            << "sample " << i;
    }
    std::vector<int> wide;
    for (const int i : boundaries)
        wide.push_back(i * PITCH);
    EXPECT_EQ(wide, strip.GetSeparators());

    // Narrower than its samples: half a pixel a sample, and no label fits.
    strip.SetSize(STRIP_X, STRIP_Y, n / 2, STRIP_H);
    std::vector<int> narrow;
    for (const int i : boundaries)
        narrow.push_back(static_cast<int>(std::floor(i * 0.5 + 0.5)));
    EXPECT_EQ(narrow, strip.GetSeparators());
    for (const auto& [group, label] : strip.GetLabels())
        EXPECT_EQ(-1, label.second) << group;

    // Wide enough for every label: each sits centred over the last run of its group that ends before the
    // strip's end; the final run gets none.
    const int pitch = 200;
    strip.SetSize(0, STRIP_Y, n * pitch, STRIP_H);
    std::map<unsigned int, int> expected;
    int start = 0;
    for (const int i : boundaries)
    {
        const unsigned int group = static_cast<unsigned int>(groups[static_cast<std::size_t>(start)]);
        const double width = 7.0 * Ontology().GetAnnotationLabelByDatabaseId(group)->abbreviation.size();
        expected[group] = static_cast<int>(std::floor((start + i) * pitch / 2.0 - width / 2.0 + 0.5));
        start = i;
    }
    std::map<unsigned int, int> offsets;
    for (const auto& [group, label] : strip.GetLabels())
        offsets[group] = label.second;
    EXPECT_EQ(expected, offsets);
}

TEST_F(MicroarrayLayersTest, ClickingAndDraggingSelectSamples)
{
    MicroarrayExpression& data = AddProbe();
    ExpressionStructureControl& strip = Strip(data);
    const PointSet& samples = Samples(data);
    const int n = static_cast<int>(samples.points.size());
    strip.SetSize(STRIP_X, STRIP_Y, n * PITCH, STRIP_H);
    SelectionRecorder recorder;
    model->AddListener(&recorder);
    std::vector<unsigned int>& selected = recorder.selected;
    const int row = STRIP_Y + 5;
    // A click on sample 2.
    EXPECT_TRUE(strip.OnButtonDown(0, STRIP_X + 2 * PITCH, row, 0, 0));
    EXPECT_TRUE(strip.OnButtonUp(0, STRIP_X + 2 * PITCH, row, 0, 0));
    EXPECT_EQ(std::vector<unsigned int>{samples.points[2].id}, selected);
    strip.HighlightExpressor(model->GetSelectedExpressor());
    EXPECT_EQ(samples.points[2].index, strip.GetSelected());

    // A drag from sample 0 over samples 1 to 4.
    selected.clear();
    strip.OnButtonDown(0, STRIP_X, row, 0, 0);
    for (int i = 1; i <= 4; ++i)
        EXPECT_TRUE(strip.OnMouseMove(STRIP_X + i * PITCH, row, 0, 0));
    strip.OnButtonUp(0, STRIP_X + 4 * PITCH, row, 0, 0);
    std::vector<unsigned int> passed;
    for (int i = 1; i <= 4; ++i)
        passed.push_back(samples.points[static_cast<std::size_t>(i)].id);
    EXPECT_EQ(passed, selected);
    EXPECT_EQ(4 * PITCH, strip.GetHover());

    // Pressed outside and dragged in: only the hover moves.
    selected.clear();
    EXPECT_FALSE(strip.OnButtonDown(0, STRIP_X - 3, row, 0, 0));
    EXPECT_TRUE(strip.OnMouseMove(STRIP_X + 6 * PITCH, row, 0, 0));
    EXPECT_EQ(6 * PITCH, strip.GetHover());
    EXPECT_TRUE(selected.empty());
    EXPECT_FALSE(strip.OnMouseMove(STRIP_X + 6 * PITCH, STRIP_Y + STRIP_H, 0, 0));
    EXPECT_EQ(-1, strip.GetHover());
    // Past the last sample's column after rounding: nothing.
    strip.OnButtonDown(0, STRIP_X + n * PITCH - 2, row, 0, 0);
    strip.OnButtonUp(0, STRIP_X + n * PITCH - 2, row, 0, 0);
    EXPECT_TRUE(selected.empty());
    model->RemoveListener(&recorder);
}

TEST_F(MicroarrayLayersTest, MissingValuesAndUnknownStructuresGiveBlackTexels)
{
    auto data = std::make_shared<MicroarrayExpression>("g", "SYM", "P", 78, 1, 1);
    auto samples = std::make_shared<PointSet>();
    const float values[] = {5, std::numeric_limits<float>::infinity(), 7};
    const unsigned int structures[] = {static_cast<unsigned int>(Label("Cx")->databaseId), 777777u,
                                       static_cast<unsigned int>(Label("Cx")->databaseId)};
    for (int i = 0; i < 3; ++i)
    {
        PointSet::Point3d p;
        p.id = 800u + static_cast<unsigned int>(i);
        p.index = i;
        p.x = p.y = p.z = 5.0f;
        p.structureId = structures[i];
        samples->points.push_back(p);
    }
    data->LoadAtlasSpace(values, samples, Space(0));
    genes.push_back(data);
    model->AddGeneExpression(data, true);
    const ExpressionStructureControl& strip = Strip(*data);
    const unsigned char* expression = strip.GetExpressionTexture().GetPixels();
    const unsigned char* structure = strip.GetStructureTexture().GetPixels();
    EXPECT_EQ((std::array<int, 4>{0, 0, 0, 255}),
              (std::array<int, 4>{expression[4], expression[5], expression[6], expression[7]}));
    EXPECT_EQ((std::array<int, 4>{0, 0, 0, 255}),
              (std::array<int, 4>{structure[4], structure[5], structure[6], structure[7]}));
    EXPECT_EQ(Label("Cx")->color[1], structure[1]);
}

TEST_F(MicroarrayLayersTest, PartialSurfacesStandInForMissingOnes)
{
    TempDir dir;
    struct Case
    {
        const char* name;
        bool partial, whole;
        std::size_t surfaces;
    };
    const Case cases[] = {
        {"whole surfaces", false, true, 2}, {"only partial ones", true, false, 2}, {"none", false, false, 0}};
    const std::string source = MicroAtlas(351)->GetPath();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string folder = dir.File(std::string(c.name));
        std::filesystem::copy(source, folder, std::filesystem::copy_options::recursive);
        const std::string meshes = folder + "/Spaces/" + MicroAtlas(351)->GetSpace(0u)->GetName() + "/Meshes/";
        for (const char* side : {"rh", "lh"})
        {
            const std::string whole = meshes + side + ".inflated.amsh";
            if (c.partial)
                std::filesystem::copy_file(whole, meshes + side + ".inflated.partial.amsh");
            if (!c.whole)
                std::filesystem::remove(whole);
        }
        Open(std::make_shared<Atlas>(folder));
        MicroarrayExpression& data = AddProbe();
        ColoredMeshExpressionRenderer surfaces(&View(0), &data, true);
        EXPECT_EQ(c.surfaces, surfaces.GetSurfaces().size());
        ASSERT_NE(nullptr, surfaces.GetStructureMeshes());
        surfaces.Display(false, 0);
        EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
    }
}

TEST_F(MicroarrayLayersTest, APickPassInTranslucentStyleDrawsNoSurfaces)
{
    MicroarrayExpression& data = AddProbe();
    ColoredMeshExpressionRenderer& surfaces = *View(0).GetColoredMeshRenderer();
    ASSERT_EQ(2u, surfaces.GetSurfaces().size());
    model->SetExpressionLevelVisibilityThreshold(0, 0, false);
    const auto names = [&] {
        std::vector<GLuint> buffer(1 << 16);
        glSelectBuffer(static_cast<GLsizei>(buffer.size()), buffer.data());
        glRenderMode(GL_SELECT);
        glInitNames();
        glPushName(0);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(-1000, 1000, -1000, 1000, -1000, 1000);
        glMatrixMode(GL_MODELVIEW);
        surfaces.Display(true, 1000);
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        const GLint hits = glRenderMode(GL_RENDER);
        std::set<unsigned int> found;
        for (GLint h = 0, at = 0; h < hits; ++h)
        {
            for (GLuint k = 0; k < buffer[static_cast<std::size_t>(at)]; ++k)
                found.insert(buffer[static_cast<std::size_t>(at + 3) + k]);
            at += 3 + static_cast<GLint>(buffer[static_cast<std::size_t>(at)]);
        }
        return found;
    };
    model->SetMeshDisplayStyle(BrainExpressionModel::OPAQUE_MESHES, false);
    const std::set<unsigned int> opaque = names();
    EXPECT_FALSE(opaque.empty());
    for (const unsigned int name : opaque)
        if (name != 0)
        {
            EXPECT_NE(0u, data.GetSampleIdFromGridId(name - 1000, Space(0))) << name;
        }
    model->SetMeshDisplayStyle(BrainExpressionModel::TRANSLUCENT_MESHES, false);
    EXPECT_TRUE(names().empty());
}

// In a scene too narrow for both, the attribution line ends short of the level control beside it: of its bar,
// its handles and the low label centred under the low handle.
TEST_F(MicroarrayLayersTest, TheAttributionEndsShortOfTheLevelControl)
{
    MicroarrayExpression& data = AddProbe();
    model->SelectGene(&data, true);
    model->ShowThresholdControls(true, true);
    ExpressionLevelThresholdControl* control = renderer->GetActiveLevelThresholdControl();
    ASSERT_TRUE(control);
    for (const int width : {720, 520})
    {
        display->Resize(width, kHeight);
        display->Display();
        const TextBoxRecord* line = display->FindTextBox(model->GetAtlas()->GetAttribution());
        const auto low = std::find_if(display->textBoxes.rbegin(), display->textBoxes.rend(), [](const auto& r) {
            return !r->deleted && r->small && r->alignment == GLTextBox::kAlignLeft;
        });
        ASSERT_TRUE(line && low != display->textBoxes.rend());
        const int end = line->draws.back().first + line->width;
        EXPECT_LT(end, std::min((*low)->draws.back().first, control->GetGeometry().left - 2)) << width;
    }
}
