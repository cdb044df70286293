#include "gl/HermiteSpline.h"

#include <gtest/gtest.h>

TEST(HermiteSplineTest, EaseInOutPassesThroughItsEnds)
{
    HermiteSpline spline(0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(spline.Evaluate(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(spline.Evaluate(0.5f), 0.5f);
    EXPECT_FLOAT_EQ(spline.Evaluate(1.0f), 1.0f);
    const float h = 1e-3f;
    EXPECT_NEAR((spline.Evaluate(h) - spline.Evaluate(0.0f)) / h, 0.0f, 1e-2f);
    EXPECT_NEAR((spline.Evaluate(1.0f) - spline.Evaluate(1.0f - h)) / h, 0.0f, 1e-2f);
}

TEST(HermiteSplineTest, SlopesArePerUnitOfTOverAShiftedInterval)
{
    // Over [2, 6] from 10 to -2, leaving with slope 3 and arriving with slope -1.
    HermiteSpline spline(2.0f, 6.0f, 10.0f, -2.0f, 3.0f, -1.0f);
    EXPECT_FLOAT_EQ(spline.Evaluate(2.0f), 10.0f);
    EXPECT_NEAR(spline.Evaluate(6.0f), -2.0f, 1e-5f);
    const float h = 1e-2f;
    EXPECT_NEAR((spline.Evaluate(2.0f + h) - spline.Evaluate(2.0f - h)) / (2 * h), 3.0f, 1e-2f);
    EXPECT_NEAR((spline.Evaluate(6.0f + h) - spline.Evaluate(6.0f - h)) / (2 * h), -1.0f, 1e-2f);
}

TEST(HermiteSplineTest, ExtrapolatesTheCubicOutsideTheInterval)
{
    // A straight line (slopes equal to the chord) stays one outside the interval too.
    HermiteSpline line(0.0f, 2.0f, 1.0f, 5.0f, 2.0f, 2.0f);
    EXPECT_NEAR(line.Evaluate(-1.0f), -1.0f, 1e-5f);
    EXPECT_NEAR(line.Evaluate(3.0f), 7.0f, 1e-5f);
}
