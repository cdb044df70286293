#include "gl/HermiteSpline.h"

HermiteSpline::HermiteSpline(float t0, float t1, float p0, float p1, float m0, float m1)
    : m_t0(t0)
    , m_t1(t1)
{
    // The slopes are per unit of t; the cubic runs over u in [0, 1], so they scale by the interval.
    const float d = t1 - t0;
    const float md0 = m0 * d, md1 = m1 * d;
    m_a0 = p0;
    m_a1 = md0;
    m_a2 = -3.0f * p0 + 3.0f * p1 - 2.0f * md0 - md1;
    m_a3 = 2.0f * p0 - 2.0f * p1 + md0 + md1;
}

float HermiteSpline::Evaluate(float t)
{
    const float u = (t - m_t0) / (m_t1 - m_t0);
    return m_a0 + m_a1 * u + m_a2 * u * u + m_a3 * u * u * u;
}
