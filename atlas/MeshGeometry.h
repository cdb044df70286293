#pragma once

// What the triangle, line and vertex-coloured meshes share in placing and hit-testing their points.

// p lies within the hit box: x within range2, y within range3, z within range1, each a closed
// (minimum, maximum) interval.
inline bool InsideHitBox(const float* p, const float* range1, const float* range2, const float* range3)
{
    return p[0] >= range2[0] && p[0] <= range2[1] && p[1] >= range3[0] && p[1] <= range3[1] && p[2] >= range1[0] &&
           p[2] <= range1[1];
}

// position := position x scale + offset per axis for every point; position(point) gives its three floats.
// The identity changes nothing and costs nothing.
template <class Points, class Position>
void TransformPositions(Points& points, const float* scale, const float* offset, Position position)
{
    if (scale[0] == 1.0f && scale[1] == 1.0f && scale[2] == 1.0f && offset[0] == 0.0f && offset[1] == 0.0f &&
        offset[2] == 0.0f)
        return;
    for (auto& point : points)
    {
        float* p = position(point);
        for (int axis = 0; axis < 3; ++axis)
            p[axis] = p[axis] * scale[axis] + offset[axis];
    }
}
