#include "SceneFixture.h"

#include <filesystem>

namespace
{

using namespace scenetest;

// The orientation compass in the top-right corner of a 256 x 256 scene: the atlas's "compass.msh" in
// grey, or coloured axes when the file is missing or cannot be read.
class SceneCompassTest : public SceneTest
{
public:
    struct Corner
    {
        int lit = 0;     // anything drawn
        int red = 0;     // the axes' red bar
        int outside = 0; // lit pixels away from the corner square
    };

    Corner Draw()
    {
        display->Display();
        Corner corner;
        const std::vector<std::uint8_t> pixels = Framebuffer().ReadPixels();
        const float s = renderer->GetCompassSize();
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
            {
                const std::uint8_t* p = &pixels[4 * (y * kWidth + x)];
                if (p[0] + p[1] + p[2] < 8)
                    continue;
                const bool in = x >= kWidth - s - 1 && y >= kHeight - s - 1;
                ++(in ? corner.lit : corner.outside);
                corner.red += p[0] > 100 && p[0] > p[1] + 60 && p[0] > p[2] + 60;
            }
        return corner;
    }

    // A copy of the small atlas 310 whose compass file is replaced (empty: removed).
    std::shared_ptr<Atlas> AtlasWithCompass(const std::string* bytes)
    {
        const std::string folder = copies.File(std::to_string(copies.count++));
        std::filesystem::copy(MicroAtlas(310)->GetPath(), folder, std::filesystem::copy_options::recursive);
        std::filesystem::remove(folder + "/compass.msh");
        if (bytes)
            WriteWholeFile(folder + "/compass.msh", *bytes);
        return std::make_shared<Atlas>(folder);
    }

    struct Copies : TempDir
    {
        int count = 0;
    } copies;
};

TEST_F(SceneCompassTest, MeshOrAxesInTheCorner)
{
    const std::vector<unsigned char> good = ReadWholeFile(MicroAtlas(310)->GetPath() + "/compass.msh");
    const std::string whole(good.begin(), good.end());
    const std::string truncated = whole.substr(0, whole.size() / 2);
    const std::string garbage = "\xff\xff\xff\x7f not a mesh";
    struct Case
    {
        const char* name;
        const std::string* bytes;
        bool axes;
    };
    const Case cases[] = {{"the atlas's compass", &whole, false},
                          {"no compass file", nullptr, true},
                          {"a truncated file", &truncated, true},
                          {"a count past the end", &garbage, true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        renderer.reset();
        model.reset();
        display.reset();
        MakeScene(AtlasWithCompass(c.bytes), kWidth, kHeight);
        model->SetStructureSelector(BrainExpressionModel::Selector(Ontology().GetNumLabels(), false), false);
        ASSERT_EQ(BrainExpressionModel::COMPASS_IN_CORNER, model->GetCompassLocation());
        EXPECT_FLOAT_EQ(90.0f, renderer->GetCompassSize());
        const Corner first = Draw();
        EXPECT_NE(0u, renderer->GetCompassList());
        EXPECT_GT(first.lit, 500);
        EXPECT_EQ(0, first.outside);
        EXPECT_EQ(c.axes, first.red > 20) << first.red;
        // The list was closed: later frames draw the same.
        const Corner second = Draw();
        EXPECT_EQ(first.lit, second.lit);
        EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
    }
    renderer.reset();
}

TEST_F(SceneCompassTest, HiddenOrAtBregmaLeavesTheCornerEmpty)
{
    MakeScene(AtlasWithCompass(nullptr), kWidth, kHeight);
    model->SetStructureSelector(BrainExpressionModel::Selector(Ontology().GetNumLabels(), false), false);
    model->SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
    EXPECT_EQ(0, Draw().lit);
    EXPECT_EQ(0u, renderer->GetCompassList());
}

} // namespace
