#include "gl/MouseListener.h"

bool MouseListener::OnButtonUp(int, int, int, int, unsigned int)
{
    return false;
}

bool MouseListener::OnDoubleClick(int, int, int, int, unsigned int)
{
    return false;
}

bool MouseListener::OnMouseLeave(unsigned int)
{
    return false;
}

bool MouseListener::OnMouseWheel(int, int, int, int, unsigned int)
{
    return false;
}

void MouseListener::AbortMouseCapture() {}
