#include "views/PositionGenerator.h"

namespace GeneRelation
{

PositionGenerator::PositionGenerator(std::uint32_t seed)
    : m_engine(seed)
{
}

void PositionGenerator::Seed(std::uint32_t seed)
{
    m_engine.seed(seed);
}

float PositionGenerator::Next()
{
    // 24 random bits are exact in a float, so the result never rounds up to 0.5.
    const std::uint32_t bits = static_cast<std::uint32_t>(m_engine()) >> 8;
    return static_cast<float>(bits) * (1.0f / 16777216.0f) - 0.5f;
}

} // namespace GeneRelation
