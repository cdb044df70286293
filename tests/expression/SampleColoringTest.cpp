// Microarray samples coloured on the inflated surfaces and on the structure meshes of the tiny atlas 351:
// the colour of each sample's vertices computed here from its level, the window and the threshold; the
// grey of the rest; hit tests, pick names and the highlighted sample under the GL.

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainMeshSet.h"
#include "atlas/BrainOntology.h"
#include "atlas/Colormap.h"
#include "atlas/GLVertexColoredMesh.h"
#include "core/MemoryDefaultsStore.h"
#include "core/PlatformHooks.h"
#include "core/UserPreferences.h"
#include "expression/BrainExpressionModel.h"
#include "expression/MicroarrayExpression.h"
#include "gl/support/GLFeedback.h"
#include "gl/support/GLTest.h"

#include "MicroarrayTestSupport.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>

namespace
{

constexpr float NO_HIT = std::numeric_limits<float>::max();

// The shaded channel as the surface stores it: channel x ((shade - 1) x 0.85 + 1), truncated, low 8 bits.
unsigned char Shaded(unsigned char channel, float shade)
{
    return static_cast<unsigned char>(static_cast<int>(channel * ((shade - 1.0f) * 0.85f + 1.0f)) & 0xFF);
}

// The table entry of a level, in double precision: the window spread over the 256 entries.
int Entry(double level, double low, double high)
{
    const double span = high == low ? 1.0 : high - low;
    const double place = std::floor((level - low) / span * 255.0 + 0.5);
    return place < 0.0 ? 0 : place > 255.0 ? 255 : static_cast<int>(place);
}

bool Passes(double level, double low, double high)
{
    return low > high ? level >= low : low < high ? low <= level && level <= high : true;
}

// A model state of the test's own, for a colormap that no atlas mode has.
class ColoringState : public SampleColoringState
{
public:
    int GetGeneColorMode() const override { return mode; }
    const Colormap* GetGeneColormap() const override { return colormap; }
    const GeneralAnnotationSelector<unsigned long long>& GetExpressionSelector() const override { return selector; }
    bool ZScoresVisible() const override { return false; }
    void GetExpressionLevelVisibilityThreshold(float& low, float& high) const override { low = high = 0.0f; }
    void GetExpressionWindow(float& low, float& high) const override
    {
        low = 0.0f;
        high = 16.0f;
    }
    const AtlasSpace* GetSelectedExpressorsSpace() const override { return nullptr; }
    const AnnotationLabel* GetSelectedExpressorLabel() const override { return nullptr; }

    int mode = 3;
    const Colormap* colormap = nullptr;
    GeneralAnnotationSelector<unsigned long long> selector{64, true};
};

class SampleColoringTest : public GLTest
{
protected:
    void SetUp() override
    {
        GLTest::SetUp();
        REQUIRE_GENERATOR();
        PlatformHooks::SetDefaultsStore(&store);
        UserPreferences::ResetPreferences();
        MicroarrayExpression::ResetProcessWideState();
        atlas = std::make_shared<Atlas>(Microarray351Folder("tiny"));
        space = atlas->GetSpace(0u);
        model = std::make_unique<BrainExpressionModel>(atlas);
        data = std::make_shared<MicroarrayExpression>("", "", "", 0, 0, 0);
        data->LoadAtlasSpace(1001, space);
        mesh = std::make_unique<GLVertexColoredMesh>(atlas->GetOntology().get());
        mesh->Load((space->GetPath() + "/Meshes/lh.inflated.amsh").c_str());
        for (const PointSet::Point3d& point : data->GetMicroarrayPointAnnotation(space)->points)
            samples[point.id] = point;
    }

    void TearDown() override
    {
        mesh.reset();
        model.reset();
        MicroarrayExpression::ResetProcessWideState();
        PlatformHooks::SetDefaultsStore(nullptr);
        UserPreferences::ResetPreferences();
        GLTest::TearDown();
    }

    // What each vertex should show: its sample's table entry when the sample passes, else the grey.
    std::vector<std::array<unsigned char, 3>> Expected(unsigned char grey, bool& anyShown) const
    {
        const Colormap* colormap = model->GetGeneColormap();
        const std::vector<float>& levels = *data->GetMicroarrayExpressionLevels(space);
        float low, high, w0, w1;
        model->GetExpressionLevelVisibilityThreshold(low, high);
        model->GetExpressionWindow(w0, w1);
        std::vector<std::array<unsigned char, 3>> colors;
        anyShown = false;
        for (const GLVertexColoredMesh::Point3d& v : mesh->GetVertices())
        {
            std::array<unsigned char, 3> rgb = {grey, grey, grey};
            const auto sample = samples.find(v.sampleId);
            if (v.sampleId != 0 && sample != samples.end())
            {
                const double level = levels[static_cast<std::size_t>(sample->second.index) + 2];
                const unsigned char* entry = &colormap->entries[static_cast<std::size_t>(3 * Entry(level, w0, w1))];
                // A black entry colours nothing.
                if (Passes(level, low, high) && entry[0] + entry[1] + entry[2] != 0)
                {
                    std::copy(entry, entry + 3, rgb.begin());
                    anyShown = true;
                }
            }
            for (unsigned char& channel : rgb)
                channel = Shaded(channel, v.shade);
            colors.push_back(rgb);
        }
        return colors;
    }

    std::vector<std::array<unsigned char, 3>> Actual() const
    {
        std::vector<std::array<unsigned char, 3>> colors;
        for (const GLVertexColoredMesh::Point3d& v : mesh->GetVertices())
            colors.push_back({v.color[0], v.color[1], v.color[2]});
        return colors;
    }

    // The levels of the samples on this surface, sorted.
    std::vector<float> SurfaceLevels() const
    {
        const std::vector<float>& levels = *data->GetMicroarrayExpressionLevels(space);
        std::vector<float> found;
        for (const auto& [id, vertices] : mesh->GetSampleVertices())
            if (samples.count(id))
                found.push_back(levels[static_cast<std::size_t>(samples.at(id).index) + 2]);
        std::sort(found.begin(), found.end());
        return found;
    }

    MemoryDefaultsStore store;
    std::shared_ptr<Atlas> atlas;
    AtlasSpace* space = nullptr;
    std::unique_ptr<BrainExpressionModel> model;
    std::shared_ptr<MicroarrayExpression> data;
    std::unique_ptr<GLVertexColoredMesh> mesh;
    std::map<unsigned int, PointSet::Point3d> samples;
};

} // namespace

TEST_F(SampleColoringTest, EachSampleTakesTheEntryOfItsLevel)
{
    const std::vector<float> levels = SurfaceLevels();
    ASSERT_GE(levels.size(), 4u);
    const float middle = (levels[levels.size() / 2 - 1] + levels[levels.size() / 2]) / 2.0f;
    struct Case
    {
        const char* name;
        float low, high; // threshold
        float w0, w1;    // window
        bool shown;
    };
    const Case cases[] = {
        {"everything (lo = hi)", 0, 0, 2, 10, true},
        {"at least the middle (lo > hi)", middle, -1, 2, 10, true},
        {"within the lower half (lo < hi)", levels.front() - 1, middle, levels.front(), levels.back(), true},
        {"a window below every level", 0, 0, -20, -10, true},
        {"a window above every level", 0, 0, 100, 200,
         model->GetGeneColormap()->entries[0] + model->GetGeneColormap()->entries[1] +
                 model->GetGeneColormap()->entries[2] !=
             0},
        {"nothing passes", 1000, -1, 2, 10, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        model->SetExpressionLevelVisibilityThreshold(c.low, c.high, false);
        model->SetExpressionWindow(c.w0, c.w1, false);
        mesh->RecolorSamples(data.get(), space, model.get());
        unsigned char grey[3];
        mesh->GetGrayColor(model.get(), grey);
        EXPECT_EQ((1.0f - model->GetGeneColormap()->meanValue / 255.0f) * 110.0f + 60.0f >= grey[0], true);
        bool shown = false;
        const auto expected = Expected(grey[0], shown);
        EXPECT_EQ(c.shown, shown);
        const auto actual = Actual();
        for (std::size_t i = 0; i < actual.size(); ++i)
            if (expected[i] != actual[i])
            {
                float w0, w1;
                model->GetExpressionWindow(w0, w1);
                ADD_FAILURE() << "vertex " << i << " sample " << mesh->GetVertices()[i].sampleId << " expected "
                              << int(expected[i][0]) << "," << int(expected[i][1]) << "," << int(expected[i][2])
                              << " got " << int(actual[i][0]) << "," << int(actual[i][1]) << "," << int(actual[i][2])
                              << " window " << w0 << " " << w1;
                break;
            }
        EXPECT_EQ(!c.shown, mesh->IsHidden());
    }
}

TEST_F(SampleColoringTest, GreyOfTheVerticesWithoutASample)
{
    struct Case
    {
        const char* name;
        int mode;
        int meanValue; // -1: no colormap
        unsigned char grey;
    };
    const Case cases[] = {
        {"no colormap", 1, -1, 100}, {"a colormap of mean 0", 3, 0, 170}, {"of mean 255", 3, 255, 60}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Colormap colormap;
        colormap.Create(256);
        colormap.valid = true;
        colormap.meanValue = static_cast<unsigned char>(c.meanValue);
        ColoringState state;
        state.mode = c.mode;
        state.colormap = c.meanValue < 0 ? nullptr : &colormap;
        // Black entries colour nothing: only the grey is left.
        state.selector = GeneralAnnotationSelector<unsigned long long>(64, c.mode != 1);
        mesh->RecolorSamples(data.get(), space, &state);
        for (const GLVertexColoredMesh::Point3d& v : mesh->GetVertices())
            ASSERT_EQ(Shaded(c.grey, v.shade), v.color[0]);
        EXPECT_EQ(c.mode == 1 || c.meanValue >= 0, mesh->IsHidden());
    }
    // Without a table outside the atlas mode, or without samples, the surface stays grey and visible.
    ColoringState constant;
    constant.mode = 0;
    mesh->RecolorSamples(data.get(), space, &constant);
    EXPECT_FALSE(mesh->IsHidden());
    MicroarrayExpression empty("", "", "", 0, 0, 0);
    empty.AddAtlasSpace(space);
    mesh->RecolorSamples(&empty, space, model.get());
    EXPECT_FALSE(mesh->IsHidden());
    EXPECT_EQ(&empty, mesh->GetMicroarray());
}

TEST_F(SampleColoringTest, AtlasModeColoursSamplesByTheirStructure)
{
    model->SetGeneColorMode(1, false);
    mesh->RecolorSamples(data.get(), space, model.get());
    const std::shared_ptr<BrainOntology> ontology = atlas->GetOntology();
    std::size_t coloured = 0;
    for (const GLVertexColoredMesh::Point3d& v : mesh->GetVertices())
    {
        const auto sample = samples.find(v.sampleId);
        if (v.sampleId == 0 || sample == samples.end())
            continue;
        const AnnotationLabel* label = ontology->GetAnnotationLabelByDatabaseId(sample->second.structureId);
        EXPECT_EQ(Shaded(label->color[1], v.shade), v.color[1]);
        ++coloured;
    }
    EXPECT_GT(coloured, 0u);
    EXPECT_FALSE(mesh->IsHidden());
}

TEST_F(SampleColoringTest, HitsAndPickNamesGiveGridIds)
{
    model->SetExpressionLevelVisibilityThreshold(0, 0, false);
    mesh->RecolorSamples(data.get(), space, model.get());
    const auto& vertices = mesh->GetVertices();
    const auto& indices = mesh->GetIndices();
    const float range[2] = {-1e6f, 1e6f};
    std::set<unsigned int> gridIdsHit;
    int greyHits = 0;
    unsigned char grey[3];
    mesh->GetGrayColor(model.get(), grey);
    for (std::size_t k = 0; k + 2 < indices.size(); k += 3)
    {
        const GLVertexColoredMesh::Point3d& first = vertices[indices[k]];
        // Just in front of the triangle, looking at it.
        float centre[3], origin[3], direction[3], e1[3], e2[3], normal[3];
        for (int a = 0; a < 3; ++a)
        {
            centre[a] =
                (first.position[a] + vertices[indices[k + 1]].position[a] + vertices[indices[k + 2]].position[a]) / 3;
            e1[a] = vertices[indices[k + 1]].position[a] - first.position[a];
            e2[a] = vertices[indices[k + 2]].position[a] - first.position[a];
        }
        normal[0] = e1[1] * e2[2] - e1[2] * e2[1];
        normal[1] = e1[2] * e2[0] - e1[0] * e2[2];
        normal[2] = e1[0] * e2[1] - e1[1] * e2[0];
        const float length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
        if (length < 1e-6f)
            continue;
        for (int a = 0; a < 3; ++a)
        {
            direction[a] = -normal[a] / length;
            origin[a] = centre[a] - direction[a] * 1e-3f;
        }
        unsigned int gridId = 99;
        const float distance = mesh->HitTest(origin, direction, range, range, range, model.get(), gridId);
        ASSERT_LT(distance, 0.01f);
        const bool isGrey = first.color[0] == Shaded(grey[0], first.shade) &&
                            first.color[1] == Shaded(grey[1], first.shade) &&
                            first.color[2] == Shaded(grey[2], first.shade);
        const unsigned int expected = isGrey ? 0 : data->GetGridIdFromSampleId(first.sampleId, space);
        EXPECT_EQ(expected, gridId) << "triangle " << k / 3;
        if (gridId != 0)
            gridIdsHit.insert(gridId);
        greyHits += isGrey;
    }
    EXPECT_FALSE(gridIdsHit.empty());
    EXPECT_GT(greyHits, 0);

    // Pick names: the grid id of each group's sample, plus the base; 0 for groups without one.
    std::vector<GLuint> buffer(1 << 16);
    glSelectBuffer(static_cast<GLsizei>(buffer.size()), buffer.data());
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(0);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-1000, 1000, -1000, 1000, -1000, 1000);
    mesh->Draw(nullptr, true, 5000);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    const GLint hits = glRenderMode(GL_RENDER);
    ASSERT_GT(hits, 0);
    std::set<unsigned int> names, expectedNames;
    for (GLint h = 0, at = 0; h < hits; ++h)
    {
        for (GLuint n = 0; n < buffer[static_cast<std::size_t>(at)]; ++n)
            names.insert(buffer[static_cast<std::size_t>(at + 3) + n]);
        at += 3 + static_cast<GLint>(buffer[static_cast<std::size_t>(at)]);
    }
    std::size_t start = 0;
    for (const std::uint32_t count : mesh->GetGroupSizes())
    {
        if (count == 0)
            continue;
        const unsigned int gridId = data->GetGridIdFromSampleId(vertices[indices[start]].sampleId, space);
        expectedNames.insert(gridId == 0 ? 0 : gridId + 5000);
        start += count;
    }
    EXPECT_EQ(expectedNames, names);

    // A hidden surface is not hit.
    model->SetExpressionLevelVisibilityThreshold(1000, -1, false);
    mesh->RecolorSamples(data.get(), space, model.get());
    unsigned int gridId = 7;
    const float down[3] = {0, 0, -1}, above[3] = {vertices[0].position[0], vertices[0].position[1], 1e5f};
    EXPECT_EQ(NO_HIT, mesh->HitTest(above, down, range, range, range, model.get(), gridId));
    EXPECT_EQ(0u, gridId);
    EXPECT_TRUE(RecordFeedback([&] { mesh->Draw(nullptr, false, 0); }).empty());
}

TEST_F(SampleColoringTest, TheRequestedSampleIsPatchedGreenInTheVertexBuffer)
{
    model->SetExpressionLevelVisibilityThreshold(0, 0, false);
    mesh->RecolorSamples(data.get(), space, model.get());
    ASSERT_FALSE(mesh->IsImmediateMode()) << "the test context offers vertex buffers";
    std::vector<unsigned int> ids;
    for (const auto& [id, vertices] : mesh->GetSampleVertices())
        ids.push_back(id);
    ASSERT_GE(ids.size(), 2u);
    const auto uses = [&](unsigned int id) {
        std::size_t count = 0;
        for (const std::uint32_t index : mesh->GetIndices())
            count += mesh->GetVertices()[index].sampleId == id;
        return count;
    };
    const auto greenVertices = [&] {
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(-1000, 1000, -1000, 1000, -1000, 1000);
        const auto primitives = RecordFeedback([&] { mesh->Draw(nullptr, false, 0); });
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        std::size_t green = 0;
        for (const FeedbackPrimitive& p : primitives)
            for (const FeedbackVertex& v : p.vertices)
                green += std::lround(v.rgba[0] * 255) == 0 && std::lround(v.rgba[1] * 255) == 204 &&
                         std::lround(v.rgba[2] * 255) == 0;
        return green;
    };
    EXPECT_EQ(0u, greenVertices());
    EXPECT_TRUE(mesh->HighlightSample(ids[0]));
    EXPECT_FALSE(mesh->HighlightSample(ids[0]));
    EXPECT_EQ(uses(ids[0]), greenVertices());
    mesh->HighlightSample(ids[1]);
    EXPECT_EQ(uses(ids[1]), greenVertices());
    mesh->HighlightSample(0);
    EXPECT_EQ(0u, greenVertices());
}

TEST_F(SampleColoringTest, StructuresTakeTheColourOfTheirSamples)
{
    BrainMeshSet meshes(space);
    const auto colors = [&] {
        std::vector<std::array<float, 3>> result;
        for (const BrainMeshSet::Structure& s : meshes.GetStructures())
            result.push_back({s.color[0], s.color[1], s.color[2]});
        return result;
    };
    const auto labelColors = colors();
    model->SetExpressionLevelVisibilityThreshold(0, 0, false);
    const Colormap* jet = model->GetGeneColormap();
    ASSERT_NE(nullptr, jet);

    // The selected sample's structure is green; the others with a sample take the colour of the last one.
    const Expressor* selected = data->GetExpressorAtGrid(1, space);
    ASSERT_NE(nullptr, selected);
    ASSERT_NE(nullptr, selected->label);
    model->SelectExpressor(data.get(), space, const_cast<Expressor*>(selected), false);
    meshes.ColorByExpressionLevel(model.get(), space, data.get());
    const std::shared_ptr<BrainOntology> ontology = atlas->GetOntology();
    const std::vector<float>& levels = *data->GetMicroarrayExpressionLevels(space);
    std::map<unsigned long, std::array<float, 3>> expected;
    float w0, w1;
    model->GetExpressionWindow(w0, w1);
    for (const PointSet::Point3d& point : data->GetMicroarrayPointAnnotation(space)->points)
    {
        const int entry = Entry(levels[static_cast<std::size_t>(point.index) + 2], w0, w1);
        for (int c = 0; c < 3; ++c)
            expected[point.structureId][static_cast<std::size_t>(c)] =
                jet->entries[static_cast<std::size_t>(3 * entry + c)] / 255.0f;
    }
    const auto result = colors();
    for (std::size_t i = 0; i < result.size(); ++i)
    {
        const AnnotationLabel* label = meshes.GetStructures()[i].label;
        SCOPED_TRACE(label->abbreviation);
        std::array<float, 3> want = {0.33f, 0.33f, 0.33f};
        if (label == selected->label)
            want = {0.0f, 0.92f, 0.0f};
        else if (expected.count(label->databaseId))
            want = expected[label->databaseId];
        EXPECT_EQ(want, result[i]);
    }

    // No table outside the atlas mode leaves the colours; no data restores the label colours.
    model->SetGeneColorMode(0, false);
    meshes.ColorByExpressionLevel(model.get(), space, data.get());
    EXPECT_EQ(result, colors());
    meshes.ColorByExpressionLevel(model.get(), space, nullptr);
    EXPECT_EQ(labelColors, colors());
}
