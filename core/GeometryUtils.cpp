#include "core/GeometryUtils.h"

#include <cmath>
#include <cstring>
#include <utility>

void makeIdentity(float m[16])
{
    for (int i = 0; i < 16; ++i)
        m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

bool invertMatrix(const float in[16], float out[16])
{
    // Gauss-Jordan on the 16 values read as four rows of four; the copy lets in and
    // out be the same array.
    float work[4][4];
    float result[4][4];
    std::memcpy(work, in, sizeof(work));
    makeIdentity(&result[0][0]);

    for (int i = 0; i < 4; ++i)
    {
        int pivot = i;
        for (int j = i + 1; j < 4; ++j)
            if (std::fabs(work[j][i]) > std::fabs(work[i][i]))
                pivot = j;
        if (pivot != i)
        {
            for (int k = 0; k < 4; ++k)
            {
                std::swap(work[i][k], work[pivot][k]);
                std::swap(result[i][k], result[pivot][k]);
            }
        }
        const float value = work[i][i];
        if (value == 0.0f)
            return false;
        for (int k = 0; k < 4; ++k)
        {
            work[i][k] /= value;
            result[i][k] /= value;
        }
        for (int row = 0; row < 4; ++row)
        {
            if (row == i)
                continue;
            const float factor = work[row][i];
            for (int k = 0; k < 4; ++k)
            {
                work[row][k] -= work[i][k] * factor;
                result[row][k] -= result[i][k] * factor;
            }
        }
    }
    // Written only on success, so that a failed in-place inversion keeps its input.
    std::memcpy(out, result, sizeof(result));
    return true;
}

void multiplyMatrices(const float a[16], const float b[16], float out[16])
{
    float product[16];
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k)
        {
            float sum = 0.0f;
            for (int j = 0; j < 4; ++j)
                sum += a[4 * i + j] * b[4 * j + k];
            product[4 * i + k] = sum;
        }
    std::memcpy(out, product, sizeof(product));
}

void multiplyMatrixVector(const float m[16], const float v[4], float out[4])
{
    float product[4];
    for (int i = 0; i < 4; ++i)
        product[i] = m[4 * i] * v[0] + m[4 * i + 1] * v[1] + m[4 * i + 2] * v[2] + m[4 * i + 3] * v[3];
    std::memcpy(out, product, sizeof(product));
}

void multiplyMatrixVectorT(const float m[16], const float v[4], float out[4])
{
    float product[4];
    for (int i = 0; i < 4; ++i)
        product[i] = m[i] * v[0] + m[i + 4] * v[1] + m[i + 8] * v[2] + m[i + 12] * v[3];
    std::memcpy(out, product, sizeof(product));
}

bool unprojectPoint(float winX, float winY, float winZ, const float inverse[16], const int viewport[4], float* x,
                    float* y, float* z)
{
    if (viewport[2] <= 0 || viewport[3] <= 0)
        return false;
    const float in[4] = {2.0f * (winX - static_cast<float>(viewport[0])) / static_cast<float>(viewport[2]) - 1.0f,
                         2.0f * (winY - static_cast<float>(viewport[1])) / static_cast<float>(viewport[3]) - 1.0f,
                         2.0f * winZ - 1.0f, 1.0f};
    float result[4];
    multiplyMatrixVectorT(inverse, in, result);
    if (result[3] == 0.0f)
        return false;
    *x = result[0] / result[3];
    *y = result[1] / result[3];
    *z = result[2] / result[3];
    return true;
}

void vcross(const float a[3], const float b[3], float out[3])
{
    const float product[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    std::memcpy(out, product, sizeof(product));
}

float vdot(const float a[3], const float b[3])
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void normalizedCrossProduct(const float a[3], const float b[3], float out[3])
{
    vcross(a, b, out);
    normalizeVector(out);
}

void multiplyMatrixVector3(const float* m, const float* v, float* out)
{
    float result[3];
    for (int i = 0; i < 3; ++i)
        result[i] = m[4 * i] * v[0] + m[4 * i + 1] * v[1] + m[4 * i + 2] * v[2] + m[4 * i + 3];
    out[0] = result[0];
    out[1] = result[1];
    out[2] = result[2];
}

void normalizeVector(float v[3])
{
    const float length = std::sqrt(vdot(v, v));
    if (length == 0.0f)
        return;
    v[0] /= length;
    v[1] /= length;
    v[2] /= length;
}

void subtractVectors(const float a[3], const float b[3], float out[3])
{
    out[0] = a[0] - b[0];
    out[1] = a[1] - b[1];
    out[2] = a[2] - b[2];
}

float rayPointDistance(const float o[3], const float d[3], const float p[3])
{
    float toPoint[3];
    subtractVectors(p, o, toPoint);
    const float t = vdot(toPoint, d);
    const float closest[3] = {o[0] + t * d[0], o[1] + t * d[1], o[2] + t * d[2]};
    float offset[3];
    subtractVectors(p, closest, offset);
    return std::sqrt(vdot(offset, offset));
}

float rayTriangleDistance(const float o[3], const float d[3], const float p0[3], const float p1[3], const float p2[3])
{
    float e1[3], e2[3], h[3];
    subtractVectors(p1, p0, e1);
    subtractVectors(p2, p0, e2);
    vcross(d, e2, h);
    const float det = vdot(e1, h);
    const double detD = det;
    if (detD > -0.000001 && detD < 0.000001)
        return kRayNoHit;

    const float inv = 1.0f / det;
    float s[3];
    subtractVectors(o, p0, s);
    const float u = vdot(s, h) * inv;
    if (u < 0.0f || u > 1.0f)
        return kRayNoHit;

    float q[3];
    vcross(s, e1, q);
    const float v = vdot(d, q) * inv;
    if (v < 0.0f || u + v > 1.0f)
        return kRayNoHit;
    return vdot(e2, q) * inv;
}

float rayQuadDistance(const float o[3], const float d[3], const float q0[3], const float q1[3], const float q2[3],
                      const float q3[3])
{
    const float first = rayTriangleDistance(o, d, q0, q1, q2);
    const float second = rayTriangleDistance(o, d, q0, q2, q3);
    return first < second ? first : second;
}
