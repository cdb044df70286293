#include "scene/ProbeMouseTool.h"

#include "core/GeometryUtils.h"

ProbeMouseTool::ProbeMouseTool(BrainSceneView* view)
    : m_view(view)
{
}

ProbeMouseTool::~ProbeMouseTool() = default;

bool ProbeMouseTool::OnButtonDown(int, int, int, int, unsigned int)
{
    return false;
}

bool ProbeMouseTool::OnButtonUp(int, int, int, int, unsigned int)
{
    return false;
}

bool ProbeMouseTool::OnMouseMove(int, int, int, unsigned int)
{
    return false;
}

void ProbeMouseTool::Display(bool, unsigned int) {}

float ProbeMouseTool::HitTest(const float*, const float*)
{
    return kRayNoHit;
}

void ProbeMouseTool::MoveMouse(int, int, int, unsigned int, bool) {}
