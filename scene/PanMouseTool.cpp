#include "scene/PanMouseTool.h"

#include "scene/BrainSceneRenderer.h"

bool PanMouseTool::OnButtonDown(int, int x, int y, int, unsigned int)
{
    m_lastX = x;
    m_lastY = y;
    return true;
}

bool PanMouseTool::OnMouseMove(int x, int y, int, unsigned int)
{
    // Rows grow downwards while the origin's y grows upwards.
    if (m_parent)
        m_parent->TranslateOrigin(x - m_lastX, m_lastY - y);
    m_lastX = x;
    m_lastY = y;
    return true;
}
