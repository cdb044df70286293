#include "gl/KeyListener.h"

bool KeyListener::OnSpecialKeyDown(int, int, unsigned int)
{
    return false;
}
