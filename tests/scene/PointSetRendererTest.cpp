// Sample points as spheres: which are shown, their radius, their pick and their selection names.

#include "SceneFixture.h"

#include "core/GeometryUtils.h"
#include "gl/support/GLFeedback.h"
#include "scene/PointSetRenderer.h"

#include <cmath>
#include <set>

namespace
{

using namespace scenetest;

constexpr float kPi = 3.14159265358979f;

class PointSetRendererTest : public SceneTest
{
public:
    void SetUp() override
    {
        SceneTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        MakeScene(Installed(310), kWidth, kHeight);
        layer = View(0).GetPointSetLayer().get();
        ASSERT_NE(nullptr, layer);
        grid = Space()->GetSampleGrid();
        ASSERT_TRUE(grid);
        saved = grid->points;
        pointLabel = Label("Cx");
        otherLabel = Ontology().GetAnnotationLabelByIndex(pointLabel->index == 2 ? 3 : 2);
        // Inside the view grid (67 x 41 x 58): radius 5 at 200 micrometres.
        grid->points = {Point(10, 10, 0, kPi * 4 / 3, pointLabel), Point(30, 10, 0, kPi * 4 / 3, otherLabel),
                        Point(50, 10, 0, 0.0f, pointLabel), Point(10, 30, 0, kPi * 4 / 3, nullptr),
                        Point(65, 30, 0, kPi * 4 / 3, otherLabel)};
        ShowLayer(true);
        model->SetExpressionSelector(BrainExpressionModel::Selector(Ontology().GetNumLabels(), true), false);
        // Grid units are pixels here.
        glViewport(0, 0, kWidth, kHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, kWidth, 0, kHeight, -100, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
    void TearDown() override
    {
        if (grid)
            grid->points = saved;
        SceneTest::TearDown();
    }

    static PointSet::Point3d Point(float x, float y, float z, float size, const AnnotationLabel* label)
    {
        PointSet::Point3d p;
        p.x = x, p.y = y, p.z = z, p.size = size, p.label = label;
        return p;
    }
    void ShowLayer(bool show)
    {
        const AnnotationLabel* layerLabel =
            Ontology().GetAnnotationLabelByDatabaseId(BrainSceneView::POINT_SET_STRUCTURE_ID);
        BrainExpressionModel::Selector selector(Ontology().GetNumLabels(), false);
        if (show)
            selector = layerLabel->selector;
        model->SetStructureSelector(selector, false);
    }
    // The radius of each sphere drawn, by its centre's x, from the feedback of one normal draw.
    std::map<int, float> DrawnRadii()
    {
        std::map<int, float> radii;
        const std::vector<FeedbackPrimitive> primitives = RecordFeedback([&] { layer->Display(0); });
        for (const FeedbackPrimitive& p : primitives)
            for (const FeedbackVertex& v : p.vertices)
            {
                const int centre = v.x < 20 ? 10 : v.x < 40 ? 30 : v.x < 58 ? 50 : 65;
                const float cy = v.y < 20 ? 10.0f : 30.0f;
                float& r = radii[centre + (cy > 20 ? 1000 : 0)];
                r = std::max(r, std::hypot(v.x - centre, v.y - cy));
            }
        return radii;
    }

    PointSetRenderer* layer = nullptr;
    std::shared_ptr<PointSet> grid;
    std::vector<PointSet::Point3d> saved;
    const AnnotationLabel* pointLabel = nullptr;
    const AnnotationLabel* otherLabel = nullptr;
};

TEST(PointSetRadiusTest, AVolumeInCubicMillimetresIsARadiusInGridUnits)
{
    EXPECT_NEAR(10.0f, PointSetRenderer::Radius(kPi * 4 / 3, 100.0f), 1e-4f);
    EXPECT_NEAR(5.0f, PointSetRenderer::Radius(kPi * 4 / 3, 200.0f), 1e-4f);
    EXPECT_NEAR(20.0f, PointSetRenderer::Radius(kPi * 4 / 3 * 8, 100.0f), 1e-3f);
}

TEST_F(PointSetRendererTest, OnlyLabelledPointsOfASizeAreDrawnTheSelectedOneLarger)
{
    const float r = PointSetRenderer::Radius(kPi * 4 / 3, Space()->GetViewResolution()[0]);
    std::map<int, float> radii = DrawnRadii();
    std::vector<int> centres;
    for (const auto& [centre, radius] : radii)
        centres.push_back(centre);
    EXPECT_EQ((std::vector<int>{10, 30, 1065}), centres) << "size 0 and unlabelled points are not drawn";
    EXPECT_NEAR(r, radii[10], 0.05f);
    model->SelectStructure(pointLabel, false);
    radii = DrawnRadii();
    EXPECT_NEAR(1.1f * r, radii[10], 0.05f);
    EXPECT_NEAR(r, radii[30], 0.05f);

    // The cutting box hides what lies beyond it.
    model->SetCuttingPlaneLocation(Image3dPlane::CORONAL, 0.9f, false, false);
    EXPECT_EQ(0u, DrawnRadii().count(1065));

    ShowLayer(false);
    EXPECT_TRUE(DrawnRadii().empty());
    ShowLayer(true);
    BrainExpressionModel::Selector onlyOther(Ontology().GetNumLabels(), false);
    onlyOther = otherLabel->selector;
    model->SetExpressionSelector(onlyOther, false);
    radii = DrawnRadii();
    EXPECT_EQ(1u, radii.size()) << "the structure left the expression filter, the other point the cutting box";
    EXPECT_EQ(1u, radii.count(30));
}

TEST_F(PointSetRendererTest, HitsWithinTheRadiusWithoutTheSelectionGrowth)
{
    const float r = PointSetRenderer::Radius(kPi * 4 / 3, Space()->GetViewResolution()[0]);
    model->SelectStructure(pointLabel, false);
    const float down[3] = {0.0f, 0.0f, -1.0f};
    struct Case
    {
        float x, y;
        const AnnotationLabel* expected;
    };
    const Case cases[] = {
        {10, 10, pointLabel}, {10 + 0.95f * r, 10, pointLabel}, {10 + 1.05f * r, 10, nullptr},
        {30, 10, otherLabel}, {50, 10, nullptr} /* size 0 */,   {10, 30, nullptr} /* no label */,
        {20, 20, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.x) + " " + std::to_string(c.y));
        const float origin[3] = {c.x, c.y, 50.0f};
        const PointSet::Point3d* point = nullptr;
        const float distance = layer->HitTest(origin, down, point);
        EXPECT_EQ(c.expected, point ? point->label : nullptr);
        if (c.expected && c.x == 10 && c.y == 10)
        {
            EXPECT_NEAR(50.0f - r, distance, 1e-3f);
        }
        if (!c.expected)
        {
            EXPECT_EQ(kRayNoHit, distance);
        }
    }
    ShowLayer(false);
    const float origin[3] = {10, 10, 50};
    const PointSet::Point3d* point = nullptr;
    EXPECT_EQ(kRayNoHit, layer->HitTest(origin, down, point));
    EXPECT_EQ(nullptr, point);
}

TEST_F(PointSetRendererTest, SelectionNamesAreStructureIndexPlusNameBase)
{
    GLuint buffer[256] = {};
    glSelectBuffer(256, buffer);
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(0);
    layer->Display(100);
    const GLint hits = glRenderMode(GL_RENDER);
    std::set<GLuint> names;
    for (GLint h = 0, at = 0; h < hits; ++h)
    {
        const GLuint count = buffer[at];
        for (GLuint n = 0; n < count; ++n)
            names.insert(buffer[at + 3 + n]);
        at += 3 + static_cast<GLint>(count);
    }
    EXPECT_EQ((std::set<GLuint>{pointLabel->index + 100, otherLabel->index + 100}), names);
}

} // namespace
