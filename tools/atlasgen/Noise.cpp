#include "Noise.h"

#include <cmath>

namespace atlasgen
{

namespace
{

std::uint32_t Mix(std::uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

double Smooth(double t)
{
    return t * t * (3.0 - 2.0 * t);
}

} // namespace

std::uint32_t Noise::Hash(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    std::uint32_t h = Mix(a + 0x9e3779b9U);
    h = Mix(h ^ (b + 0x85ebca6bU));
    h = Mix(h ^ (c + 0xc2b2ae35U));
    return Mix(h ^ (d + 0x27d4eb2fU));
}

double Noise::Unit(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return (Hash(a, b, c, d) >> 8) * (1.0 / 16777216.0);
}

double Noise::Value(double x, double y, double z, double cell, std::uint32_t seed)
{
    const double fx = x / cell, fy = y / cell, fz = z / cell;
    const double x0 = std::floor(fx), y0 = std::floor(fy), z0 = std::floor(fz);
    const double tx = Smooth(fx - x0), ty = Smooth(fy - y0), tz = Smooth(fz - z0);
    const auto ix = static_cast<std::uint32_t>(static_cast<std::int64_t>(x0));
    const auto iy = static_cast<std::uint32_t>(static_cast<std::int64_t>(y0));
    const auto iz = static_cast<std::uint32_t>(static_cast<std::int64_t>(z0));
    double sum = 0.0;
    for (int corner = 0; corner < 8; ++corner)
    {
        const int dx = corner & 1, dy = (corner >> 1) & 1, dz = (corner >> 2) & 1;
        const double w = (dx ? tx : 1.0 - tx) * (dy ? ty : 1.0 - ty) * (dz ? tz : 1.0 - tz);
        sum += w * Unit(ix + dx, iy + dy, iz + dz, seed);
    }
    return sum;
}

double Noise::Fractal(double x, double y, double z, double cell, std::uint32_t seed)
{
    return 0.5 * Value(x, y, z, cell, seed) + 0.3 * Value(x, y, z, cell / 2.0, seed + 1) +
           0.2 * Value(x, y, z, cell / 4.0, seed + 2);
}

double Noise::Wave(double t)
{
    const double f = t - std::floor(t);                       // 0..1
    const double u = f < 0.5 ? 4.0 * f - 1.0 : 3.0 - 4.0 * f; // triangle, -1..1
    return u * (1.5 - 0.5 * u * u);                           // rounded at the turns
}

} // namespace atlasgen
