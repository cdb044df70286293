#include "SceneFixture.h"

#include <GL/glu.h>

#include "atlas/BrainMeshSet.h"
#include "scene/ExpressionRenderer.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <regex>
#include <set>

namespace
{

using namespace scenetest;

// The generator's atlas 310 drawn by the scene into the harness's framebuffer (256 x 256), with a data set
// read from a bare grid whose expressors lie in one structure.
class ScenePixelsTest : public SceneTest
{
public:
    void SetUp() override
    {
        SceneTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        MakeScene(Installed(310), kWidth, kHeight);
        unsigned short value = 0;
        const std::string bytes = StructureGridBytes(*model->GetAtlas(), value);
        auto gene = std::make_shared<GeneExpression>(bytes.data(), static_cast<unsigned long>(bytes.size()));
        genes.push_back(gene);
        model->AddGeneExpression(gene, false);
        model->SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
        model->SetGeneColorMode(0, false);
        model->SetGeneColor(0, 0.0f, 1.0f, 0.0f);
        model->SetExpressionSelector(BrainExpressionModel::Selector(Ontology().GetNumLabels(), true), true);
        model->SetExpressionWindow(0.0f, 255.0f, true);
        model->SetStructureSelector(BrainExpressionModel::Selector(Ontology().GetNumLabels(), false), true);
        data = gene.get();
    }

    std::array<double, 4> ScreenBox() { return GlyphScreenBox(View(0), *data); }

    struct Lit
    {
        int inside = 0;
        int outside = 0;
        int greenest = 0; // pixels whose green is their largest channel
    };

    Lit LitPixels(const std::array<double, 4>& box)
    {
        display->Display();
        Lit lit;
        const std::vector<std::uint8_t> pixels = Framebuffer().ReadPixels();
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
            {
                const std::uint8_t* p = &pixels[4 * (y * kWidth + x)];
                if (p[0] + p[1] + p[2] < 8)
                    continue;
                const bool in = x >= box[0] - 1 && x <= box[2] + 1 && y >= box[1] - 1 && y <= box[3] + 1;
                ++(in ? lit.inside : lit.outside);
                lit.greenest += p[1] >= p[0] && p[1] >= p[2];
            }
        return lit;
    }

    GeneExpression* data = nullptr;
};

TEST_F(ScenePixelsTest, GlyphsLightOnlyTheirScreenBox)
{
    ASSERT_GT(data->GetExpressors(Space())->size(), 20u);
    const std::array<double, 4> box = ScreenBox();
    // The box is a small part of the window.
    EXPECT_LT((box[2] - box[0]) * (box[3] - box[1]), 0.5 * kWidth * kHeight);
    const Lit lit = LitPixels(box);
    EXPECT_GT(lit.inside, 30);
    EXPECT_EQ(0, lit.outside);
    EXPECT_EQ(lit.inside, lit.greenest);

    model->SetGeneVisible(0, false);
    const Lit hidden = LitPixels(box);
    EXPECT_EQ(0, hidden.inside + hidden.outside);
}

TEST_F(ScenePixelsTest, PovRayRendersGlyphsAndMeshesExportedTogether)
{
    // Three structures drawn: the first levels of the tree.
    BrainExpressionModel::Selector structures(Ontology().GetNumLabels(), false);
    for (unsigned int i = 1; i < 4; ++i)
        structures.Set(i, true);
    model->SetStructureSelector(structures, false);
    TempDir out;
    const std::string prefix = out.Path() + "/";
    renderer->ExportPOVRay(prefix.c_str());
    const std::string glyphFile = prefix + data->GetSymbol() + ".pov";
    ASSERT_TRUE(std::filesystem::exists(glyphFile)) << glyphFile;
    ASSERT_TRUE(std::filesystem::exists(prefix + "mesh_usage.pov"));

    WriteWholeFile(prefix + "scene.pov",
                   "#version 3.7;\n"
                   "global_settings { assumed_gamma 1.0 }\n"
                   "#macro make_color(r, g, b) pigment { color rgb <r, g, b> } #end\n"
                   "#declare structFinish = finish { ambient 0.3 diffuse 0.7 }\n"
                   "#macro DrawExpressor(X, Y, Z, S, R, G, B)\n"
                   "  sphere { <X, Y, Z>, S pigment { color rgb <R, G, B> } finish { ambient 0.5 } }\n"
                   "#end\n"
                   "background { color rgb <0, 0, 0> }\n"
                   "camera { location <33, 20, -90> look_at <33, 20, 29> }\n"
                   "light_source { <33, -100, -200> color rgb <1, 1, 1> }\n"
                   "#include \"mesh_usage.pov\"\n"
                   "#include \"" +
                       data->GetSymbol() + ".pov\"\n");
    const std::string render =
        "cd '" + out.Path() + "' && povray +Iscene.pov +Oscene.png +FN +W64 +H48 -D -GA > povray.log 2>&1";
    ASSERT_EQ(0, std::system(render.c_str())) << ReadWholeFile(prefix + "povray.log").size();
    EXPECT_GT(std::filesystem::file_size(prefix + "scene.png"), 100u);

    // An independent reading of the glyph lines (Python) against the expressors the model shows.
    const std::string parse = "python3 -c \"import re,sys\n"
                              "for line in open(sys.argv[1]):\n"
                              "    m = re.fullmatch(r'DrawExpressor\\(([^,]+),([^,]+),([^,]+),([^,]+),"
                              "([^,]+),([^,]+),([^,]+)\\)\\n', line)\n"
                              "    assert m, line\n"
                              "    print('%.3f %.3f %.3f' % tuple(float(v) for v in m.groups()[:3]))\n\" '" +
                              glyphFile + "' > '" + prefix + "parsed.txt'";
    ASSERT_EQ(0, std::system(parse.c_str()));
    std::set<std::string> parsed;
    std::ifstream in(prefix + "parsed.txt");
    for (std::string line; std::getline(in, line);)
        parsed.insert(line);
    std::set<std::string> visible;
    for (const Expressor& e : *data->GetExpressors(Space()))
        if (ExpressionRenderer::ExpressorVisible(model.get(), Space(), &e, data))
        {
            char text[64];
            std::snprintf(text, sizeof text, "%.3f %.3f %.3f", e.position[0], e.position[1], e.position[2]);
            visible.insert(text);
        }
    EXPECT_FALSE(visible.empty());
    EXPECT_EQ(visible, parsed);
}

} // namespace
