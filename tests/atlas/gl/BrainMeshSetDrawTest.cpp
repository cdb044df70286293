#include <array>
#include <cmath>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <gtest/gtest.h>

#include "../MeshTestFiles.h"
#include "RecordingHooks.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainMeshSet.h"
#include "atlas/BrainOntology.h"
#include "gl/support/GLTest.h"

// The structure mesh set of the generator's tiny atlas drawn into the harness's framebuffer and picked in
// selection mode. The view grid (67 x 41 x 58 voxels, the mesh grid too) fills the framebuffer.

namespace
{

using namespace meshtest;

class BrainMeshSetDrawTest : public GLTest
{
protected:
    void SetUp() override
    {
        GLTest::SetUp();
        if (HasFailure())
            return;
        REQUIRE_GENERATOR();
        atlas = std::make_unique<Atlas>(CopyTinyAtlas(dir.File("tiny")));
        ontology = atlas->GetOntology();
        meshes = std::make_unique<BrainMeshSet>(atlas->GetSpace(0u));
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 67, 0, 41, -100, 100);
        glMatrixMode(GL_MODELVIEW);
    }

    const AnnotationLabel* Label(const char* abbreviation) const { return ontology->GetAnnotationLabel(abbreviation); }

    BrainMeshSet::Selector Only(const char* abbreviation) const
    {
        BrainMeshSet::Selector selector(ontology->GetNumLabels(), false);
        selector.Set(Label(abbreviation)->index, true);
        return selector;
    }

    BrainMeshSet::Selector All() const { return BrainMeshSet::Selector(ontology->GetNumLabels(), true); }

    // Every pixel that is not the black background, counted by colour.
    std::map<std::array<int, 3>, int> DrawnColours(const BrainMeshSet::Selector& selector,
                                                   const AnnotationLabel* selected)
    {
        glClear(GL_COLOR_BUFFER_BIT);
        meshes->Draw(selector, selected, false, 0, 0, 0);
        const std::vector<std::uint8_t> pixels = Framebuffer().ReadPixels();
        std::map<std::array<int, 3>, int> colours;
        for (std::size_t p = 0; p < pixels.size(); p += 4)
            if (pixels[p] || pixels[p + 1] || pixels[p + 2])
                ++colours[{pixels[p], pixels[p + 1], pixels[p + 2]}];
        return colours;
    }

    std::set<unsigned int> PickedNames(const BrainMeshSet::Selector& selector, unsigned int nameBase)
    {
        std::vector<GLuint> buffer(1 << 16);
        glSelectBuffer(static_cast<GLsizei>(buffer.size()), buffer.data());
        glRenderMode(GL_SELECT);
        glInitNames();
        glPushName(0);
        meshes->Draw(selector, nullptr, true, static_cast<int>(nameBase), 0, 0);
        const GLint hits = glRenderMode(GL_RENDER);
        EXPECT_GE(hits, 0) << "selection buffer overflow";
        std::set<unsigned int> names;
        for (GLint h = 0, at = 0; h < hits; ++h)
        {
            for (GLuint k = 0; k < buffer[at]; ++k)
                names.insert(buffer[at + 3 + k]);
            at += 3 + static_cast<GLint>(buffer[at]);
        }
        return names;
    }

    // The pick names of the structures that have a .msh or .ls file.
    std::set<unsigned int> NamesOfOwnFiles(unsigned int nameBase) const
    {
        std::set<unsigned int> names;
        for (unsigned int i = 1; i < ontology->GetNumLabels(); ++i)
        {
            const std::string& name = ontology->GetAnnotationLabelByIndex(i)->meshName;
            const std::string folder = atlas->GetSpace(0u)->GetPath();
            if (!name.empty() &&
                (std::filesystem::exists(MeshPath(name, folder)) || std::filesystem::exists(LinesPath(name, folder))))
                names.insert(i + nameBase);
        }
        return names;
    }

    TempDir dir;
    std::unique_ptr<Atlas> atlas;
    std::shared_ptr<BrainOntology> ontology;
    std::unique_ptr<BrainMeshSet> meshes;
};

void ExpectOnlyColour(const std::map<std::array<int, 3>, int>& colours, const std::array<float, 3>& expected)
{
    ASSERT_FALSE(colours.empty()) << "nothing drawn";
    int pixels = 0;
    for (const auto& entry : colours)
    {
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(expected[c] * 255.0f, entry.first[c], 1.0f) << "channel " << c;
        pixels += entry.second;
    }
    EXPECT_GT(pixels, 20);
}

} // namespace

TEST_F(BrainMeshSetDrawTest, StructuresDrawInTheirColourAndTheSelectedOneInGreen)
{
    struct Case
    {
        const char* structure;
        bool objectRequestedFirst;
    };
    const Case cases[] = {{"Br", true}, {"TH", false}, {"CB", false}, {"int", true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.structure);
        const AnnotationLabel* label = Label(c.structure);
        if (c.objectRequestedFirst)
            meshes->GetObject(label);
        std::array<float, 3> dimmed;
        for (int k = 0; k < 3; ++k)
            dimmed[k] = label->color[k] / 255.0f * 0.7f;
        for (int draw = 0; draw < 2; ++draw)
            ExpectOnlyColour(DrawnColours(Only(c.structure), Label("ac")), dimmed);
        ExpectOnlyColour(DrawnColours(Only(c.structure), label), {0.0f, 0.92f, 0.0f});
    }
}

TEST_F(BrainMeshSetDrawTest, PickNamesAreLabelIndexPlusNameBase)
{
    const unsigned int base = 1000;
    const std::set<unsigned int> own = NamesOfOwnFiles(base);
    const unsigned int brain = Label("Br")->index + base;
    ASSERT_EQ(1u, Label("Br")->index);
    ASSERT_TRUE(own.count(brain));
    struct Case
    {
        bool volumeRendering;
    };
    for (const Case c : {Case{false}, Case{true}})
    {
        SCOPED_TRACE(c.volumeRendering ? "volume rendering" : "surfaces");
        VolumeRenderingSetting setting(c.volumeRendering);
        const std::set<unsigned int> names = PickedNames(All(), base);
        for (const unsigned int name : own)
            EXPECT_EQ(!(c.volumeRendering && name == brain), names.count(name) == 1) << "name " << name;
        // The vertex-coloured surfaces pick by the areas their vertices belong to.
        for (const unsigned int name : names)
        {
            if (own.count(name))
                continue;
            ASSERT_LT(name - base, ontology->GetNumLabels());
            const AnnotationLabel* area = ontology->GetAnnotationLabelByIndex(name - base);
            EXPECT_TRUE(Label("Iso")->subtreeSelector.Intersects(area->selector) ||
                        Label("CBX")->subtreeSelector.Intersects(area->selector))
                << area->abbreviation;
        }
    }
    EXPECT_EQ((std::set<unsigned int>{Label("ac")->index + 7}), PickedNames(Only("ac"), 7));
}

TEST_F(BrainMeshSetDrawTest, UnreadableFileIsToldOnceAndTheRestStillDraws)
{
    const std::string broken = TinyMeshes(dir.File("tiny")) + "/CH.msh";
    std::filesystem::resize_file(broken, 100);
    const unsigned int base = 0;
    RecordingAlerts alerts;
    const std::set<unsigned int> first = PickedNames(All(), base);
    const std::set<unsigned int> second = PickedNames(All(), base);
    const std::string message = "Error while reading mesh file: " + broken;
    // The user hears once which structure is missing, of which atlas, and which file is to blame.
    ASSERT_EQ(1u, alerts.alerts.size());
    for (const std::string& part : {Label("CH")->name, atlas->GetName(), message})
        EXPECT_NE(std::string::npos, alerts.alerts[0].find(part)) << alerts.alerts[0];
    EXPECT_EQ(first, second);
    EXPECT_FALSE(first.count(Label("CH")->index + base));
    EXPECT_TRUE(first.count(Label("TH")->index + base));
    EXPECT_TRUE(first.count(Label("CB")->index + base));
    // Requests other than drawing still report the fault.
    EXPECT_EQ(message, ErrorOf([&] { meshes->GetCentroid(Label("CH")); }));
    EXPECT_EQ(message, ErrorOf([&] { meshes->GetObject(Label("CH")); }));
}
