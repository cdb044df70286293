#include "SceneFixture.h"

#include "core/GeometryUtils.h"
#include "expression/Bookmark.h"
#include "expression/ModelChangeCode.h"
#include "scene/BookmarkInterpolator.h"

#include <cmath>
#include <sstream>

namespace
{

using namespace scenetest;
using P = Image3dPlane::Plane;

const int CONTINUOUS = Bookmark::VIEW_ANGLE | Bookmark::ZOOM | Bookmark::CLIPPING_PLANES | Bookmark::THRESHOLDS;

class Recorder : public BrainExpressionModelListener
{
public:
    void ModelChanged(int code, BrainExpressionModel* model, int) override
    {
        codes.push_back(code);
        if (code == ROTATION_CHANGED)
            rotations.emplace_back(model->GetRotation(), model->GetRotation() + 4);
        if (code == ZOOM_CHANGED)
            zooms.push_back(model->GetZoom());
    }
    int Count(int code) const { return static_cast<int>(std::count(codes.begin(), codes.end(), code)); }

    std::vector<int> codes;
    std::vector<std::vector<float>> rotations;
    std::vector<float> zooms;
};

class BookmarkAnimationTest : public SceneTest
{
public:
    void SetUp() override
    {
        SceneTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        MakeScene(Installed(310));
        renderer->SetAnimationClock([this] { return now; });
        model->AddListener(&recorder);
    }
    void TearDown() override
    {
        if (model)
            model->RemoveListener(&recorder);
        SceneTest::TearDown();
    }

    // A bookmark of another document's state: turned, zoomed, cut and thresholded.
    Bookmark Target(int flags, const float* rotation = nullptr)
    {
        BrainExpressionModel other(model->GetSharedAtlas());
        const float turned[4] = {0.0f, 0.70710677f, 0.0f, 0.70710677f};
        const float origin[3] = {12.0f, -4.0f, 3.0f};
        other.SetRotation(rotation ? rotation : turned, false);
        other.SetOrigin(origin, false);
        other.SetZoom(120.0f, false);
        other.SetCuttingPlaneLocation(P::CORONAL, 0.2f, true, false);
        other.SetCuttingPlaneLocation(P::SAGITTAL, 0.7f, false, false);
        other.SetExpressionLevelVisibilityThreshold(20.0f, 100.0f, false);
        other.SetMPRPlaneVisible(P::SAGITTAL, true, false);
        other.SetMPRSliceLocation(P::SAGITTAL, 0.25f, false);
        return Bookmark("target", flags, &other);
    }

    // The model's state in the parts the bookmark holds, as the bookmarks file would write it.
    std::string State(const Bookmark& like)
    {
        std::ostringstream text;
        Bookmark("", like.GetFlags(), model.get()).SaveXML(text, &Ontology(), 0);
        return text.str();
    }
    std::string Text(const Bookmark& bookmark)
    {
        std::ostringstream text;
        Bookmark copy = bookmark;
        copy.SetName("");
        copy.SaveXML(text, &Ontology(), 0);
        return text.str();
    }

    double now = 1000.0;
    Recorder recorder;
};

TEST_F(BookmarkAnimationTest, WhatJumpsAndWhatAnimates)
{
    const auto slices = [](float coronal, float horizontal, float sagittal) {
        Bookmark b("slices", Bookmark::MPR_SLICES);
        b.SetMPRSlice(P::CORONAL, coronal >= 0, coronal);
        b.SetMPRSlice(P::HORIZONTAL, horizontal >= 0, horizontal);
        b.SetMPRSlice(P::SAGITTAL, sagittal >= 0, sagittal);
        return b;
    };
    Bookmark zoom("zoom", Bookmark::ZOOM);
    zoom.SetZoom(90.0f);
    Bookmark structures("structures", Bookmark::ATLAS_STRUCTURES);
    Bookmark probe("probe", Bookmark::PROBE);
    const struct
    {
        const char* what;
        const char* speed;
        Bookmark bookmark;
        bool immediate;
        bool animates;
    } cases[] = {
        {"a speed of one tick jumps", "0.04", zoom, false, false},
        {"just above one tick", "0.05", zoom, false, true},
        {"asked to be immediate", "2", zoom, true, false},
        {"no speed", "0", zoom, false, false},
        {"slices only, horizontal alone placed", "2", slices(-1, 0.5f, -1), false, false},
        {"slices only, sagittal placed", "2", slices(-1, -1, 0.3f), false, true},
        {"slices only, coronal at 0", "2", slices(0, -1, -1), false, true},
        {"structures only", "2", structures, false, false},
        {"probe", "2", probe, false, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        SetPreference("BookmarkAnimationSpeed", c.speed);
        renderer->GoToBookmark(c.bookmark, c.immediate);
        EXPECT_EQ(c.animates, renderer->HasBookmarkAnimation());
        EXPECT_EQ(c.animates, display->TimerRunning());
        if (!c.animates)
        {
            EXPECT_EQ(State(c.bookmark), Text(c.bookmark));
        }
        renderer->GoToBookmark(Bookmark("nothing", 0), true);
        EXPECT_FALSE(display->TimerRunning());
    }
}

TEST_F(BookmarkAnimationTest, TheClockDrivesTheEaseAndTheEndIsTheTarget)
{
    const Bookmark target = Target(CONTINUOUS | Bookmark::MPR_SLICES);
    model->SetMPRSliceLocation(P::SAGITTAL, 0.75f, false);
    const float startZoom = model->GetZoom();
    renderer->GoToBookmark(target, false);
    ASSERT_TRUE(renderer->HasBookmarkAnimation());
    EXPECT_DOUBLE_EQ(2.0, renderer->GetBookmarkAnimation()->GetDuration());
    // Thresholds and cutting planes move in live update until the end.
    EXPECT_TRUE(model->GetLiveUpdate());
    EXPECT_EQ(startZoom, model->GetZoom());

    display->FireTimer(); // starts the clock: time 0
    EXPECT_EQ(startZoom, model->GetZoom());
    EXPECT_TRUE(model->GetMPRPlaneVisible(P::SAGITTAL));
    now += 1.0; // half way, where the ease curve is half way too
    display->FireTimer();
    EXPECT_FLOAT_EQ(startZoom + (120.0f - startZoom) * 0.5f, model->GetZoom());
    EXPECT_FLOAT_EQ(0.5f, model->GetMPRSliceLocation(P::SAGITTAL));
    EXPECT_FLOAT_EQ(0.1f, model->GetCuttingPlaneLocation(P::CORONAL, true));
    // No upper limit moves as if it were 260; the density threshold without one stays, and ends without one.
    EXPECT_EQ(Range(10.0f, 180.0f), model->GetExpressionLevelVisibilityThreshold());
    EXPECT_EQ(Range(15.0f, -1.0f), model->GetExpressionDensityVisibilityThreshold());
    const float* q = model->GetRotation();
    EXPECT_NEAR(1.0, std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]), 1e-6);
    now += 0.25;
    display->FireTimer();
    EXPECT_TRUE(std::is_sorted(recorder.zooms.begin(), recorder.zooms.end()));
    EXPECT_NE(State(target), Text(target));

    now += 0.75; // 2 s: the end
    display->FireTimer();
    EXPECT_EQ(State(target), Text(target));
    EXPECT_FALSE(model->GetLiveUpdate());
    EXPECT_FALSE(renderer->HasBookmarkAnimation());
    EXPECT_FALSE(display->TimerRunning());
}

TEST_F(BookmarkAnimationTest, EqualRotationsAnimateOnlyTheRest)
{
    const Bookmark target = Target(Bookmark::VIEW_ANGLE | Bookmark::ZOOM, model->GetRotation());
    renderer->GoToBookmark(target, false);
    for (int tick = 0; tick < 10; ++tick, now += 0.1)
        display->FireTimer();
    EXPECT_EQ(0, recorder.Count(ROTATION_CHANGED));
    EXPECT_EQ(10, recorder.Count(ORIGIN_CHANGED));
    EXPECT_FALSE(model->GetLiveUpdate()); // nothing that needs it
}

TEST_F(BookmarkAnimationTest, OppositeQuaternionsGiveNoNaN)
{
    BookmarkInterpolator interpolator(Bookmark(), Bookmark(), model.get(), 1.0f);
    const float q[4] = {0.5f, -0.5f, 0.5f, 0.5f};
    const float minusQ[4] = {-0.5f, 0.5f, -0.5f, -0.5f};
    // Not quite unit: the product of the two rounds past 1.
    const float nearlyQ[4] = {0.50000006f, -0.50000006f, 0.50000006f, 0.50000006f};
    float out[4];
    EXPECT_FALSE(interpolator.InterpolateQuaternion(q, minusQ, out, 0.5));
    EXPECT_EQ(std::vector<float>(minusQ, minusQ + 4), std::vector<float>(out, out + 4));
    EXPECT_FALSE(interpolator.InterpolateQuaternion(q, q, out, 0.3));
    EXPECT_FALSE(interpolator.InterpolateQuaternion(q, nearlyQ, out, 0.3));
    EXPECT_EQ(std::vector<float>(nearlyQ, nearlyQ + 4), std::vector<float>(out, out + 4));
    for (double t = 0.0; t <= 1.0; t += 1.0 / 64)
    {
        interpolator.InterpolateQuaternion(q, minusQ, out, t);
        for (float v : out)
            ASSERT_TRUE(std::isfinite(v)) << t;
    }

    // The same through the renderer: every rotation set on the way is a number.
    model->SetRotation(q, false);
    renderer->GoToBookmark(Target(Bookmark::VIEW_ANGLE, minusQ), false);
    for (int tick = 0; tick <= 50; ++tick, now += 0.04)
        display->FireTimer();
    ASSERT_FALSE(recorder.rotations.empty());
    for (const auto& rotation : recorder.rotations)
        for (float v : rotation)
            ASSERT_TRUE(std::isfinite(v));
    EXPECT_EQ(std::vector<float>(minusQ, minusQ + 4), recorder.rotations.back());
}

TEST_F(BookmarkAnimationTest, InputAndNewAnimationsDropTheAnimationAndItsLiveUpdate)
{
    const struct
    {
        const char* what;
        std::function<void(BookmarkAnimationTest&)> drop;
    } cases[] = {
        {"press", [](BookmarkAnimationTest& t) { t.renderer->OnButtonDown(0, 10, 300, 0, 0); }},
        {"key", [](BookmarkAnimationTest& t) { t.renderer->OnKeyDown('x', 0, 0); }},
        {"wheel", [](BookmarkAnimationTest& t) { t.renderer->OnMouseWheel(10, 300, 0, 0, 0); }},
        {"deactivated", [](BookmarkAnimationTest& t) { t.renderer->SetActive(false); }},
        {"a jump", [](BookmarkAnimationTest& t) { t.renderer->GoToBookmark(Bookmark("zoom", Bookmark::ZOOM), true); }},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        model->SetExpressionLevelVisibilityThreshold(0.0f, -1.0f, false);
        renderer->GoToBookmark(Target(Bookmark::THRESHOLDS), false);
        display->FireTimer();
        now += 0.5;
        display->FireTimer();
        ASSERT_TRUE(model->GetLiveUpdate());
        const Range halfWay = model->GetExpressionLevelVisibilityThreshold();
        c.drop(*this);
        EXPECT_FALSE(renderer->HasBookmarkAnimation());
        EXPECT_FALSE(model->GetLiveUpdate());
        EXPECT_FALSE(display->TimerRunning());
        EXPECT_EQ(halfWay, model->GetExpressionLevelVisibilityThreshold()); // stays where it was
    }
    // Live update that someone else turned on is theirs to end.
    model->SetLiveUpdate(true);
    renderer->GoToBookmark(Target(Bookmark::ZOOM), false);
    renderer->OnKeyDown('x', 0, 0);
    EXPECT_TRUE(model->GetLiveUpdate());
}

TEST_F(BookmarkAnimationTest, CenteringAnimatesHalfASecondToTheTransformedOrigin)
{
    AtlasSpace* space = Space(0);
    const unsigned int* d = space->GetViewDimensions();
    const float point[3] = {d[0] * 0.25f, d[1] * 0.75f, d[2] * 0.5f + 3.0f};
    // The space sits square in the scene: the origin is minus the point's offset from the box centre, with y
    // and z flipped as the camera flips them.
    const std::vector<float> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    ASSERT_EQ(identity, std::vector<float>(space->GetTransform(), space->GetTransform() + 16));
    const float expected[3] = {d[0] / 2.0f - point[0], point[1] - d[1] / 2.0f, point[2] - d[2] / 2.0f};
    const std::vector<float> rotation(model->GetRotation(), model->GetRotation() + 4);

    renderer->CenterViewAt(point, false, nullptr);
    ASSERT_TRUE(renderer->HasBookmarkAnimation());
    EXPECT_DOUBLE_EQ(0.5, renderer->GetBookmarkAnimation()->GetDuration());
    display->FireTimer();
    now += 0.25;
    display->FireTimer();
    EXPECT_TRUE(renderer->HasBookmarkAnimation());
    now += 0.25;
    display->FireTimer();
    EXPECT_FALSE(renderer->HasBookmarkAnimation());
    EXPECT_EQ(std::vector<float>(expected, expected + 3),
              std::vector<float>(model->GetOrigin(), model->GetOrigin() + 3));
    EXPECT_EQ(rotation, std::vector<float>(model->GetRotation(), model->GetRotation() + 4));

    const float zero[3] = {0, 0, 0};
    model->SetOrigin(zero, false);
    renderer->CenterViewAt(point, true, nullptr);
    EXPECT_FALSE(renderer->HasBookmarkAnimation());
    EXPECT_EQ(std::vector<float>(expected, expected + 3),
              std::vector<float>(model->GetOrigin(), model->GetOrigin() + 3));
}

} // namespace
