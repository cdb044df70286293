#include "scene/ProbTrackRenderer.h"

ProbTrackRenderer::ProbTrackRenderer(BrainSceneView* view)
    : KestRenderer(view)
{
}
