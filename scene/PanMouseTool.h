#pragma once

#include "gl/MouseListener.h"

class BrainSceneRenderer;

// Moves the scene's origin with the pointer, pixel for pixel; the release is not taken. The renderer
// owns the tool and is its parent.
class PanMouseTool : public MouseListener
{
public:
    PanMouseTool() = default;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;
    virtual void SetParent(BrainSceneRenderer* parent) { m_parent = parent; }
    BrainSceneRenderer* GetParent() const { return m_parent; }

private:
    BrainSceneRenderer* m_parent = nullptr;
    int m_lastX = 0;
    int m_lastY = 0;
};
