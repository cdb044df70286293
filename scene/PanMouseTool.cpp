#include "scene/PanMouseTool.h"

bool PanMouseTool::OnButtonDown(int, int, int, int, unsigned int)
{
    return false;
}

bool PanMouseTool::OnMouseMove(int, int, int, unsigned int)
{
    return false;
}
