#pragma once

#include "gl/MouseListener.h"

class AtlasSpace;
class BrainSceneRenderer;

// Drags a slice or a cutting plane along its axis. For now it takes no press.
class MovePlaneMouseTool : public MouseListener
{
public:
    MovePlaneMouseTool() = default;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;

    virtual void SetMPRPlane(AtlasSpace* space, int plane);
    virtual void SetCuttingPlane(AtlasSpace* space, int plane, bool bound);
    virtual void SetParent(BrainSceneRenderer* parent) { m_parent = parent; }
    virtual float GetMPRSliceLocation();
    BrainSceneRenderer* GetParent() const { return m_parent; }

private:
    BrainSceneRenderer* m_parent = nullptr;
    AtlasSpace* m_space = nullptr;
    int m_plane = 0;
    bool m_bound = false;
    bool m_sliceMode = true;
};
