#include "scene/WaxholmKestRenderer.h"

WaxholmKestRenderer::WaxholmKestRenderer(BrainSceneView* view, AtlasSpace* space)
    : KestRenderer(view)
    , m_space(space)
{
}
