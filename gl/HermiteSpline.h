#pragma once

// A cubic through p0 at t0 and p1 at t1 with slopes m0 and m1 per unit of t; used to ease animations.
// Values outside [t0, t1] extrapolate the cubic. t0 must differ from t1.
class HermiteSpline
{
public:
    HermiteSpline(float t0, float t1, float p0, float p1, float m0, float m1);
    float Evaluate(float t);

private:
    float m_a0, m_a1, m_a2, m_a3;
    float m_t0, m_t1;
};
