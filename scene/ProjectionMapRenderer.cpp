#include "scene/ProjectionMapRenderer.h"

#include "core/GeometryUtils.h"

ProjectionMapRenderer::ProjectionMapRenderer(BrainSceneView* view)
    : KestRenderer(view)
{
}

float ProjectionMapRenderer::HitTest(const float*, const float*, const InjectionStreamLine*& line)
{
    line = nullptr;
    return kRayNoHit;
}

void ProjectionMapRenderer::SetAfferentSeedExperiment(unsigned int) {}
