#pragma once

#include "gl/GLIcosahedron.h"
#include "gl/MouseListener.h"

#include <vector>

class BrainSceneView;

// The probe marker of a scene view (a sphere, drawn only where the probe can be dragged, and three ruled
// axis lines through it) with its hit test and its drag. The probe lives in the model as three
// fractions of the view grid; the marker works in view voxels.
//
// The view owns the tool and outlives it. A drag runs from an accepted press to the release; the
// renderer has set up the view's viewport and transforms before it forwards the press. Drawing needs
// the scene's context current; main thread only.
class ProbeMouseTool : public MouseListener
{
public:
    explicit ProbeMouseTool(BrainSceneView* view);
    ~ProbeMouseTool() override;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;

    virtual void Display(bool pick, unsigned int name);
    // The distance along the unit ray, the largest float for a miss (also for a marker outside the
    // cutting box).
    virtual float HitTest(const float* origin, const float* direction);
    virtual void SetCanDrag(bool canDrag) { m_canDrag = canDrag; }
    // Moves the probe by the pointer's motion since the last point, each coordinate pinned to 0..1.
    virtual void MoveMouse(int x, int y, int flags, unsigned int time, bool notify);

    bool CanDrag() const { return m_canDrag; }
    bool IsDragging() const { return m_dragging; }

    // The tick coordinates along an axis of d voxels, aligned to the bregma coordinate: spacing in
    // resolution units over the axis's resolution voxels apart, but at least one voxel.
    static std::vector<int> TickPositions(float spacing, float resolution, float bregma, float d);

private:
    // The marker position in view voxels and its radius.
    void Marker(float position[3], float& radius) const;
    bool Unproject(int x, int y, float point[3]) const;
    void DrawAxes(float radius, const float* position) const;

    BrainSceneView* m_view;
    int m_viewport[4] = {0, 0, 0, 0};
    float m_inverse[16];
    bool m_dragging = false;
    bool m_canDrag = false;
    float m_lastPoint[3] = {0.0f, 0.0f, 0.0f};
    GLIcosahedron m_marker;
};
