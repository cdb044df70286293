#pragma once

#include "gl/MouseListener.h"

class BrainSceneView;

// The probe marker of a scene view and its drag. For now it draws nothing, is never hit and takes no
// press.
class ProbeMouseTool : public MouseListener
{
public:
    explicit ProbeMouseTool(BrainSceneView* view);
    ~ProbeMouseTool() override;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;

    virtual void SetCanDrag(bool canDrag) { m_canDrag = canDrag; }
    bool CanDrag() const { return m_canDrag; }
    virtual void Display(bool pick, unsigned int name);
    // The distance along the unit ray, the largest float for a miss.
    virtual float HitTest(const float* origin, const float* direction);
    virtual void MoveMouse(int x, int y, int flags, unsigned int time, bool notify);

private:
    BrainSceneView* m_view;
    bool m_canDrag = false;
};
