#pragma once

#include <limits>

// Matrices are 16 floats in column-major order (element row r, column c at 4c + r);
// vectors are 3 floats, homogeneous vectors 4; a viewport is x, y, width, height.

// What every ray function answers when the ray misses.
constexpr float kRayNoHit = std::numeric_limits<float>::max();

void makeIdentity(float m[16]);
// False, with out untouched, when in is singular. in and out may be the same array.
bool invertMatrix(const float in[16], float out[16]);
// out[4i + k] = sum over j of a[4i + j] * b[4j + k]: in column-major terms b x a,
// so (m, p) gives p x m. out may be the same array as a or b.
void multiplyMatrices(const float a[16], const float b[16], float out[16]);
// out[i] = sum over j of m[4i + j] * v[j]: the transpose of m applied to v.
void multiplyMatrixVector(const float m[16], const float v[4], float out[4]);
// out[i] = sum over j of m[i + 4j] * v[j]: m applied to v.
void multiplyMatrixVectorT(const float m[16], const float v[4], float out[4]);
// Maps a window point back to object space through inverse, the inverse of
// projection x model-view. False, with x, y and z untouched, when the point has no
// image (w of 0, or an empty viewport).
bool unprojectPoint(float winX, float winY, float winZ, const float inverse[16], const int viewport[4], float* x,
                    float* y, float* z);

// out[i] = m[4i] v[0] + m[4i + 1] v[1] + m[4i + 2] v[2] + m[4i + 3] for the three rows of a row-major
// 3 x 4 matrix (or the first three rows of a 4 x 4 one): a rotation and translation applied to a point.
void multiplyMatrixVector3(const float* m, const float* v, float* out);
void vcross(const float a[3], const float b[3], float out[3]);
float vdot(const float a[3], const float b[3]);
// a x b of unit length; a zero-length product stays zero. out may alias a or b.
void normalizedCrossProduct(const float a[3], const float b[3], float out[3]);
// A zero vector stays unchanged.
void normalizeVector(float v[3]);
void subtractVectors(const float a[3], const float b[3], float out[3]);

// Rays have origin o and unit direction d.
// Distance from p to the infinite line through o along d (points behind o included).
float rayPointDistance(const float o[3], const float d[3], const float p[3]);
// The ray parameter of the hit with the triangle (negative behind the origin), or kRayNoHit.
float rayTriangleDistance(const float o[3], const float d[3], const float p0[3], const float p1[3], const float p2[3]);
// The nearer hit of the triangles (q0, q1, q2) and (q0, q2, q3), or kRayNoHit.
float rayQuadDistance(const float o[3], const float d[3], const float q0[3], const float q1[3], const float q2[3],
                      const float q3[3]);
