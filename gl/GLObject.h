#pragma once

class AnnotationLabel;

// A drawable scene object that picking rays can hit.
class GLObject
{
public:
    virtual ~GLObject() {}
    virtual void Draw(const AnnotationLabel* label, bool flag, unsigned int value) = 0;
    // Distance along the ray to the nearest hit, with the structure of the part hit stored in label;
    // a miss returns FLT_MAX. What a miss does to label is the object's own: some clear it, others
    // (line sets, which are never hit) leave it as it was. The ranges are (minimum, maximum) pairs
    // bounding the part of the object that may be hit.
    virtual float HitTest(const float* rayOrigin, const float* rayDirection, const float* range1, const float* range2,
                          const float* range3, const AnnotationLabel*& label) = 0;
};
