#include "SceneFixture.h"

#include <GL/glu.h>

#include "atlas/BrainMeshSet.h"
#include "gl/Trackball.h"
#include "scene/ColoredMeshExpressionRenderer.h"
#include "scene/ExpressionRenderer.h"
#include "gl/support/GLFeedback.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <vector>

namespace
{

using namespace scenetest;

class SceneCameraTest : public SceneTest
{
public:
    std::array<float, 16> Matrix(GLenum which)
    {
        std::array<float, 16> m{};
        glGetFloatv(which, m.data());
        return m;
    }

    // A view point through the view's model-view matrix (column-major).
    static std::array<float, 3> Apply(const std::array<float, 16>& m, const std::array<float, 3>& p)
    {
        std::array<float, 3> out{};
        for (int r = 0; r < 3; ++r)
            out[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
        return out;
    }

    // Where a view point lands in the window with the view's camera.
    std::array<double, 2> Screen(BrainSceneView& view, const std::array<float, 3>& p)
    {
        view.SetupViewPort();
        view.DoViewTransforms();
        GLdouble modelView[16], projection[16], winX, winY, winZ;
        GLint viewport[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        gluProject(p[0], p[1], p[2], modelView, projection, viewport, &winX, &winY, &winZ);
        return {winX, winY};
    }
};

TEST_F(SceneCameraTest, OrthographicProjectionOfThePhysicalViewSize)
{
    struct Case
    {
        unsigned int atlas;
        int width, height;
    };
    const Case cases[] = {{310, 640, 480}, {310, 300, 600}, {350, 640, 480}, {350, 1000, 200}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.atlas) + " " + std::to_string(c.width) + " x " + std::to_string(c.height));
        renderer.reset();
        display.reset();
        MakeScene(Installed(c.atlas), c.width, c.height);
        BrainSceneView& view = View(0);
        view.SetupViewPort();
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(view.GetOriginX(), viewport[0]);
        EXPECT_EQ(view.GetWidth(), viewport[2]);
        EXPECT_EQ(view.GetHeight(), viewport[3]);

        const float* size = model->GetAtlas()->GetPhysicalViewSize();
        const float* resolution = Space()->GetViewResolution();
        const float w = static_cast<float>(view.GetWidth());
        const float h = static_cast<float>(view.GetHeight());
        int extentX = 0, extentY = 0;
        if (size[1] <= size[0])
        {
            extentX = static_cast<int>(size[0] / resolution[0]);
            extentY = static_cast<int>(extentX * (h / w));
        }
        else
        {
            extentY = static_cast<int>(size[1] / resolution[1]);
            extentX = static_cast<int>(extentY * (w / h));
        }
        const float halfX = static_cast<float>(extentX / 2);
        const float halfY = static_cast<float>(extentY / 2);
        const std::array<float, 16> p = Matrix(GL_PROJECTION_MATRIX);
        EXPECT_FLOAT_EQ(1.0f / halfX, p[0]);
        EXPECT_FLOAT_EQ(1.0f / halfY, p[5]);
        EXPECT_FLOAT_EQ(-1.0f / (10.0f * halfX), p[10]);
        EXPECT_FLOAT_EQ(0.0f, p[12]);
        EXPECT_FLOAT_EQ(0.0f, p[13]);
        EXPECT_FLOAT_EQ(1.0f, p[15]);
        EXPECT_EQ(Matrix(GL_MODELVIEW_MATRIX), (std::array<float, 16>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    }
}

TEST_F(SceneCameraTest, CameraCentresTheSpaceScaledByZoomAndMovedByTheOrigin)
{
    MakeScene(Installed(310));
    BrainSceneView& view = View(0);
    const unsigned int* d = Space()->GetViewDimensions();
    const std::array<float, 3> centre = {d[0] / 2.0f, d[1] / 2.0f, d[2] / 2.0f};
    struct Case
    {
        float zoom;
        std::array<float, 3> origin;
    };
    const Case cases[] = {{50, {0, 0, 0}}, {100, {0, 0, 0}}, {50, {3, -2, 5}}, {25, {1, 1, 1}}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.zoom);
        model->SetZoom(c.zoom, false);
        model->SetOrigin(c.origin.data(), false);
        const float s = 2.0f * c.zoom / 100.0f;
        view.SetupViewPort();
        view.DoViewTransforms();
        const std::array<float, 16> m = Matrix(GL_MODELVIEW_MATRIX);
        // The generated space's transform is the identity: the voxel box is centred, y and z flipped.
        const struct
        {
            std::array<float, 3> voxel, expected;
        } points[] = {
            {centre, {0, 0, 0}},
            {{centre[0] + 1, centre[1], centre[2]}, {1, 0, 0}},
            {{centre[0], centre[1] + 1, centre[2]}, {0, -1, 0}},
            {{centre[0], centre[1], centre[2] + 2}, {0, 0, -2}},
        };
        for (const auto& point : points)
        {
            const std::array<float, 3> got = Apply(m, point.voxel);
            for (int a = 0; a < 3; ++a)
                EXPECT_NEAR(s * (c.origin[a] + point.expected[a]), got[a], 1e-4f) << a;
        }
    }
}

TEST_F(SceneCameraTest, ClipPlanesOnlyForBoundsThatCut)
{
    MakeScene(Installed(310));
    BrainSceneView& view = View(0);
    const unsigned int* d = Space()->GetViewDimensions();
    struct Bound
    {
        int axis;
        float low, high;
    };
    struct Case
    {
        std::vector<Bound> bounds;
        // Expected planes, in order: (axis, sign, offset).
        std::vector<std::array<double, 3>> planes;
    };
    const double dx = d[0], dy = d[1], dz = d[2];
    const Case cases[] = {
        {{}, {}},
        {{{0, 0.25f, 1.0f}}, {{0, 1, -(0.25 * dx + 0.1)}}},
        {{{1, 0.0f, 0.5f}}, {{1, -1, 0.5 * dy - 0.1}}},
        {{{0, 0.1f, 0.9f}, {1, 0.2f, 0.8f}, {2, 0.3f, 0.7f}},
         {{0, 1, -(0.1 * dx + 0.1)},
          {0, -1, 0.9 * dx - 0.1},
          {1, 1, -(0.2 * dy + 0.1)},
          {1, -1, 0.8 * dy - 0.1},
          {2, 1, -(0.3 * dz + 0.1)},
          {2, -1, 0.7 * dz - 0.1}}},
        {{{2, 0.5f, 1.0f}, {0, 0.0f, 0.75f}}, {{0, -1, 0.75 * dx - 0.1}, {2, 1, -(0.5 * dz + 0.1)}}},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k)
    {
        SCOPED_TRACE(k);
        const Case& c = cases[k];
        for (int axis = 0; axis < 3; ++axis)
        {
            const auto plane = static_cast<Image3dPlane::Plane>(axis);
            model->SetCuttingPlaneLocation(plane, 0.0f, true, false);
            model->SetCuttingPlaneLocation(plane, 1.0f, false, false);
        }
        for (const Bound& b : c.bounds)
        {
            const auto plane = static_cast<Image3dPlane::Plane>(b.axis);
            model->SetCuttingPlaneLocation(plane, b.low, true, false);
            model->SetCuttingPlaneLocation(plane, b.high, false, false);
        }
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        view.SetupClipping(true);
        for (int i = 0; i < 6; ++i)
        {
            const bool enabled = glIsEnabled(GL_CLIP_PLANE0 + i);
            EXPECT_EQ(i < static_cast<int>(c.planes.size()), enabled) << i;
            if (!enabled || i >= static_cast<int>(c.planes.size()))
                continue;
            GLdouble equation[4];
            glGetClipPlane(GL_CLIP_PLANE0 + i, equation);
            const auto& expected = c.planes[i];
            for (int a = 0; a < 3; ++a)
                EXPECT_NEAR(a == expected[0] ? expected[1] : 0.0, equation[a], 1e-6) << i;
            EXPECT_NEAR(expected[2], equation[3], 1e-4) << i;
        }
        view.SetupClipping(false);
        for (int i = 0; i < 6; ++i)
            EXPECT_FALSE(glIsEnabled(GL_CLIP_PLANE0 + i));
    }
}

TEST_F(SceneCameraTest, PanFollowsThePointerUnderAnyRotation)
{
    MakeScene(Installed(350));
    renderer->Reshape(800, 400);
    BrainSceneView& view = View(1);
    const unsigned int* d = view.GetAtlasSpace()->GetViewDimensions();
    const std::array<float, 3> point = {d[0] / 2.0f + 3, d[1] / 2.0f - 2, d[2] / 2.0f + 1};
    const float s = std::sqrt(0.5f);
    const std::array<float, 4> rotations[] = {
        {0, 0, 0, 1}, {0, 0, s, s}, {s, 0, 0, s}, {0.5f, 0.5f, 0.5f, 0.5f}, {0.1f, -0.3f, 0.2f, 0.927362f}};
    const std::array<int, 2> moves[] = {{10, 0}, {0, -7}, {13, 21}};
    for (const auto& q : rotations)
        for (const auto& move : moves)
        {
            SCOPED_TRACE(std::to_string(q[0]) + "," + std::to_string(q[1]) + " by " + std::to_string(move[0]) + "," +
                         std::to_string(move[1]));
            renderer->GetTrackball()->SetQuaternion(q.data());
            model->SetZoom(60, false);
            const std::array<double, 2> before = Screen(view, point);
            view.TranslateOrigin(move[0], move[1]);
            const std::array<double, 2> after = Screen(view, point);
            // The pan counts the whole extent in voxels where the projection keeps an even number: an odd
            // extent (67 voxels here) moves 67 / 66 as far.
            EXPECT_NEAR(move[0], after[0] - before[0], 0.02 * std::abs(move[0]) + 0.01);
            EXPECT_NEAR(move[1], after[1] - before[1], 0.02 * std::abs(move[1]) + 0.01);
        }
    // The renderer pans the focused view.
    const float origin[3] = {0, 0, 0};
    model->SetOrigin(origin, false);
    renderer->TranslateOrigin(5, 0);
    EXPECT_NE(0.0f, model->GetOrigin()[0] + model->GetOrigin()[1] + model->GetOrigin()[2]);
}

TEST_F(SceneCameraTest, PanDoesNothingInAViewWithoutWidth)
{
    MakeScene(Installed(310));
    BrainSceneView& view = View(0);
    for (const std::array<int, 4>& rect : {std::array<int, 4>{0, 0, 0, 100}, std::array<int, 4>{0, 0, 100, 0}})
    {
        view.Reshape(rect[0], rect[1], rect[2], rect[3]);
        view.TranslateOrigin(40, 40);
        for (int a = 0; a < 3; ++a)
            EXPECT_FLOAT_EQ(0.0f, model->GetOrigin()[a]);
    }
}

// The centres of the cubes that a selection pass draws, one per data set in map order.
// Each cube is the same number of polygons (the GL may split its quads).
std::vector<std::array<float, 3>> CubeCentres(const std::vector<FeedbackPrimitive>& primitives, std::size_t cubes)
{
    std::vector<std::array<float, 3>> centres;
    const std::size_t each = cubes ? primitives.size() / cubes : 0;
    if (each == 0 || each * cubes != primitives.size())
        return centres;
    for (std::size_t first = 0; first < primitives.size(); first += each)
    {
        std::array<float, 3> sum{};
        int count = 0;
        for (std::size_t k = first; k < first + each; ++k)
            for (const FeedbackVertex& v : primitives[k].vertices)
            {
                sum[0] += v.x;
                sum[1] += v.y;
                sum[2] += v.z;
                ++count;
            }
        for (float& c : sum)
            c /= static_cast<float>(count);
        centres.push_back(sum);
    }
    return centres;
}

// Ten units a pixel in x and y, and a depth range of 2000 units.
void OffsetCamera()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 256, 0, 256, -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glScalef(10.0f, 10.0f, 10.0f);
}

TEST_F(SceneCameraTest, DataSetsDrawnAtOnePlaceAreSetApartUnlessCoLocated)
{
    const float corners[8][3] = {{-1, -1, -1}, {1, 1, 1},  {1, -1, -1}, {-1, -1, 1},
                                 {-1, 1, -1},  {1, 1, -1}, {1, -1, 1},  {-1, 1, 1}};
    for (const bool colocated : {false, true})
    {
        SCOPED_TRACE(colocated ? "co-located" : "set apart");
        renderer.reset();
        model.reset();
        genes.clear();
        MakeScene(colocated ? MicroAtlas(351) : Installed(310));
        ASSERT_EQ(colocated, model->GetAtlas()->HasColocatedSamples());
        const AnnotationLabel* label = Ontology().GetAnnotationLabelByIndex(1);
        std::vector<GeneExpression*> order;
        for (int k = 0; k < 9; ++k)
        {
            std::shared_ptr<HandDataSet> gene = NewDataSet(10 + k);
            // Inside the smallest atlas's view box too.
            gene->Add(5, 4, 5, 100, 500, label);
            gene->Finish(Ontology());
            order.push_back(&AddDataSet(gene));
        }
        // Glyph renderers only: the microarray atlas adds its coloured surface under the first data set.
        std::vector<GeneExpression*> drawn;
        for (const auto& entry : View(0).GetExpressionRenderers())
            if (entry.second.get() != View(0).GetColoredMeshRenderer().get())
                drawn.push_back(entry.first);
        ASSERT_EQ(9u, drawn.size());
        // The cortical surfaces that the coloured-mesh renderer draws are no glyphs: left out here.
        if (View(0).GetColoredMeshRenderer())
            View(0).GetColoredMeshRenderer()->LoadMeshes(std::vector<std::string>());
        // Every glyph passes whatever windows the atlas starts with.
        model->SetExpressionLevelVisibilityThreshold(0.0f, 0.0f, false);
        model->SetExpressionDensityVisibilityThreshold(0.0f, 0.0f, false);
        model->SetExpressionSelector(BrainExpressionModel::Selector(Ontology().GetNumLabels(), true), false);
        OffsetCamera();
        const std::vector<FeedbackPrimitive> primitives = RecordFeedback([&] { View(0).DrawExpression(1, 0); });
        const std::vector<std::array<float, 3>> centres = CubeCentres(primitives, 9);
        ASSERT_EQ(9u, centres.size());
        // Counting every map entry, the coloured surface included.
        int position = 0;
        for (const auto& entry : View(0).GetExpressionRenderers())
        {
            const bool surface = entry.second.get() == View(0).GetColoredMeshRenderer().get();
            if (!surface)
            {
                const auto index = std::distance(drawn.begin(), std::find(drawn.begin(), drawn.end(), entry.first));
                const std::array<float, 3>& c = centres[static_cast<std::size_t>(index)];
                const float* corner = corners[position % 8];
                // x and y in pixels (10 a unit); window depth 0.5 - z / 2000 per unit.
                EXPECT_NEAR(50.0f + (colocated ? 0.0f : corner[0]), c[0], 1e-2f) << position;
                EXPECT_NEAR(40.0f + (colocated ? 0.0f : corner[1]), c[1], 1e-2f) << position;
                EXPECT_NEAR(0.5f - (50.0f + (colocated ? 0.0f : corner[2])) / 2000.0f, c[2], 1e-5f) << position;
            }
            ++position;
        }
    }
}

} // namespace

namespace
{

// A space turned and shifted in the scene: centring on a structure, by Ctrl-click and by the commands that
// centre on a structure or a point, brings the structure's pixels round the middle of the view. The check
// reads the window's pixels alone.
TEST_F(SceneCameraTest, CentringOnAStructureOfATiltedSpace)
{
    constexpr int W = kWidth, H = kHeight;
    static TempDir dir;
    const std::string folder = dir.File("tilted");
    if (!std::filesystem::exists(folder + "/Info.xml"))
        GenerateAtlas("micro", 42, folder, "", "--space-transform tilted");
    SetPreference("BookmarkAnimationSpeed", "0");
    MakeScene(std::make_shared<Atlas>(folder), W, H);
    model->SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
    model->SetToolMode(BrainExpressionModel::PICK_TOOL);
    ASSERT_NE(0.0f, Space()->GetTransform()[12]) << "the generator wrote no tilted space";

    // A structure of its own mesh well off the middle of the box, drawn alone.
    const unsigned int* d = Space()->GetViewDimensions();
    const AnnotationLabel* structure = nullptr;
    float best = 0.0f;
    for (unsigned int i = 1; i < Ontology().GetNumLabels(); ++i)
    {
        const AnnotationLabel* label = Ontology().GetAnnotationLabelByIndex(i);
        const float* c = label->children.empty() ? Space()->GetBrainMeshes()->GetCentroid(label) : nullptr;
        if (!c || c[0] <= 0.0f || c[1] <= 0.0f || c[2] <= 0.0f)
            continue;
        const float off = std::hypot(c[0] - d[0] / 2.0f, c[1] - d[1] / 2.0f, c[2] - d[2] / 2.0f);
        if (off > best)
            best = off, structure = label;
    }
    ASSERT_TRUE(structure);
    model->SetStructureSelector(structure->selector, false);
    const float* centroid = Space()->GetBrainMeshes()->GetCentroid(structure);

    // The mean of the lit pixels (x, y from the top) and how many there are.
    const auto draw = [&] {
        display->Display();
        const std::vector<std::uint8_t> pixels = Framebuffer().ReadPixels();
        double sx = 0, sy = 0;
        long n = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
            {
                const std::uint8_t* p = &pixels[4 * (y * W + x)];
                if (p[0] + p[1] + p[2] > 30)
                    sx += x, sy += H - 1 - y, ++n;
            }
        return std::array<double, 3>{n ? sx / n : -1.0, n ? sy / n : -1.0, static_cast<double>(n)};
    };
    struct Case
    {
        const char* what;
        std::function<void(int x, int y)> centre; // given a pixel of the structure
    };
    const Case cases[] = {
        {"Ctrl-click",
         [&](int x, int y) {
             renderer->OnButtonDown(kLeftButton, x, y, kCommandKey, 1000);
             renderer->OnButtonUp(kLeftButton, x, y, kCommandKey, 1010);
             EXPECT_EQ(structure, model->GetSelectedStructure()) << "the click missed the structure";
         }},
        {"centre on the structure", [&](int, int) { renderer->CenterViewAt(structure, false, nullptr); }},
        {"centre on its centroid", [&](int, int) { renderer->CenterViewAt(centroid, false, nullptr); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const float zero[3] = {0, 0, 0};
        model->SetOrigin(zero, true);
        const std::array<double, 3> before = draw();
        ASSERT_GT(before[2], 100) << "the structure covers too few pixels";
        // It starts well away from the middle.
        EXPECT_GT(std::hypot(before[0] - W / 2.0, before[1] - H / 2.0), 20.0);
        c.centre(static_cast<int>(before[0]), static_cast<int>(before[1]));
        const std::array<double, 3> after = draw();
        EXPECT_NEAR(W / 2.0, after[0], 3.0) << after[2] << " pixels";
        EXPECT_NEAR(H / 2.0, after[1], 3.0) << after[2] << " pixels";
    }
}

} // namespace
