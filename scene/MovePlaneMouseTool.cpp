#include "scene/MovePlaneMouseTool.h"

bool MovePlaneMouseTool::OnButtonDown(int, int, int, int, unsigned int)
{
    return false;
}

bool MovePlaneMouseTool::OnButtonUp(int, int, int, int, unsigned int)
{
    return false;
}

bool MovePlaneMouseTool::OnMouseMove(int, int, int, unsigned int)
{
    return false;
}

void MovePlaneMouseTool::SetMPRPlane(AtlasSpace* space, int plane)
{
    m_sliceMode = true;
    m_space = space;
    m_plane = plane;
}

void MovePlaneMouseTool::SetCuttingPlane(AtlasSpace* space, int plane, bool bound)
{
    m_sliceMode = false;
    m_space = space;
    m_plane = plane;
    m_bound = bound;
}

float MovePlaneMouseTool::GetMPRSliceLocation()
{
    return 0.0f;
}
