#include "SceneFixture.h"

#include <GL/glu.h>

#include "atlas/Colormap.h"
#include "core/GeometryUtils.h"
#include "core/Image3dPlane.h"
#include "gl/support/GLFeedback.h"
#include "scene/MPRRenderer.h"

#include <cmath>

namespace
{

using namespace scenetest;

std::shared_ptr<Atlas> DemoAtlas()
{
    static TempDir dir;
    static std::shared_ptr<Atlas> atlas;
    if (!atlas)
    {
        GenerateAtlas("demo", 310, dir.File("310"));
        atlas = std::make_shared<Atlas>(dir.File("310"));
    }
    return atlas;
}

bool InSubtree(const AnnotationLabel* label, const AnnotationLabel* root)
{
    for (; label; label = label->parent)
        if (label == root)
            return true;
    return false;
}

// The slice straight from the space's files: grey from "Atlas", colours by "Annotation" value.
struct SpaceFiles
{
    explicit SpaceFiles(const AtlasSpace& space)
        : annotation(ReadWholeFile(space.GetPath() + "/Annotation"))
        , grey(ReadWholeFile(space.GetPath() + "/Atlas"))
    {
    }
    std::vector<unsigned char> annotation;
    std::vector<unsigned char> grey;
};

std::vector<unsigned char> ExpectedSlice(Atlas& atlas, AtlasSpace& space, const SpaceFiles& files, int plane, int k,
                                         float alpha, const AnnotationLabel* selected)
{
    const unsigned int* d = space.GetAtlasDimensions();
    const std::vector<unsigned char>& annotation = files.annotation;
    const std::vector<unsigned char>& grey = files.grey;
    const std::size_t voxels = std::size_t(d[0]) * d[1] * d[2];
    const std::size_t width = annotation.size() / voxels;
    const Colormap& colormap = atlas.GetAnnotationColormap();
    const int u = plane == 0 ? 1 : 0;
    const int v = plane == 2 ? 1 : 2;
    const int* b = space.GetAtlasBregma();
    int spacing[3];
    for (int a = 0; a < 3; ++a)
    {
        const float r = space.GetAtlasResolution()[a];
        spacing[a] = static_cast<int>(r < 500 ? 1000 / r : 10000 / r);
    }
    const bool large = std::max({d[0], d[1], d[2]}) >= 256;
    const unsigned int weight = static_cast<unsigned int>(alpha * 65536 + 0.5f);
    std::vector<unsigned char> out;
    for (unsigned int j = 0; j < d[v]; ++j)
        for (unsigned int i = 0; i < d[u]; ++i)
        {
            unsigned int c[3];
            c[plane] = static_cast<unsigned int>(k);
            c[u] = i;
            c[v] = j;
            const std::size_t at = c[0] + std::size_t(d[0]) * (c[1] + std::size_t(d[1]) * c[2]);
            const unsigned int value = width == 2 ? annotation[2 * at] | (annotation[2 * at + 1] << 8) : annotation[at];
            int g = grey[at];
            const bool line = (spacing[u] - b[u] % spacing[u] + int(i)) % spacing[u] == 0 ||
                              (spacing[v] - b[v] % spacing[v] + int(j)) % spacing[v] == 0;
            if (line)
                g = large ? (g < 201 ? g + 55 : g) : (g < 11 ? g + 30 : g - 10);
            unsigned char rgb[3];
            const AnnotationLabel* label = atlas.GetOntology()->GetAnnotationLabel(static_cast<unsigned short>(value));
            if (int(j) == b[v] || int(i) == b[u])
                std::copy_n("\x00\x00\xc8", 3, rgb);
            else if (value != 0 && selected && InSubtree(label, selected))
                std::copy_n("\x00\xff\x00", 3, rgb);
            else
                std::copy_n(&colormap.entries[3 * (value < colormap.entries.size() / 3 ? value : 0)], 3, rgb);
            for (int ch = 2; ch >= 0; --ch)
                out.push_back(static_cast<unsigned char>((rgb[ch] * weight + g * (65536 - weight)) >> 16));
            out.push_back(255);
        }
    return out;
}

class SliceTest : public SceneTest
{};

TEST_F(SliceTest, FillMatchesTheFilesForEveryPlaneAlphaAndSelection)
{
    struct Source
    {
        const char* name;
        std::shared_ptr<Atlas> atlas;
    };
    const Source sources[] = {{"micro", MicroAtlas(310)}, {"tiny", Installed(310)}, {"demo", DemoAtlas()}};
    for (const Source& source : sources)
    {
        SCOPED_TRACE(source.name);
        BrainExpressionModel state(source.atlas);
        AtlasSpace& space = *source.atlas->GetSpace(0u);
        const unsigned int* d = space.GetAtlasDimensions();
        const SpaceFiles files(space);
        // A structure with children, so that its whole subtree lights up.
        const AnnotationLabel* parent = nullptr;
        for (unsigned int i = 1; i < source.atlas->GetOntology()->GetNumLabels() && !parent; ++i)
        {
            const AnnotationLabel* label = source.atlas->GetOntology()->GetAnnotationLabelByIndex(i);
            if (!label->children.empty() && label->parent && label->parent->index != 0)
                parent = label;
        }
        ASSERT_TRUE(parent);
        for (const float alpha : {0.0f, 0.15f, 1.0f})
            for (const AnnotationLabel* selected : {static_cast<const AnnotationLabel*>(nullptr), parent})
                for (int plane = 0; plane < 3; ++plane)
                    for (const float location : {0.0f, 0.5f, 1.0f})
                    {
                        SCOPED_TRACE("alpha " + std::to_string(alpha) + " plane " + std::to_string(plane) + " at " +
                                     std::to_string(location) + (selected ? " selected" : ""));
                        state.SetAnnotationAlpha(alpha, false);
                        state.SelectStructure(selected, false);
                        const int k = MPRRenderer::SliceIndex(location * d[plane], d[plane]);
                        EXPECT_EQ(location == 0.0f   ? 0
                                  : location == 1.0f ? int(d[plane]) - 1
                                                     : int(d[plane] / 2.0f + 0.5f),
                                  k);
                        const std::vector<unsigned char> expected =
                            ExpectedSlice(*source.atlas, space, files, plane, k, alpha, selected);
                        std::vector<unsigned char> filled(expected.size(), 7);
                        ASSERT_TRUE(MPRRenderer::FillSlice(state, space, plane, k, filled.data()));
                        ASSERT_EQ(expected, filled);
                    }
    }
}

TEST_F(SliceTest, GridThroughTheBregmaAndWeightsOutsideTheUnitRange)
{
    std::shared_ptr<Atlas> atlas = Installed(310);
    BrainExpressionModel state(atlas);
    AtlasSpace& space = *atlas->GetSpace(0u);
    const unsigned int* d = space.GetAtlasDimensions();
    const int* b = space.GetAtlasBregma();
    const int spacing = static_cast<int>(1000 / space.GetAtlasResolution()[1]);
    state.SetAnnotationAlpha(0.0f, false);
    std::vector<unsigned char> pure(std::size_t(d[0]) * d[2] * 4);
    ASSERT_TRUE(MPRRenderer::FillSlice(state, space, 1, b[1], pure.data()));
    // An alpha past 1 blends as 1 and one below 0 as 0, instead of wrapping the channel bytes.
    std::vector<unsigned char> over(pure.size());
    std::vector<unsigned char> full(pure.size());
    std::vector<unsigned char> under(pure.size());
    state.SetAnnotationAlpha(1.5f, false);
    ASSERT_TRUE(MPRRenderer::FillSlice(state, space, 1, b[1], over.data()));
    state.SetAnnotationAlpha(1.0f, false);
    ASSERT_TRUE(MPRRenderer::FillSlice(state, space, 1, b[1], full.data()));
    state.SetAnnotationAlpha(-2.0f, false);
    ASSERT_TRUE(MPRRenderer::FillSlice(state, space, 1, b[1], under.data()));
    EXPECT_EQ(full, over);
    EXPECT_EQ(pure, under);
    // At full colour the bregma column and row are blue; the grid column through the bregma and its
    // neighbours a millimetre away stand out of the grey at alpha 0 (voxels of 0 grey show 30).
    const auto pixel = [&](const std::vector<unsigned char>& image, int i, int j) {
        return &image[4 * (std::size_t(j) * d[0] + i)];
    };
    EXPECT_EQ(200, pixel(full, b[0], 3)[0]);
    EXPECT_EQ(200, pixel(full, 3, b[2])[0]);
    const std::vector<unsigned char> grey = ReadWholeFile(space.GetPath() + "/Atlas");
    for (const int column : {b[0], b[0] - spacing, b[0] + spacing})
    {
        const std::size_t at = column + std::size_t(d[0]) * (b[1] + std::size_t(d[1]) * 1);
        const int g = grey[at];
        EXPECT_EQ(g < 11 ? g + 30 : g - 10, pixel(pure, column, 1)[0]) << column;
    }
}

TEST_F(SliceTest, ReloadsOnlyOnANewVoxelOrAfterAReset)
{
    MakeScene(Installed(310));
    MPRRenderer& slices = *View(0).GetSliceRenderer();
    const unsigned int* d = Space()->GetAtlasDimensions();
    EXPECT_EQ(int(d[1]), slices.GetTexture(0).GetWidth());
    EXPECT_EQ(int(d[2]), slices.GetTexture(0).GetHeight());
    EXPECT_EQ(int(d[0]), slices.GetTexture(1).GetWidth());
    EXPECT_EQ(int(d[1]), slices.GetTexture(2).GetHeight());
    slices.LoadCoronalSlice(10.2f);
    EXPECT_EQ(10, slices.GetLoadedSlice(0));
    // A marker in the buffer shows whether the next load refills it.
    GLTexture& texture = slices.GetTexture(0);
    texture.GetPixels()[3] = 1;
    slices.LoadCoronalSlice(10.4f);
    EXPECT_EQ(1, texture.GetPixels()[3]);
    slices.LoadCoronalSlice(10.6f);
    EXPECT_EQ(11, slices.GetLoadedSlice(0));
    EXPECT_EQ(255, texture.GetPixels()[3]);
    texture.GetPixels()[3] = 1;
    slices.ResetSlices();
    EXPECT_EQ(-1, slices.GetLoadedSlice(0));
    slices.LoadCoronalSlice(11.0f);
    EXPECT_EQ(255, texture.GetPixels()[3]);
    slices.LoadSagittalSlice(-3.0f);
    EXPECT_EQ(0, slices.GetLoadedSlice(2));
    slices.LoadAxialSlice(d[1] + 5.0f);
    EXPECT_EQ(int(d[1]) - 1, slices.GetLoadedSlice(1));
}

// Where a point lands in the window with the current matrices.
std::array<double, 2> Window(const float* p)
{
    GLdouble modelView[16], projection[16], x, y, z;
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    gluProject(p[0], p[1], p[2], modelView, projection, viewport, &x, &y, &z);
    return {x, y};
}

TEST_F(SliceTest, QuadsOutlinesAndNearestHit)
{
    MakeScene(Installed(310));
    MPRRenderer& slices = *View(0).GetSliceRenderer();
    AtlasSpace& space = *Space();
    const unsigned int* d = space.GetAtlasDimensions();
    float s[3];
    for (int a = 0; a < 3; ++a)
        s[a] = space.GetAtlasResolution()[a] / space.GetViewResolution()[a];
    const float locations[3] = {0.25f, 0.3f, 0.35f};
    for (int p = 0; p < 3; ++p)
    {
        model->SetMPRSliceLocation(static_cast<Image3dPlane::Plane>(p), locations[p], false);
        model->SetMPRPlaneVisible(static_cast<Image3dPlane::Plane>(p), true, false);
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-50, 700, -50, 700, -2000, 2000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(30, 1, 1, 0);
    glDisable(GL_LIGHTING); // as the view draws its slices
    const auto primitives = RecordFeedback([&] { slices.Display(0); });
    // Axial, coronal, sagittal: each a textured quad (two triangles) and its grey outline (four segments)
    // half a voxel outside.
    ASSERT_EQ(18u, primitives.size());
    const int order[3] = {1, 0, 2};
    const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int n = 0; n < 3; ++n)
    {
        const int plane = order[n];
        const int u = plane == 0 ? 1 : 0;
        const int v = plane == 2 ? 1 : 2;
        const auto corner = [&](int i, float grow) {
            float p[3];
            p[plane] = locations[plane] * d[plane] * s[plane];
            p[u] = (corners[i][0] * (d[u] + 2 * grow) - grow) * s[u];
            p[v] = (corners[i][1] * (d[v] + 2 * grow) - grow) * s[v];
            return Window(p);
        };
        std::vector<FeedbackVertex> quad;
        for (int t = 0; t < 2; ++t)
        {
            const FeedbackPrimitive& triangle = primitives[6 * n + t];
            ASSERT_EQ(FeedbackPrimitive::kPolygon, triangle.kind) << plane;
            quad.insert(quad.end(), triangle.vertices.begin(), triangle.vertices.end());
        }
        for (int i = 0; i < 4; ++i)
        {
            const std::array<double, 2> w = corner(i, 0.0f);
            EXPECT_TRUE(std::any_of(quad.begin(), quad.end(),
                                    [&](const FeedbackVertex& q) {
                                        return std::abs(q.x - w[0]) < 0.01 && std::abs(q.y - w[1]) < 0.01 &&
                                               q.rgba[0] == 1.0f;
                                    }))
                << plane << " corner " << i;
            const FeedbackPrimitive& segment = primitives[6 * n + 2 + i];
            ASSERT_EQ(FeedbackPrimitive::kLine, segment.kind);
            const std::array<double, 2> outline = corner(i, 0.5f);
            EXPECT_NEAR(outline[0], segment.vertices[0].x, 0.01) << plane << " outline " << i;
            EXPECT_NEAR(outline[1], segment.vertices[0].y, 0.01) << plane << " outline " << i;
            EXPECT_NEAR(0.25f, segment.vertices[0].rgba[0], 1e-3);
        }
    }
    struct Case
    {
        std::array<float, 3> origin, direction;
        bool visible[3];
        int index;
    };
    const float x = locations[0] * d[0] * s[0], y = locations[1] * d[1] * s[1], z = locations[2] * d[2] * s[2];
    const float k = 0.57735027f;
    const Case cases[] = {
        // Planes 0, 1 and 2 lie 1, 3 and 5 units along the ray.
        {{x - 1, y - 3, z - 5}, {k, k, k}, {true, true, true}, 0},
        {{x - 1, y - 3, z - 5}, {k, k, k}, {false, true, true}, 1},
        {{x - 1, y - 3, z - 5}, {k, k, k}, {false, false, true}, 2},
        {{x + 1, y + 1, -10}, {0, 0, 1}, {true, true, true}, 2},
        {{x + 1, y + 1, -10}, {0, 0, 1}, {true, true, false}, -1},
        {{-10, y + 2, z + 3}, {1, 0, 0}, {true, false, false}, 0},
        {{x + 2, -10, z + 3}, {0, 1, 0}, {true, true, true}, 1},
    };
    for (const Case& c : cases)
    {
        for (int p = 0; p < 3; ++p)
            model->SetMPRPlaneVisible(static_cast<Image3dPlane::Plane>(p), c.visible[p], false);
        int index = 7;
        const float distance = slices.HitTest(c.origin.data(), c.direction.data(), index);
        EXPECT_EQ(c.index, index);
        EXPECT_EQ(c.index < 0, distance == kRayNoHit);
    }
}

} // namespace
