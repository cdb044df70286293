#include "gl/BrainSceneServices.h"
#include "gl/Trackball.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace
{

using Quat = std::array<float, 4>;

class FakeScene : public BrainSceneServices
{
public:
    int width = 400;
    int height = 300;
    std::vector<bool> animateCalls;
    std::vector<Quat> rotations;

    int GetWidth() const override { return width; }
    int GetHeight() const override { return height; }
    void Animate(bool spin) override { animateCalls.push_back(spin); }
    GLDisplay* GetContext() override { return nullptr; }
    void SetModelRotation(const float* q) override { rotations.push_back({q[0], q[1], q[2], q[3]}); }
};

float Length(const float* q)
{
    return std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
}

void ExpectQuat(const float* actual, const Quat& expected, float tolerance = 1e-5f)
{
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(actual[k], expected[k], tolerance) << "component " << k;
}

TEST(TrackballMath, RollsThePointsOntoEachOther)
{
    struct Case
    {
        float p1x, p1y, p2x, p2y;
        Quat expected;
    };
    const Case cases[] = {
        // Half a radius to the right from the centre: 30 degrees about -y.
        {0.0f, 0.0f, 0.2f, 0.0f, {0.0f, -0.258819f, 0.0f, 0.965926f}},
        {0.0f, 0.0f, 0.0f, 0.2f, {0.258819f, 0.0f, 0.0f, 0.965926f}},
        {0.3f, -0.1f, 0.3f, -0.1f, {0.0f, 0.0f, 0.0f, 1.0f}},
        // Far outside the ball the hyperbolic sheet keeps the turn bounded at 180 degrees.
        {-5.0f, 0.0f, 5.0f, 0.0f, {0.0f, -1.0f, 0.0f, 0.0f}},
    };
    for (const Case& c : cases)
    {
        float q[4];
        trackball(q, c.p1x, c.p1y, c.p2x, c.p2y);
        ExpectQuat(q, c.expected);
    }
}

TEST(TrackballMath, EveryNinetyEighthCompositionRenormalisesBySquaredLength)
{
    // The counter is shared by the whole process: find the renormalising call, then count to the next.
    const float identity[4] = {0, 0, 0, 1};
    const float longer[4] = {0, 0, 0, 1.01f};
    std::vector<int> renormalised;
    for (int call = 0; call < 2 * 98; ++call)
    {
        float dest[4];
        add_quats(identity, longer, dest);
        if (std::fabs(Length(dest) - 1.01f) > 1e-6f)
        {
            EXPECT_NEAR(Length(dest), 0.990099f, 1e-6f);
            renormalised.push_back(call);
        }
    }
    ASSERT_EQ(renormalised.size(), 2u);
    EXPECT_EQ(renormalised[1] - renormalised[0], 98);
}

TEST(Trackball, AZeroLengthMoveLeavesTheRotation)
{
    FakeScene scene;
    Trackball ball(&scene);
    const float start[4] = {0.0f, 0.6f, 0.0f, 0.8f};
    ball.SetQuaternion(start);
    ball.OnButtonDown(0, 120, 80, 0, 1000);
    ball.OnMouseMove(120, 80, 0, 1010);
    ExpectQuat(ball.GetQuaternion(), {0.0f, 0.6f, 0.0f, 0.8f});
    ExpectQuat(ball.GetSpin(), {0, 0, 0, 1});
}

TEST(Trackball, HorizontalDragFromTheCentreTurnsAboutTheVerticalAxis)
{
    FakeScene scene;
    Trackball ball(&scene);
    ball.OnButtonDown(0, 200, 150, 0, 0);
    ball.OnMouseMove(300, 150, 0, 10);
    const float* q = ball.GetQuaternion();
    EXPECT_NEAR(q[0], 0.0f, 1e-6f);
    EXPECT_NEAR(q[2], 0.0f, 1e-6f);
    EXPECT_LT(q[1], -0.1f);
    ASSERT_EQ(scene.rotations.size(), 1u);
    ExpectQuat(scene.rotations[0].data(), {q[0], q[1], q[2], q[3]}, 0.0f);
}

TEST(Trackball, ReleaseWithin25MillisecondsKeepsSpinning)
{
    struct Case
    {
        unsigned int lastMove, release;
        bool spin;
    };
    const Case cases[] = {{1000, 1024, true}, {1000, 1025, false}, {0xFFFFFFF0u, 0x00000005u, true}};
    for (const Case& c : cases)
    {
        FakeScene scene;
        Trackball ball(&scene);
        ball.OnButtonDown(0, 10, 10, 0, c.lastMove - 5);
        ball.OnMouseMove(20, 10, 0, c.lastMove);
        EXPECT_TRUE(ball.OnButtonUp(0, 20, 10, 0, c.release));
        ASSERT_EQ(scene.animateCalls.size(), 1u);
        EXPECT_EQ(scene.animateCalls[0], c.spin) << c.release - c.lastMove << " ms";
    }
}

TEST(Trackball, MovesAreIgnoredWithoutASize)
{
    FakeScene scene;
    scene.width = 0;
    Trackball ball(&scene);
    ball.OnButtonDown(0, 10, 10, 0, 0);
    EXPECT_TRUE(ball.OnMouseMove(30, 40, 0, 5));
    scene.width = 400;
    ball.OnMouseMove(30, 40, 0, 6);
    // The rotation stays a unit quaternion once the size is back.
    EXPECT_NEAR(Length(ball.GetQuaternion()), 1.0f, 1e-5f);
    EXPECT_FALSE(std::isnan(ball.GetQuaternion()[3]));
    EXPECT_EQ(scene.rotations.size(), 1u);
}

// A host without a size, then sized 400 x 300: the drag from its centre half-way to the right edge turns
// about the vertical axis alone, by 2 asin(|P1 - P2| / 0.8) with P1 = (0, 0, 0.4), P2 = (0.5, 0, 0.16).
TEST(Trackball, NothingOfAnUnsizedHostOutlivesItsSizing)
{
    struct Case
    {
        const char* what;
        int width, height; // the host's size at the press
        int pressX, pressY;
    };
    const Case cases[] = {
        {"no size at all, pressed off the centre", 0, 0, 120, 90},
        {"no width beside an older height", 0, 250, 200, 150},
        {"no height beside an older width", 640, 0, 200, 150},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        FakeScene scene;
        scene.width = c.width;
        scene.height = c.height;
        Trackball ball(&scene);
        ball.OnButtonDown(0, c.pressX, c.pressY, 0, 0);
        ball.OnMouseMove(200, 150, 0, 5);
        EXPECT_TRUE(scene.rotations.empty());
        scene.width = 400;
        scene.height = 300;
        ball.OnMouseMove(300, 150, 0, 10);
        ExpectQuat(ball.GetQuaternion(), {0.0f, -0.6932712f, 0.0f, 0.7206768f});
    }
}

TEST(Trackball, SetQuaternionThenAnimateComposesItWithItself)
{
    FakeScene scene;
    Trackball ball(&scene);
    const float q[4] = {0.0f, 0.0f, 0.38268343f, 0.92387953f}; // 45 degrees about z
    ball.SetQuaternion(q);
    ball.Animate();
    ExpectQuat(ball.GetQuaternion(), {0.0f, 0.0f, 0.70710678f, 0.70710678f});
    ASSERT_EQ(scene.rotations.size(), 1u);
    ExpectQuat(scene.rotations[0].data(), {0.0f, 0.0f, 0.70710678f, 0.70710678f});
    EXPECT_NEAR(ball.GetMatrix()[1], -1.0f, 1e-5f);
}

TEST(Trackball, AddRotationTellsTheModelWithOrWithoutAnimation)
{
    const float axis[3] = {0.0f, 0.0f, 2.0f}; // any length
    {
        FakeScene scene;
        Trackball ball(&scene);
        ball.AddRotation(axis, 1.5707964f, false);
        ExpectQuat(ball.GetQuaternion(), {0.0f, 0.0f, 0.70710678f, 0.70710678f});
        ASSERT_EQ(scene.rotations.size(), 1u);
        ExpectQuat(scene.rotations[0].data(), {0.0f, 0.0f, 0.70710678f, 0.70710678f});
        EXPECT_TRUE(scene.animateCalls.empty());
        EXPECT_EQ(axis[2], 2.0f);
    }
    {
        FakeScene scene;
        Trackball ball(&scene);
        ball.AddRotation(axis, 0.7853982f, true);
        ExpectQuat(ball.GetSpin(), {0.0f, 0.0f, 0.70710678f, 0.70710678f});
        ExpectQuat(ball.GetQuaternion(), {0.0f, 0.0f, 0.70710678f, 0.70710678f});
        EXPECT_EQ(scene.animateCalls, std::vector<bool>{true});
        EXPECT_EQ(scene.rotations.size(), 1u);
    }
}

} // namespace
