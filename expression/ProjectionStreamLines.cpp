#include "expression/ProjectionStreamLines.h"

#include <stdexcept>

ProjectionStreamLines::~ProjectionStreamLines() = default;
void ProjectionStreamLines::Load(const char*) {}
void ProjectionStreamLines::Load(IOStream&) {}
void ProjectionStreamLines::Draw(bool, const float*) {}
void ProjectionStreamLines::Transform(const float*, const float*) {}
void ProjectionStreamLines::ComputeNormals(Line&) {}
void ProjectionStreamLines::DrawLine(const Line&, const float*, bool, float) {}
std::vector<unsigned int> ProjectionStreamLines::DrawnLineIndices(std::size_t)
{
    return {};
}
void ProjectionStreamLines::SegmentNormal(const float*, float*) {}
void ProjectionStreamLines::BaseColour(const float*, float*) {}
void ProjectionStreamLines::DrawInternal(const float*) {}
