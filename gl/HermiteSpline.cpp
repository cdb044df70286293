#include "gl/HermiteSpline.h"

HermiteSpline::HermiteSpline(float t0, float t1, float p0, float p1, float m0, float m1)
    : t0(t0)
    , t1(t1)
{
    // The slopes are per unit of t; the cubic runs over u in [0, 1], so they scale by the interval.
    const float d = t1 - t0;
    const float md0 = m0 * d, md1 = m1 * d;
    a0 = p0;
    a1 = md0;
    a2 = -3.0f * p0 + 3.0f * p1 - 2.0f * md0 - md1;
    a3 = 2.0f * p0 - 2.0f * p1 + md0 + md1;
}

float HermiteSpline::Evaluate(float t)
{
    const float u = (t - t0) / (t1 - t0);
    return a0 + a1 * u + a2 * u * u + a3 * u * u * u;
}
