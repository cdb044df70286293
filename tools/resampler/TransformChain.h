#pragma once

#include <array>
#include <string>
#include <vector>

namespace resampler
{

using Point = std::array<double, 3>;

// Reorders and mirrors the axes: q[k] = p[permutation[k]], then q[k] = extent[k] - q[k] where flipped.
struct PermuteAndFlip
{
    std::array<int, 3> permutation{{0, 1, 2}};
    std::array<int, 3> flip{{0, 0, 0}};
    Point extent{{0.0, 0.0, 0.0}};

    Point Apply(const Point& p) const;
};

// q = matrix × p + translation, millimetres; the matrix row by row.
struct Affine
{
    std::array<double, 9> matrix{{1, 0, 0, 0, 1, 0, 0, 0, 1}};
    Point translation{{0.0, 0.0, 0.0}};

    Point Apply(const Point& p) const;
};

// q = p + displacement(p): a cubic B-spline over a grid of control points (x fastest), each holding a
// displacement vector; control points beyond the grid count as no displacement.
struct BSpline
{
    Point origin{{0.0, 0.0, 0.0}};
    Point spacing{{1.0, 1.0, 1.0}};
    std::array<int, 3> size{{0, 0, 0}};
    std::vector<double> coefficients; // 3 × count: all x components, then all y, then all z

    Point Apply(const Point& p) const;
};

// The chain from an output point to the input point it samples: permute and flip, then the affine,
// then the B-spline.
struct TransformChain
{
    PermuteAndFlip permuteAndFlip;
    Affine affine;
    BSpline bspline;

    Point Apply(const Point& p) const { return bspline.Apply(affine.Apply(permuteAndFlip.Apply(p))); }
};

// Each reader throws std::runtime_error naming the file and the key that is missing or malformed.
PermuteAndFlip ReadPermuteAndFlip(const std::string& path);
Affine ReadAffine(const std::string& path);
BSpline ReadBSpline(const std::string& path);

// Fills output (x fastest) by mapping each output voxel, at index × output spacing, through the chain to
// input index = point ÷ input spacing and interpolating trilinearly there; points beyond the input's
// first or last voxel get defaultValue.
void Resample(const TransformChain& chain, const float* input, const unsigned int* inputSize, const float* inputSpacing,
              float* output, const unsigned int* outputSize, float defaultValue, const float* outputSpacing);

} // namespace resampler
