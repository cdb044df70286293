#pragma once

#include "gl/MouseListener.h"

class AtlasSpace;
class BrainSceneRenderer;

// Drags an annotation slice or a cutting plane along its axis, and turns a short click on a slice into
// the selection of the structure under the pointer. The pick chooses what it drags (SetMPRPlane or
// SetCuttingPlane) before the renderer forwards the press, in the view's space, to it.
//
// While a cutting plane is dragged the model is in live update; the release leaves it and has the scene
// regenerate its displays once. Slice moves during the drag are not announced; the release moves the
// probe to the slices when all three are shown. The renderer owns the tool and is its parent; main
// thread only, with the scene's context current.
class MovePlaneMouseTool : public MouseListener
{
public:
    // The longest press, in milliseconds, that still counts as a click on a slice.
    static constexpr unsigned int CLICK_TIME = 500;

    MovePlaneMouseTool();

    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;

    virtual void SetMPRPlane(AtlasSpace* space, int plane);
    virtual void SetCuttingPlane(AtlasSpace* space, int plane, bool bound);
    virtual void SetParent(BrainSceneRenderer* parent) { m_parent = parent; }
    // The slice location of the tool's plane in view voxels; 0 for a plane outside 0..2.
    virtual float GetMPRSliceLocation();

    BrainSceneRenderer* GetParent() const { return m_parent; }
    bool InSliceMode() const { return m_sliceMode; }
    int GetPlane() const { return m_plane; }
    bool GetBound() const { return m_bound; }

    // The depth (0..1) of one device pixel of the framebuffer being drawn to, read through a
    // single-sampled copy when that framebuffer is multisampled. 1 when it cannot be read.
    static float ReadDepth(int x, int y);

private:
    // The GL row of a mouse row.
    float Row(int y) const;
    bool Unproject(float x, float y, float depth, float point[3]) const;
    void PickStructure(int x, int y);

    BrainSceneRenderer* m_parent = nullptr;
    AtlasSpace* m_space = nullptr;
    float m_lastPoint[3] = {0.0f, 0.0f, 0.0f};
    int m_plane = 0;
    bool m_bound = false;
    bool m_sliceMode = true;
    int m_viewport[4] = {0, 0, 0, 0};
    float m_inverse[16];
    float m_pressLocation = 0.0f;
    unsigned int m_pressTime = 0;
};
