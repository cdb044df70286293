#include "scene/ProjectionMapRenderer.h"

ProjectionMapRenderer::ProjectionMapRenderer(BrainSceneView* view)
    : KestRenderer(view)
{
}
