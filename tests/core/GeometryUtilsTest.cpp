#include "core/GeometryUtils.h"

#include <gtest/gtest.h>

#include <GL/glu.h>

#include <cmath>
#include <random>

namespace
{
// Column-major product c = a x b, in double, as an independent reference.
void ColumnMajorProduct(const double a[16], const double b[16], double c[16])
{
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
        {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += a[4 * k + row] * b[4 * col + k];
            c[4 * col + row] = sum;
        }
}

// A random rotation about a random axis with translation: a typical model-view.
void RandomModelView(std::mt19937& random, double m[16])
{
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    double axis[3] = {unit(random), unit(random), unit(random) + 2.0};
    const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    for (double& a : axis)
        a /= length;
    const double angle = unit(random) * 3.0, c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    const double x = axis[0], y = axis[1], z = axis[2];
    const double rotation[16] = {t * x * x + c,     t * x * y + s * z, t * x * z - s * y,      0,
                                 t * x * y - s * z, t * y * y + c,     t * y * z + s * x,      0,
                                 t * x * z + s * y, t * y * z - s * x, t * z * z + c,          0,
                                 unit(random) * 5,  unit(random) * 5,  -20 + unit(random) * 5, 1};
    std::copy(rotation, rotation + 16, m);
}

void Perspective(double fovY, double aspect, double zNear, double zFar, double p[16])
{
    const double f = 1.0 / std::tan(fovY / 2.0);
    const double projection[16] = {f / aspect,
                                   0,
                                   0,
                                   0,
                                   0,
                                   f,
                                   0,
                                   0,
                                   0,
                                   0,
                                   (zFar + zNear) / (zNear - zFar),
                                   -1,
                                   0,
                                   0,
                                   2 * zFar * zNear / (zNear - zFar),
                                   0};
    std::copy(projection, projection + 16, p);
}

void ToFloat(const double in[16], float out[16])
{
    for (int i = 0; i < 16; ++i)
        out[i] = static_cast<float>(in[i]);
}
}

TEST(GeometryUtils, InvertMatrixRoundTripsRandomMatrices)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (int trial = 0; trial < 200; ++trial)
    {
        // Diagonally dominant, so well conditioned, with the large values placed
        // off the diagonal by a row shuffle so that pivoting is exercised.
        float m[16];
        for (float& v : m)
            v = value(random);
        const int shift = trial % 4;
        for (int i = 0; i < 4; ++i)
            m[4 * i + (i + shift) % 4] += 4.0f;

        float inverse[16];
        ASSERT_TRUE(invertMatrix(m, inverse));
        float product[16];
        multiplyMatrices(m, inverse, product);
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(i % 5 == 0 ? 1.0f : 0.0f, product[i], 1e-5f) << "trial " << trial << " element " << i;

        float inPlace[16];
        std::copy(m, m + 16, inPlace);
        ASSERT_TRUE(invertMatrix(inPlace, inPlace));
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(inverse[i], inPlace[i]);
    }
}

TEST(GeometryUtils, InvertMatrixOfIdentityAndSingularMatrices)
{
    float identity[16];
    makeIdentity(identity);
    float inverse[16];
    ASSERT_TRUE(invertMatrix(identity, inverse));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(identity[i], inverse[i]);

    float singular[16];
    makeIdentity(singular);
    singular[2 * 4 + 2] = 0.0f; // zero column 2
    float out[16] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_FALSE(invertMatrix(singular, out));
    EXPECT_EQ(9.0f, out[0]);
    float repeatedRows[16] = {1, 2, 4, 8, 2, 4, 8, 16, 0, 1, 0, 0, 0, 0, 0, 1}; // exact in float
    EXPECT_FALSE(invertMatrix(repeatedRows, repeatedRows));
    EXPECT_EQ(2.0f, repeatedRows[1]);
}

TEST(GeometryUtils, MatrixProductsFollowTheirIndexRules)
{
    std::mt19937 random(3);
    std::uniform_real_distribution<double> value(-2.0, 2.0);
    double m[16], p[16], pm[16];
    for (int i = 0; i < 16; ++i)
    {
        m[i] = value(random);
        p[i] = value(random);
    }
    ColumnMajorProduct(p, m, pm);
    float mf[16], pf[16], product[16];
    ToFloat(m, mf);
    ToFloat(p, pf);
    multiplyMatrices(mf, pf, product);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(pm[i], product[i], 1e-5);
    // The product may land on one of its inputs.
    multiplyMatrices(mf, pf, mf);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(product[i], mf[i]);

    const float v[4] = {1, -2, 3, 0.5f};
    float transposed[4], applied[4];
    multiplyMatrixVector(pf, v, transposed);
    multiplyMatrixVectorT(pf, v, applied);
    for (int i = 0; i < 4; ++i)
    {
        double byRows = 0, byColumns = 0;
        for (int j = 0; j < 4; ++j)
        {
            byRows += p[4 * i + j] * v[j];
            byColumns += p[i + 4 * j] * v[j];
        }
        EXPECT_NEAR(byRows, transposed[i], 1e-5);
        EXPECT_NEAR(byColumns, applied[i], 1e-5);
    }
}

TEST(GeometryUtils, UnprojectPointAgreesWithGlu)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int viewport[4] = {10, 20, 640, 480};
    for (int trial = 0; trial < 100; ++trial)
    {
        double modelView[16], projection[16];
        RandomModelView(random, modelView);
        Perspective(0.4 + unit(random), 640.0 / 480.0, 1.0, 100.0, projection);

        float mf[16], pf[16], combined[16], inverse[16];
        ToFloat(modelView, mf);
        ToFloat(projection, pf);
        multiplyMatrices(mf, pf, combined);
        ASSERT_TRUE(invertMatrix(combined, inverse));

        const double winX = 10 + 640 * unit(random), winY = 20 + 480 * unit(random), winZ = 0.05 + 0.9 * unit(random);
        GLdouble expected[3];
        const GLint glViewport[4] = {viewport[0], viewport[1], viewport[2], viewport[3]};
        ASSERT_EQ(GL_TRUE, gluUnProject(winX, winY, winZ, modelView, projection, glViewport, &expected[0], &expected[1],
                                        &expected[2]));
        float x, y, z;
        ASSERT_TRUE(unprojectPoint(static_cast<float>(winX), static_cast<float>(winY), static_cast<float>(winZ),
                                   inverse, viewport, &x, &y, &z));
        // Float precision degrades with depth under perspective; compare relative to the distance.
        const double scale = 1.0 + std::fabs(expected[0]) + std::fabs(expected[1]) + std::fabs(expected[2]);
        EXPECT_NEAR(expected[0], x, 2e-3 * scale) << "trial " << trial;
        EXPECT_NEAR(expected[1], y, 2e-3 * scale) << "trial " << trial;
        EXPECT_NEAR(expected[2], z, 2e-3 * scale) << "trial " << trial;
    }
}

TEST(GeometryUtils, UnprojectPointWithoutAnImageAnswersFalse)
{
    float zero[16] = {};
    const int viewport[4] = {0, 0, 100, 100};
    float x = 5, y = 6, z = 7;
    EXPECT_FALSE(unprojectPoint(50, 50, 0.5f, zero, viewport, &x, &y, &z));
    EXPECT_EQ(5.0f, x);
    float identity[16];
    makeIdentity(identity);
    const int empty[4] = {0, 0, 0, 100};
    EXPECT_FALSE(unprojectPoint(50, 50, 0.5f, identity, empty, &x, &y, &z));
    EXPECT_TRUE(unprojectPoint(100, 0, 1, identity, viewport, &x, &y, &z));
    EXPECT_EQ(1.0f, x);
    EXPECT_EQ(-1.0f, y);
    EXPECT_EQ(1.0f, z);
}

TEST(GeometryUtils, VectorHelpers)
{
    const float a[3] = {1, 0, 0}, b[3] = {0, 2, 0};
    float c[3];
    vcross(a, b, c);
    EXPECT_EQ(2.0f, c[2]);
    normalizedCrossProduct(a, b, c);
    EXPECT_EQ(1.0f, c[2]);
    EXPECT_EQ(0.0f, vdot(a, b));
    normalizedCrossProduct(a, a, c);
    EXPECT_EQ(0.0f, c[0] + c[1] + c[2]);
    EXPECT_FALSE(std::isnan(c[0]));
    float zero[3] = {0, 0, 0};
    normalizeVector(zero);
    EXPECT_EQ(0.0f, zero[0]);
    float v[3] = {3, 0, 4};
    normalizeVector(v);
    EXPECT_FLOAT_EQ(0.6f, v[0]);
    EXPECT_FLOAT_EQ(0.8f, v[2]);
    float d[3];
    subtractVectors(v, a, d);
    EXPECT_FLOAT_EQ(-0.4f, d[0]);
}

TEST(GeometryUtils, RayPointDistanceMeasuresToTheWholeLine)
{
    const float o[3] = {0, 0, 0}, d[3] = {0, 0, 1};
    const float ahead[3] = {3, 4, 10}, behind[3] = {0, 2, -5};
    EXPECT_FLOAT_EQ(5.0f, rayPointDistance(o, d, ahead));
    EXPECT_FLOAT_EQ(2.0f, rayPointDistance(o, d, behind));
}

TEST(GeometryUtils, RayTriangleDistance)
{
    const float p0[3] = {0, 0, 0}, p1[3] = {1, 0, 0}, p2[3] = {0, 1, 0};
    const float down[3] = {0, 0, -1};
    const float above[3] = {0.25f, 0.25f, 2};
    EXPECT_FLOAT_EQ(2.0f, rayTriangleDistance(above, down, p0, p1, p2));
    // Behind the origin the parameter is negative, not a miss.
    const float below[3] = {0.25f, 0.25f, -3};
    EXPECT_FLOAT_EQ(-3.0f, rayTriangleDistance(below, down, p0, p1, p2));
    // Through a vertex (u = v = 0) hits.
    const float overVertex[3] = {0, 0, 1};
    EXPECT_FLOAT_EQ(1.0f, rayTriangleDistance(overVertex, down, p0, p1, p2));
    const float outside[3] = {0.75f, 0.75f, 1};
    EXPECT_EQ(kRayNoHit, rayTriangleDistance(outside, down, p0, p1, p2));
    // A ray in the triangle's plane never hits.
    const float inPlane[3] = {-1, 0.25f, 0}, along[3] = {1, 0, 0};
    EXPECT_EQ(kRayNoHit, rayTriangleDistance(inPlane, along, p0, p1, p2));
    EXPECT_EQ(3.4028235e38f, kRayNoHit);
}

TEST(GeometryUtils, RayQuadDistanceTakesTheNearerTriangle)
{
    // A quad folded along its diagonal q0-q2: the first triangle lies flat, the
    // second rises towards q3. The ray crosses the second triangle before the first.
    const float q0[3] = {0, 0, 0}, q1[3] = {2, 0, 0}, q2[3] = {2, 2, 0}, q3[3] = {0, 2, 2};
    const float o[3] = {-0.2f, 2.2f, 2.0f};
    float d[3] = {1, -1, -1.5f};
    normalizeVector(d);
    const float first = rayTriangleDistance(o, d, q0, q1, q2);
    const float second = rayTriangleDistance(o, d, q0, q2, q3);
    ASSERT_NE(kRayNoHit, first);
    ASSERT_NE(kRayNoHit, second);
    ASSERT_LT(second, first);
    EXPECT_EQ(second, rayQuadDistance(o, d, q0, q1, q2, q3));

    const float away[3] = {-1, 0, 0};
    EXPECT_EQ(kRayNoHit, rayQuadDistance(o, away, q0, q1, q2, q3));
}
