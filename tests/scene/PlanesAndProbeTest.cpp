#include "SceneFixture.h"

#include "core/GeometryUtils.h"
#include "core/Image3dPlane.h"
#include "gl/support/GLFeedback.h"
#include "scene/AtlasCube.h"
#include "scene/CuttingPlaneRenderer.h"
#include "scene/ProbeMouseTool.h"

#include <cmath>

namespace
{

using namespace scenetest;

Image3dPlane::Plane P(int axis)
{
    return static_cast<Image3dPlane::Plane>(axis);
}

class PlanesAndProbeTest : public SceneTest
{
public:
    void SetUp() override
    {
        SceneTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        MakeScene(Installed(310));
        d = Space()->GetViewDimensions();
        // The GL test's pixel projection, deep enough for the whole grid.
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, kWidth, 0, kHeight, -1000, 1000);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_LIGHTING);
    }

    // Cutting bounds as fractions: for each axis the one read with true, then with false.
    void SetBox(const float (&box)[3][2])
    {
        for (int a = 0; a < 3; ++a)
        {
            model->SetCuttingPlaneLocation(P(a), box[a][1], false, false);
            model->SetCuttingPlaneLocation(P(a), box[a][0], true, false);
        }
    }

    const unsigned int* d = nullptr;
};

TEST_F(PlanesAndProbeTest, CuttingPlanesDrawSixOutlinesInNameOrder)
{
    const float box[3][2] = {{0.1f, 0.8f}, {0.2f, 0.7f}, {0.3f, 0.6f}};
    SetBox(box);
    CuttingPlaneRenderer& planes = *View(0).GetCuttingPlaneRenderer();
    const auto primitives = RecordFeedback([&] { planes.Display(false, 0); });
    ASSERT_EQ(24u, primitives.size()); // six line loops of four segments
    // Axis 1 true, axis 1 false, axis 0 true, axis 0 false, axis 2 true, axis 2 false.
    const int axes[6] = {1, 1, 0, 0, 2, 2};
    for (int n = 0; n < 6; ++n)
    {
        const int axis = axes[n];
        const float c = box[axis][n % 2];
        const float high[3] = {box[0][0], box[1][0], box[2][0]};
        const float low[3] = {box[0][1], box[1][1], box[2][1]};
        float corners[4][3];
        CuttingPlaneRenderer::PlaneCorners(axis, c, high, low, corners);
        // (p high, q high), (p low, q high), (p low, q low), (p high, q low), p before q.
        const int p = axis == 0 ? 1 : 0;
        const int q = axis == 2 ? 1 : 2;
        EXPECT_EQ(high[p], corners[0][p]);
        EXPECT_EQ(low[q], corners[2][q]);
        EXPECT_EQ(low[p], corners[1][p]);
        EXPECT_EQ(high[q], corners[1][q]);
        for (int i = 0; i < 4; ++i)
        {
            const FeedbackVertex& v = primitives[4 * n + i].vertices[0];
            EXPECT_NEAR(corners[i][0] * d[0], v.x, 1e-3) << n << " " << i;
            EXPECT_NEAR(corners[i][1] * d[1], v.y, 1e-3) << n << " " << i;
            EXPECT_NEAR(0.0f, v.rgba[0], 1e-6);
            EXPECT_NEAR(0.5f, v.rgba[1], 1e-3);
        }
    }
    // Picking draws filled quads under the names base + axis (+3 for the bound read with false).
    GLuint buffer[64] = {};
    glSelectBuffer(64, buffer);
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(0);
    planes.Display(true, 10);
    const GLint hits = glRenderMode(GL_RENDER);
    std::vector<GLuint> names;
    for (GLint h = 0, at = 0; h < hits; ++h, at += 3 + static_cast<GLint>(buffer[at]))
        names.push_back(buffer[at + 3]);
    EXPECT_EQ((std::vector<GLuint>{11, 14, 10, 13, 12, 15}), names);
}

TEST_F(PlanesAndProbeTest, CuttingPlaneHits)
{
    const float box[3][2] = {{0.2f, 0.8f}, {0.25f, 0.75f}, {0.3f, 0.7f}};
    SetBox(box);
    CuttingPlaneRenderer& planes = *View(0).GetCuttingPlaneRenderer();
    const float mid[3] = {0.5f * d[0] + 0.3f, 0.5f * d[1] + 0.2f, 0.5f * d[2] + 0.1f};
    struct Case
    {
        int axis;
        float sign; // the ray runs along +axis or -axis from outside the box
        int index;
    };
    const Case cases[] = {{2, 1, 2}, {2, -1, 5}, {0, 1, 0}, {0, -1, 3}, {1, 1, 1}, {1, -1, 4}};
    model->SetCuttingPlanesVisible(true, false);
    for (const Case& c : cases)
    {
        float origin[3] = {mid[0], mid[1], mid[2]};
        origin[c.axis] = c.sign > 0 ? -20.0f : d[c.axis] + 20.0f;
        float direction[3] = {0, 0, 0};
        direction[c.axis] = c.sign;
        int index = 9;
        const float distance = planes.HitTest(origin, direction, index);
        EXPECT_EQ(c.index, index) << c.axis << " " << c.sign;
        const float bound = box[c.axis][c.sign > 0 ? 0 : 1] * d[c.axis];
        EXPECT_NEAR(std::abs(bound - origin[c.axis]), distance, 1e-3);
    }
    // Hidden planes answer nothing.
    model->SetCuttingPlanesVisible(false, false);
    const float origin[3] = {mid[0], mid[1], -20};
    const float direction[3] = {0, 0, 1};
    int index = 9;
    EXPECT_EQ(kRayNoHit, planes.HitTest(origin, direction, index));
    EXPECT_EQ(-1, index);
}

TEST_F(PlanesAndProbeTest, AtlasCubeColoursEachVertexByItsPosition)
{
    const float box[3][2] = {{0.1f, 0.9f}, {0.2f, 0.6f}, {0.0f, 0.5f}};
    SetBox(box);
    const float scale[3] = {0.5f, 0.25f, 1.0f};
    AtlasCube cube(model.get(), Space(), scale);
    const auto faces = RecordFeedback([&] { cube.Draw(); });
    std::vector<FeedbackVertex> vertices;
    for (const FeedbackPrimitive& primitive : faces)
        vertices.insert(vertices.end(), primitive.vertices.begin(), primitive.vertices.end());
    ASSERT_FALSE(vertices.empty());
    for (const FeedbackVertex& v : vertices)
    {
        EXPECT_NEAR(v.x / d[0], v.rgba[0], 1e-3);
        EXPECT_NEAR(v.y / d[1], v.rgba[1], 1e-3);
        // Every vertex is a corner of the cut box.
        EXPECT_TRUE(std::abs(v.x - box[0][0] * d[0]) < 1e-3 || std::abs(v.x - box[0][1] * d[0]) < 1e-3) << v.x;
        EXPECT_TRUE(std::abs(v.y - box[1][0] * d[1]) < 1e-3 || std::abs(v.y - box[1][1] * d[1]) < 1e-3) << v.y;
    }
    // The slice planes span the whole grid, whatever the box.
    for (int p = 0; p < 3; ++p)
        model->SetMPRSliceLocation(P(p), 0.5f, false);
    model->SetMPRPlaneVisible(P(0), false, false);
    model->SetMPRPlaneVisible(P(1), true, false);
    model->SetMPRPlaneVisible(P(2), true, false);
    const auto planes = RecordFeedback([&] { cube.DrawPlanes(model.get()); });
    float maxX = 0;
    float maxY = 0;
    for (const FeedbackPrimitive& primitive : planes)
        for (const FeedbackVertex& v : primitive.vertices)
        {
            maxX = std::max(maxX, v.x);
            maxY = std::max(maxY, v.y);
            EXPECT_NEAR(v.x / d[0], v.rgba[0], 1e-3);
        }
    EXPECT_NEAR(float(d[0]), maxX, 1e-3);
    EXPECT_NEAR(float(d[1]), maxY, 1e-3);
}

TEST(ProbeTicks, EveryStepAdvancesAndAlignsToTheBregma)
{
    struct Case
    {
        float spacing, resolution, bregma, d;
        std::vector<int> ticks;
    };
    const Case cases[] = {
        {1000, 100, 25, 40, {5, 15, 25, 35}},
        {1000, 250, 9, 12, {1, 5, 9}},
        // A resolution coarser than the spacing steps one voxel at a time instead of never ending.
        {1000, 2000, 2, 4, {0, 1, 2, 3}},
        {10000, 1000, 33, 40, {3, 13, 23, 33}},
        {1000, 100, 0, 25, {0, 10, 20}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.ticks, ProbeMouseTool::TickPositions(c.spacing, c.resolution, c.bregma, c.d)) << c.resolution;
}

TEST_F(PlanesAndProbeTest, MarkerSphereOnlyWhenItCanDragAndHitsInsideTheBox)
{
    ProbeMouseTool& probe = *View(0).GetProbeTool();
    const float location[3] = {0.5f, 0.5f, 0.5f};
    model->SetProbeLocation(location, Space(), false);
    const auto count = [](const std::vector<FeedbackPrimitive>& primitives, FeedbackPrimitive::Kind kind) {
        return std::count_if(primitives.begin(), primitives.end(),
                             [kind](const FeedbackPrimitive& p) { return p.kind == kind; });
    };
    probe.SetCanDrag(false);
    const auto lines = RecordFeedback([&] { probe.Display(false, 0); });
    EXPECT_EQ(0, count(lines, FeedbackPrimitive::kPolygon));
    const float* r = Space()->GetViewResolution();
    const float* b = Space()->GetViewBregma();
    const float spacing = r[0] < 1000 ? 1000.0f : 10000.0f;
    std::size_t ticks = 0;
    for (int a = 0; a < 3; ++a)
        ticks += ProbeMouseTool::TickPositions(spacing, r[a], a == 0 ? float(int(b[0])) : b[a], float(d[a])).size();
    EXPECT_EQ(long(3 + 2 * ticks), count(lines, FeedbackPrimitive::kLine));
    probe.SetCanDrag(true);
    const auto withSphere = RecordFeedback([&] { probe.Display(false, 0); });
    EXPECT_EQ(20, count(withSphere, FeedbackPrimitive::kPolygon));

    const float radius = 2.5f * Space()->GetAtlasResolution()[0] / r[0];
    const float centre[3] = {0.5f * d[0], 0.5f * d[1], 0.5f * d[2]};
    const float origin[3] = {centre[0] + 0.5f * radius, centre[1], -50};
    const float direction[3] = {0, 0, 1};
    EXPECT_NEAR(std::sqrt(std::pow(0.5f * radius, 2.0f) + std::pow(centre[2] + 50, 2.0f)) - radius,
                probe.HitTest(origin, direction), 1e-3);
    const float aside[3] = {centre[0] + 1.5f * radius, centre[1], -50};
    EXPECT_EQ(kRayNoHit, probe.HitTest(aside, direction));
    // A marker cut away by the box is never hit.
    model->SetCuttingPlaneLocation(P(2), 0.4f, false, false);
    EXPECT_EQ(kRayNoHit, probe.HitTest(origin, direction));
}

} // namespace
