#pragma once

#include "gl/GLRenderer.h"
#include "gl/KeyListener.h"
#include "gl/MouseListener.h"

// A renderer that also takes input: the display receives it once in each of the three roles.
class GLInteractiveRenderer : public GLRenderer, public MouseListener, public KeyListener
{
public:
    ~GLInteractiveRenderer() override {}
};
