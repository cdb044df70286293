#include "SceneFixture.h"

#include <GL/glu.h>

#include "core/Image3dPlane.h"
#include "expression/BrainExpressionModelListener.h"
#include "gl/Trackball.h"
#include "scene/MovePlaneMouseTool.h"
#include "scene/ProbeMouseTool.h"

#include <cmath>

namespace
{

using namespace scenetest;

Image3dPlane::Plane P(int axis)
{
    return static_cast<Image3dPlane::Plane>(axis);
}

struct EventCounter : BrainExpressionModelListener
{
    void ModelChanged(int, BrainExpressionModel*, int) override { ++count; }
    int count = 0;
};

// Scenes of the tiny atlas 310 as large as the test framebuffer, turned so that every axis shows, and
// driven through the renderer's mouse handlers with mouse rows from the top.
class ScenePickInputTest : public SceneTest
{
public:
    static constexpr int kSize = kWidth;

    void Open()
    {
        MakeScene(Installed(310), kSize, kSize);
        const float angle = 0.35f;
        const float q[4] = {std::sin(angle) * 0.6f, std::sin(angle) * 0.8f, 0.0f, std::cos(angle)};
        renderer->GetTrackball()->SetQuaternion(q);
        model->SetToolMode(BrainExpressionModel::PICK_TOOL);
        model->SetStructureSelector(BrainSceneView::Selector(Ontology().GetNumLabels(), false), false);
        d = Space()->GetViewDimensions();
    }

    // A view point as a mouse position (x, row from the top) and back, with the view's camera.
    std::array<double, 2> Mouse(const std::array<float, 3>& p)
    {
        GLdouble modelView[16], projection[16], x, y, z;
        GLint viewport[4];
        Camera(modelView, projection, viewport);
        gluProject(p[0], p[1], p[2], modelView, projection, viewport, &x, &y, &z);
        return {x, kSize - 1 - y};
    }
    std::array<double, 3> Unproject(double x, double row, double depth)
    {
        GLdouble modelView[16], projection[16];
        GLint viewport[4];
        Camera(modelView, projection, viewport);
        std::array<double, 3> p{};
        gluUnProject(x, kSize - 1 - row, depth, modelView, projection, viewport, &p[0], &p[1], &p[2]);
        return p;
    }
    void Camera(GLdouble* modelView, GLdouble* projection, GLint* viewport)
    {
        View(0).SetupViewPort();
        View(0).DoViewTransforms();
        glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
    }
    // The pointer motion of n pixels along the screen image of axis k.
    std::array<double, 2> Along(int k, double n)
    {
        std::array<float, 3> centre = {d[0] / 2.0f, d[1] / 2.0f, d[2] / 2.0f};
        const std::array<double, 2> a = Mouse(centre);
        centre[k] += 10.0f;
        const std::array<double, 2> b = Mouse(centre);
        const double length = std::hypot(b[0] - a[0], b[1] - a[1]);
        return {n * (b[0] - a[0]) / length, n * (b[1] - a[1]) / length};
    }

    MovePlaneMouseTool* Tool() { return dynamic_cast<MovePlaneMouseTool*>(renderer->GetMouseCapture()); }

    const unsigned int* d = nullptr;
};

TEST_F(ScenePickInputTest, SliceDragsAndClicks)
{
    Open();
    for (int p = 0; p < 3; ++p)
    {
        model->SetMPRPlaneVisible(P(p), true, false);
        model->SetMPRSliceLocation(P(p), 0.5f, false);
    }
    const std::array<double, 2> at = Mouse({d[0] * 0.5f, d[1] * 0.3f, d[2] * 0.7f});
    const int x = int(at[0]);
    const int y = int(at[1]);
    ASSERT_TRUE(renderer->OnButtonDown(0, x, y, 0, 1000));
    MovePlaneMouseTool* tool = Tool();
    ASSERT_TRUE(tool);
    ASSERT_TRUE(tool->InSliceMode());
    const int k = tool->GetPlane();

    // A click selects the structure under the pointer, read here from the space's Annotation file.
    ASSERT_TRUE(renderer->OnButtonUp(0, x, y, 0, 1400));
    EXPECT_FALSE(renderer->GetMouseCapture());
    const std::array<double, 3> nearPoint = Unproject(x, y, 0.0);
    const std::array<double, 3> farPoint = Unproject(x, y, 1.0);
    const float* viewResolution = Space()->GetViewResolution();
    const float* atlasResolution = Space()->GetAtlasResolution();
    const double c = 0.5 * d[k];
    const double t = (c - nearPoint[k]) / (farPoint[k] - nearPoint[k]);
    const unsigned int* atlas = Space()->GetAtlasDimensions();
    std::size_t voxel[3];
    for (int a = 0; a < 3; ++a)
    {
        const double p = a == k ? c : nearPoint[a] + t * (farPoint[a] - nearPoint[a]);
        voxel[a] = std::size_t(std::lround(p * viewResolution[a] / atlasResolution[a]));
    }
    const std::vector<unsigned char> annotation = ReadWholeFile(Space()->GetPath() + "/Annotation");
    const std::size_t offset = voxel[0] + atlas[0] * (voxel[1] + atlas[1] * voxel[2]);
    const unsigned short value =
        static_cast<unsigned short>(annotation[2 * offset] | (annotation[2 * offset + 1] << 8));
    ASSERT_NE(0, value) << "the pointer should lie over a structure";
    EXPECT_EQ(Ontology().GetAnnotationLabel(value), model->GetSelectedStructure());
    // With all three slices shown the release puts the probe where they meet.
    EXPECT_EQ(Space(), model->GetProbeAtlasSpace());
    for (int a = 0; a < 3; ++a)
        EXPECT_FLOAT_EQ(0.5f, model->GetProbeLocation()[a]);

    // A press held too long selects nothing.
    model->SelectStructure(nullptr, false);
    ASSERT_TRUE(renderer->OnButtonDown(0, x, y, 0, 2000));
    renderer->OnButtonUp(0, x, y, 0, 2000 + MovePlaneMouseTool::CLICK_TIME + 1);
    EXPECT_EQ(nullptr, model->GetSelectedStructure());

    // Drags: moves under one atlas voxel leave the slice, longer ones move it, neither announced.
    EventCounter events;
    ASSERT_TRUE(renderer->OnButtonDown(0, x, y, 0, 3000));
    ASSERT_TRUE(Tool());
    ASSERT_EQ(k, Tool()->GetPlane());
    model->AddListener(&events);
    const double voxelInView = double(d[k]) / atlas[k];
    const auto moved = [&](double pixels) {
        const std::array<double, 2> step = Along(k, pixels);
        return std::array<double, 2>{x + step[0], y + step[1]};
    };
    const auto viewShift = [&](const std::array<double, 2>& to) {
        const std::array<int, 2> pixel = {int(std::lround(to[0])), int(std::lround(to[1]))};
        return Unproject(pixel[0], pixel[1], 0.5)[k] - Unproject(x, y, 0.5)[k];
    };
    const std::array<double, 2> shortMove = moved(1);
    ASSERT_LT(std::abs(viewShift(shortMove)), voxelInView);
    renderer->OnMouseMove(int(std::lround(shortMove[0])), int(std::lround(shortMove[1])), 0, 3010);
    EXPECT_FLOAT_EQ(0.5f, model->GetMPRSliceLocation(P(k)));
    const std::array<double, 2> longMove = moved(40);
    const double shift = viewShift(longMove);
    ASSERT_GT(std::abs(shift), voxelInView);
    renderer->OnMouseMove(int(std::lround(longMove[0])), int(std::lround(longMove[1])), 0, 3020);
    EXPECT_NEAR(0.5 + shift / d[k], model->GetMPRSliceLocation(P(k)), 1e-3);
    EXPECT_EQ(0, events.count);
    renderer->OnButtonUp(0, int(std::lround(longMove[0])), int(std::lround(longMove[1])), 0, 3030);
    EXPECT_GT(events.count, 0);
    EXPECT_FLOAT_EQ(model->GetMPRSliceLocation(P(k)), model->GetProbeLocation()[k]);
    model->RemoveListener(&events);
}

// On a screen scaled by 2 the same logical display has twice the framebuffer's pixels: a click at a logical
// pixel picks the slice's structure that shows there, as at scale 1, also where the slice is seen at a slant
// and the depth read back under the pointer places the point.
TEST_F(ScenePickInputTest, ASliceClickSelectsTheSameStructureAtScaleTwo)
{
    constexpr int kLogical = kSize / 2;
    std::vector<const AnnotationLabel*> picked;
    int x = 0, y = 0;
    for (const int ratio : {1, 2})
    {
        SCOPED_TRACE(ratio);
        renderer.reset();
        display = std::make_unique<RecordingDisplay>(kLogical, kLogical);
        display->pixelRatio = ratio;
        Open();
        // Out of the way of the small view's corner.
        model->SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
        for (int p = 0; p < 3; ++p)
        {
            model->SetMPRPlaneVisible(P(p), true, false);
            model->SetMPRSliceLocation(P(p), 0.5f, false);
        }
        if (ratio == 1)
        {
            GLdouble modelView[16], projection[16], wx, wy, wz;
            GLint viewport[4];
            Camera(modelView, projection, viewport);
            gluProject(d[0] * 0.5, d[1] * 0.3, d[2] * 0.7, modelView, projection, viewport, &wx, &wy, &wz);
            x = int(wx);
            y = kLogical - 1 - int(wy);
        }
        ASSERT_TRUE(renderer->OnButtonDown(0, x, y, 0, 1000));
        ASSERT_TRUE(Tool() && Tool()->InSliceMode());
        ASSERT_TRUE(renderer->OnButtonUp(0, x, y, 0, 1100));
        picked.push_back(model->GetSelectedStructure());
    }
    ASSERT_NE(nullptr, picked[0]);
    EXPECT_EQ(picked[0], picked[1]);
}

TEST_F(ScenePickInputTest, CuttingPlaneDragsInLiveUpdateAndADoubleClickEndsIt)
{
    Open();
    model->SetCuttingPlanesVisible(true, false);
    const std::array<double, 2> at = Mouse({d[0] * 0.5f, d[1] * 0.5f, d[2] * 0.5f});
    const int x = int(at[0]);
    const int y = int(at[1]);
    for (const bool doubleClick : {false, true})
    {
        SCOPED_TRACE(doubleClick ? "double click" : "release");
        ASSERT_TRUE(renderer->OnButtonDown(0, x, y, 0, 100));
        MovePlaneMouseTool* tool = Tool();
        ASSERT_TRUE(tool);
        EXPECT_FALSE(tool->InSliceMode());
        EXPECT_TRUE(model->GetLiveUpdate());
        const int k = tool->GetPlane();
        const bool bound = tool->GetBound();
        const float before = model->GetCuttingPlaneLocation(P(k), bound);
        // Into the box, so that the bound can move whichever side it is.
        const std::array<double, 2> step = Along(k, bound ? 30 : -30);
        renderer->OnMouseMove(int(x + step[0]), int(y + step[1]), 0, 110);
        EXPECT_NE(before, model->GetCuttingPlaneLocation(P(k), bound));
        if (doubleClick)
            renderer->OnDoubleClick(0, int(x + step[0]), int(y + step[1]), 0, 120);
        else
            renderer->OnButtonUp(0, int(x + step[0]), int(y + step[1]), 0, 120);
        EXPECT_FALSE(model->GetLiveUpdate());
        EXPECT_FALSE(renderer->GetMouseCapture());
        model->SetCuttingPlaneLocation(P(k), before, bound, false);
    }
}

TEST_F(ScenePickInputTest, ToolByModeButtonAndModifiers)
{
    Open();
    enum Expect
    {
        kRotate,
        kPan,
        kPick
    };
    struct Case
    {
        BrainExpressionModel::ToolMode mode;
        int button, flags;
        Expect tool;
    };
    using M = BrainExpressionModel;
    const Case cases[] = {
        {M::ROTATE_TOOL, kLeftButton, 0, kRotate},
        {M::PAN_TOOL, kLeftButton, 0, kPan},
        {M::PICK_TOOL, kLeftButton, 0, kPick},
        {M::ROTATE_TOOL, kRightButton, 0, kPick},
        {M::PICK_TOOL, kRightButton, 0, kRotate},
        {M::PAN_TOOL, kLeftButton, kOptionKey, kPick},
        {M::PICK_TOOL, kLeftButton, kOptionKey, kRotate},
        {M::ROTATE_TOOL, kMiddleButton, 0, kPan},
        {M::PICK_TOOL, kLeftButton, kShiftKey, kPan},
        {M::ROTATE_TOOL, kLeftButton, kOptionKey, kPick},
    };
    // Empty space near the bottom left corner of the only view.
    const int x = 3;
    const int y = kSize - 4;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.mode) + " " + std::to_string(c.button) + " " + std::to_string(c.flags));
        model->SetToolMode(c.mode);
        model->SelectStructure(Ontology().GetAnnotationLabelByIndex(2), false);
        const float origin[3] = {0, 0, 0};
        model->SetOrigin(origin, false);
        ASSERT_TRUE(renderer->OnButtonDown(c.button, x, y, c.flags, 0));
        MouseListener* capture = renderer->GetMouseCapture();
        EXPECT_EQ(c.tool == kRotate, capture == renderer->GetTrackball());
        // A pick of nothing deselects and keeps no capture; a pan follows the pointer.
        EXPECT_EQ(c.tool == kPick, capture == nullptr);
        EXPECT_EQ(c.tool == kPick, model->GetSelectedStructure() == nullptr);
        if (c.tool == kPan)
        {
            renderer->OnMouseMove(x + 5, y, c.flags, 10);
            EXPECT_NE(0.0f, std::abs(model->GetOrigin()[0]) + std::abs(model->GetOrigin()[1]) +
                                std::abs(model->GetOrigin()[2]));
        }
        renderer->OnButtonUp(c.button, x, y, c.flags, 20);
        EXPECT_FALSE(renderer->GetMouseCapture());
    }
}

TEST_F(ScenePickInputTest, MeshesArePickedAndCommandCentresOnThem)
{
    Open();
    model->SetStructureSelector(BrainSceneView::Selector(Ontology().GetNumLabels(), true), false);
    display->Display(); // meshes load as they are first drawn
    const std::array<double, 2> at = Mouse({d[0] * 0.5f, d[1] * 0.5f, d[2] * 0.5f});
    double now = 0.0;
    renderer->SetAnimationClock([&now] { return now; });
    for (const int flags : {0, int(kCommandKey)})
    {
        const float origin[3] = {0, 0, 0};
        model->SetOrigin(origin, false);
        model->SelectStructure(nullptr, false);
        ASSERT_TRUE(renderer->OnButtonDown(0, int(at[0]), int(at[1]), flags, 0));
        EXPECT_FALSE(renderer->GetMouseCapture());
        ASSERT_TRUE(model->GetSelectedStructure()) << flags;
        // Centring flies there in half a second.
        EXPECT_EQ(flags != 0, renderer->HasBookmarkAnimation());
        display->FireTimer();
        now += 0.5;
        display->FireTimer();
        const float moved =
            std::abs(model->GetOrigin()[0]) + std::abs(model->GetOrigin()[1]) + std::abs(model->GetOrigin()[2]);
        EXPECT_EQ(flags != 0, moved != 0.0f) << flags;
        renderer->OnButtonUp(0, int(at[0]), int(at[1]), flags, 10);
    }
    // Shown cutting planes come before the meshes behind them.
    model->SetCuttingPlanesVisible(true, false);
    ASSERT_TRUE(renderer->OnButtonDown(0, int(at[0]), int(at[1]), 0, 0));
    EXPECT_TRUE(Tool());
    renderer->OnButtonUp(0, int(at[0]), int(at[1]), 0, 10);
}

TEST_F(ScenePickInputTest, ProbeDragPinsAtTheEdges)
{
    SetPreference("VolumeRenderingActive", "1");
    Open();
    ProbeMouseTool& probe = *View(0).GetProbeTool();
    ASSERT_TRUE(probe.CanDrag());
    const float location[3] = {0.5f, 0.5f, 0.5f};
    model->SetProbeLocation(location, Space(), false);
    const std::array<double, 2> at = Mouse({d[0] * 0.5f, d[1] * 0.5f, d[2] * 0.5f});
    View(0).SetupViewPort();
    View(0).DoViewTransforms();
    ASSERT_TRUE(probe.OnButtonDown(0, int(at[0]), int(at[1]), 0, 0));
    EXPECT_TRUE(probe.IsDragging());
    probe.OnMouseMove(int(at[0]) + 5000, int(at[1]) - 5000, 0, 10);
    const float* moved = model->GetProbeLocation();
    int pinned = 0;
    for (int a = 0; a < 3; ++a)
    {
        EXPECT_GE(moved[a], 0.0f);
        EXPECT_LE(moved[a], 1.0f);
        pinned += moved[a] == 0.0f || moved[a] == 1.0f;
    }
    EXPECT_GE(pinned, 2);
    probe.OnButtonUp(0, int(at[0]) - 5000, int(at[1]) + 5000, 0, 20);
    EXPECT_FALSE(probe.IsDragging());
}

TEST_F(ScenePickInputTest, DepthIsReadThroughASingleSampledCopyOfAMultisampledBuffer)
{
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    struct Case
    {
        int samples;
        GLenum depthFormat;
        float depth;
    };
    const Case cases[] = {{0, GL_DEPTH24_STENCIL8, 0.75f},
                          {4, GL_DEPTH24_STENCIL8, 0.25f},
                          {4, GL_DEPTH_COMPONENT24, 0.5f},
                          {2, GL_DEPTH_COMPONENT32F, 0.125f}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.samples) + " samples, format " + std::to_string(c.depthFormat));
        GLuint framebuffer = 0;
        GLuint buffers[2] = {0, 0};
        glGenFramebuffers(1, &framebuffer);
        glGenRenderbuffers(2, buffers);
        glBindRenderbuffer(GL_RENDERBUFFER, buffers[0]);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, c.samples, GL_RGBA8, 16, 16);
        glBindRenderbuffer(GL_RENDERBUFFER, buffers[1]);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, c.samples, c.depthFormat, 16, 16);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers[0]);
        glFramebufferRenderbuffer(
            GL_FRAMEBUFFER, c.depthFormat == GL_DEPTH24_STENCIL8 ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
            GL_RENDERBUFFER, buffers[1]);
        ASSERT_EQ(GLenum(GL_FRAMEBUFFER_COMPLETE), glCheckFramebufferStatus(GL_FRAMEBUFFER));
        GLint sampleBuffers = 0;
        glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
        EXPECT_EQ(c.samples > 0, sampleBuffers > 0);
        glClearDepth(c.depth);
        glClear(GL_DEPTH_BUFFER_BIT);
        glClearDepth(1.0);
        EXPECT_NEAR(c.depth, MovePlaneMouseTool::ReadDepth(5, 7), 1e-4);
        GLint bound = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
        EXPECT_EQ(GLint(framebuffer), bound);
        glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteRenderbuffers(2, buffers);
        EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
    }
}

TEST_F(ScenePickInputTest, GlyphsAgainstMeshesPlanesAndMisses)
{
    Open();
    model->SetGeneColorMode(0, false);
    model->SetExpressionSelector(BrainSceneView::Selector(Ontology().GetNumLabels(), true), false);
    model->SetExpressionWindow(0.0f, 255.0f, false);
    model->SetExpressionDensityVisibilityThreshold(0, 0, false);
    // The glyph sits on the ray of a whole pixel near the middle of the grid, deep inside the brain.
    const std::array<double, 2> middle = Mouse({d[0] * 0.5f, d[1] * 0.5f, d[2] * 0.5f});
    const int x = int(middle[0]);
    const int y = int(middle[1]);
    const std::array<double, 3> a = Unproject(x, y, 0.0);
    const std::array<double, 3> b = Unproject(x, y, 1.0);
    double t = 0;
    double length = 0;
    for (int i = 0; i < 3; ++i)
    {
        t += (d[i] * 0.5 - a[i]) * (b[i] - a[i]);
        length += (b[i] - a[i]) * (b[i] - a[i]);
    }
    t /= length;
    std::shared_ptr<HandDataSet> gene = NewDataSet(1);
    const AnnotationLabel* label = Ontology().GetAnnotationLabelByIndex(2);
    gene->Add(float(a[0] + t * (b[0] - a[0])), float(a[1] + t * (b[1] - a[1])), float(a[2] + t * (b[2] - a[2])), 0.5f,
              100, label);
    gene->Finish(Ontology());
    AddDataSet(gene);
    BrainSceneView::Selector allMeshes(Ontology().GetNumLabels(), true);
    // The data set's threshold control would take presses over its part of this small window.
    model->ShowThresholdControls(false, false);
    display->Display();

    enum Expect
    {
        kGlyph,
        kStructure,
        kPlane,
        kNothing
    };
    struct Case
    {
        const char* name;
        bool meshes;
        bool translucent;
        bool planes;
        int pointerShift;
        Expect expect;
    };
    const Case cases[] = {
        {"glyph alone", false, false, false, 0, kGlyph},
        {"behind opaque meshes", true, false, false, 0, kStructure},
        {"behind translucent meshes", true, true, false, 0, kGlyph},
        {"shown cutting planes", false, false, true, 0, kPlane},
        {"a miss", false, false, false, 60, kNothing},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        model->SetStructureSelector(c.meshes ? allMeshes : BrainSceneView::Selector(Ontology().GetNumLabels(), false),
                                    false);
        model->SetMeshDisplayStyle(
            c.translucent ? BrainExpressionModel::TRANSLUCENT_MESHES : BrainExpressionModel::OPAQUE_MESHES, false);
        model->SetCuttingPlanesVisible(c.planes, false);
        display->Display();
        model->SelectStructure(Ontology().GetAnnotationLabelByIndex(3), false);
        model->SelectExpressor(nullptr, nullptr, nullptr, false);
        ASSERT_TRUE(renderer->OnButtonDown(0, x + c.pointerShift, y + c.pointerShift, 0, 0));
        EXPECT_EQ(c.expect == kPlane, Tool() != nullptr);
        EXPECT_EQ(c.expect == kGlyph, model->GetSelectedExpressor() == &gene->Expressors()[0]);
        if (c.expect == kStructure)
        {
            EXPECT_TRUE(model->GetSelectedStructure() && model->GetSelectedStructure()->index != 3);
        }
        if (c.expect == kNothing)
        {
            EXPECT_FALSE(model->GetSelectedStructure());
        }
        renderer->OnButtonUp(0, x, y, 0, 10000);
    }
}

TEST_F(ScenePickInputTest, KeysWheelAndSpecialKeys)
{
    Open();
    const float step0 = 1.0f / Space()->GetViewResolution()[0];
    const float step2 = 1.0f / Space()->GetViewResolution()[2];
    const float next[3] = {0.1f, 0.2f, 0.3f};
    model->SetNextProbeLocation(next);
    struct Case
    {
        unsigned int key;
        bool planeShown;
        bool result;
        float slice0, slice2; // locations after the key
    };
    const Case cases[] = {
        {'[', true, true, 0.5f - step0, 0.5f}, {']', true, true, 0.5f + step0, 0.5f}, {'[', false, false, 0.5f, 0.5f},
        {'=', true, true, 0.5f, 0.5f + step2}, {'-', false, false, 0.5f, 0.5f},       {'e', true, false, 0.5f, 0.5f},
        {'x', true, false, 0.5f, 0.5f},        {'g', true, true, 0.5f, 0.5f},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(1, char(c.key)) + (c.planeShown ? " shown" : " hidden"));
        for (int p = 0; p < 3; ++p)
        {
            model->SetMPRPlaneVisible(P(p), c.planeShown, false);
            model->SetMPRSliceLocation(P(p), 0.5f, false);
        }
        EXPECT_EQ(c.result, renderer->OnKeyDown(c.key, 0, 0));
        EXPECT_NEAR(c.slice0, model->GetMPRSliceLocation(P(0)), 1e-6);
        EXPECT_NEAR(c.slice2, model->GetMPRSliceLocation(P(2)), 1e-6);
    }
    for (int a = 0; a < 3; ++a)
        EXPECT_FLOAT_EQ(next[a], model->GetProbeLocation()[a]);
    // '1' on the only view hides it, and with nothing left every view shows again.
    EXPECT_FALSE(renderer->OnKeyDown('1', 0, 0));
    EXPECT_TRUE(View(0).IsVisible());
    EXPECT_FALSE(renderer->OnKeyDown('2', 0, 0)); // no second view: the default row

    model->SetZoom(50, false);
    const int deltas[] = {-3, 2, 0};
    const float zooms[] = {40, 50, 50};
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_TRUE(renderer->OnMouseWheel(10, 10, 0, deltas[i], 0));
        EXPECT_FLOAT_EQ(zooms[i], model->GetZoom());
    }

    const std::array<float, 4> before = {
        renderer->GetTrackball()->GetQuaternion()[0], renderer->GetTrackball()->GetQuaternion()[1],
        renderer->GetTrackball()->GetQuaternion()[2], renderer->GetTrackball()->GetQuaternion()[3]};
    const float origin[3] = {0, 0, 0};
    model->SetOrigin(origin, false);
    EXPECT_TRUE(renderer->OnSpecialKeyDown(1, kCommandKey, 0));
    const float panned =
        std::abs(model->GetOrigin()[0]) + std::abs(model->GetOrigin()[1]) + std::abs(model->GetOrigin()[2]);
    EXPECT_NE(0.0f, panned);
    EXPECT_EQ(before[3], renderer->GetTrackball()->GetQuaternion()[3]);
    EXPECT_TRUE(renderer->OnSpecialKeyDown(5, 0, 0));
    EXPECT_EQ(before[3], renderer->GetTrackball()->GetQuaternion()[3]);
    EXPECT_TRUE(renderer->OnSpecialKeyDown(3, 0, 0));
    EXPECT_NE(before[3], renderer->GetTrackball()->GetQuaternion()[3]);
}

TEST_F(ScenePickInputTest, ProbeVisibilityAndTheStructureUnderAMovedProbe)
{
    SetPreference("VolumeRenderingActive", "1");
    Open();
    BrainSceneView& view = View(0);
    ASSERT_TRUE(view.GetCorrelationLayer());
    const AnnotationLabel* correlation = Ontology().GetAnnotationLabelByDatabaseId(9999);
    ASSERT_TRUE(correlation);
    const float centre[3] = {0.5f, 0.5f, 0.5f};

    // Nothing shows the probe, then each rule in turn.
    model->SetProbeLocation(centre, Space(), false);
    EXPECT_FALSE(view.ProbeVisible());
    model->SetStructureSelector(correlation->selector, false);
    EXPECT_TRUE(view.ProbeVisible());
    model->SetProbeLocation(centre, nullptr, false);
    EXPECT_FALSE(view.ProbeVisible()) << "a probe of another space";
    model->SetProbeLocation(centre, Space(), false);
    model->SetStructureSelector(BrainSceneView::Selector(Ontology().GetNumLabels(), false), false);
    std::shared_ptr<HandDataSet> grid = NewDataSet(5);
    grid->SetGrid(std::vector<float>(8, 1.0f));
    grid->Finish(Ontology());
    AddDataSet(grid);
    model->SelectGene(grid.get(), false);
    model->SetProbeLocation(centre, Space(), false);
    EXPECT_TRUE(view.ProbeVisible()) << "a selected data set with a volume grid";
    model->SelectGene(nullptr, false);

    // With the correlation layer on, a moved probe selects the structure under it, read from the file.
    model->SetStructureSelector(correlation->selector, false);
    const unsigned int* atlas = Space()->GetAtlasDimensions();
    const std::vector<unsigned char> annotation = ReadWholeFile(Space()->GetPath() + "/Annotation");
    const float* viewResolution = Space()->GetViewResolution();
    const float* atlasResolution = Space()->GetAtlasResolution();
    struct Case
    {
        float probe[3];
    };
    const Case cases[] = {{{0.5f, 0.5f, 0.5f}}, {{0.3f, 0.6f, 0.4f}}, {{0.0f, 0.0f, 0.0f}}, {{0.7f, 0.45f, 0.55f}}};
    for (const Case& c : cases)
    {
        model->SetProbeLocation(c.probe, Space(), false);
        model->SelectStructure(Ontology().GetAnnotationLabelByIndex(2), false);
        view.UpdateProbe();
        std::size_t voxel[3];
        for (int a = 0; a < 3; ++a)
        {
            const double physical = double(d[a]) * c.probe[a] * viewResolution[a];
            voxel[a] = std::min<std::size_t>(atlas[a] - 1, std::size_t(std::lround(physical / atlasResolution[a])));
        }
        const std::size_t offset = voxel[0] + atlas[0] * (voxel[1] + atlas[1] * voxel[2]);
        const unsigned short value =
            static_cast<unsigned short>(annotation[2 * offset] | (annotation[2 * offset + 1] << 8));
        EXPECT_EQ(value ? Ontology().GetAnnotationLabel(value) : nullptr, model->GetSelectedStructure())
            << c.probe[0] << "," << c.probe[1] << "," << c.probe[2];
    }
}

} // namespace
