#pragma once

#include <cstdint>

namespace atlasgen
{

// Deterministic noise from integer hashes: the same arguments give the same values on every run and
// every machine, which keeps generated atlases byte-identical.
class Noise
{
public:
    static std::uint32_t Hash(std::uint32_t a, std::uint32_t b = 0, std::uint32_t c = 0, std::uint32_t d = 0);
    // Uniform in [0, 1).
    static double Unit(std::uint32_t a, std::uint32_t b = 0, std::uint32_t c = 0, std::uint32_t d = 0);
    // Smooth value noise in [0, 1) with a lattice of the given cell size.
    static double Value(double x, double y, double z, double cell, std::uint32_t seed);
    // Sum of three octaves of value noise, in [0, 1).
    static double Fractal(double x, double y, double z, double cell, std::uint32_t seed);
    // A smooth periodic wave in [-1, 1] of period 1, built from arithmetic alone: the library's sine
    // may round differently on another machine, and the output must not.
    static double Wave(double t);
};

} // namespace atlasgen
