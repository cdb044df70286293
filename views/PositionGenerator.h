#pragma once

#include <cstdint>
#include <random>

namespace GeneRelation
{

// Where a new graph node starts before the layout moves it: uniform on [-0.5, 0.5) on each axis. The
// sequence is fixed by the seed, so a layout can be repeated exactly.
class PositionGenerator
{
public:
    explicit PositionGenerator(std::uint32_t seed = 1);

    void Seed(std::uint32_t seed);
    // The next coordinate, in [-0.5, 0.5).
    float Next();

private:
    std::mt19937 m_engine;
};

} // namespace GeneRelation
