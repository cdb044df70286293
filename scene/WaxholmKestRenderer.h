#pragma once

#include "scene/KestRenderer.h"

class AtlasSpace;

// The correlation layer of the rat atlas, resampled into its space.
class WaxholmKestRenderer : public KestRenderer
{
public:
    WaxholmKestRenderer(BrainSceneView* view, AtlasSpace* space);

private:
    AtlasSpace* m_space;
};
