#pragma once

#include "gl/MouseListener.h"

class BrainSceneServices;

// Quaternions are (x, y, z, w), w the scalar part; (0, 0, 0, 1) is no rotation.

// The rotation that rolls the virtual ball (radius 0.4) from (p1x, p1y) to (p2x, p2y).
void trackball(float q[4], float p1x, float p1y, float p2x, float p2y);
// Normalises axis in place; q = (axis sin(phi / 2), cos(phi / 2)).
void axis_to_quat(float axis[3], float phi, float q[4]);
// dest = q1 composed after q2. Every 98th composition in the process (a counter shared by every caller)
// also renormalises dest, so that rounding cannot drift the length for good.
void add_quats(const float q1[4], const float q2[4], float dest[4]);
// Divides by the squared length, which equals the length's correction to first order near 1.
void normalize_quat(float q[4]);
// Rows in the order glMultMatrixf takes them.
void build_rotmatrix(float m[4][4], const float q[4]);

// Rolls the scene with the mouse; a release within 25 ms of the last move leaves it spinning (the parent
// runs the spin timer and calls Animate). Owned by the scene renderer; main thread only.
class Trackball : public MouseListener
{
public:
    explicit Trackball(BrainSceneServices* parent);

    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;

    virtual void SetParent(BrainSceneServices* parent);
    // The area (logical pixels, y upwards) that maps onto the ball; an empty side means the parent's size.
    virtual void SetSize(int x, int y, int width, int height, float scale);

    // Multiplies the current GL matrix by the rotation; needs a current context.
    void MultiplyMatrix() const;
    const float* GetMatrix() const { return &m_matrix[0][0]; }
    const float* GetQuaternion() const { return m_current; }
    const float* GetSpin() const { return m_spin; }
    void SetQuaternion(const float q[4]);
    // Turns by angle (radians) about axis (any length). With animate the scene spins at twice that angle
    // per step; without, the turn is applied once. Either way the model hears the new rotation.
    void AddRotation(const float* axis, float angle, bool animate);
    // One spin step, written to the model.
    void Animate();

private:
    void SetCurrent(const float q[4]);
    void WriteToModel();
    // Ball coordinates of an event position in the area (x, y, width, height) that maps onto the ball.
    void ToBall(int x, int y, const int area[4], int height, float& px, float& py) const;

    BrainSceneServices* m_parent;
    int m_x = 0;
    int m_y = 0;
    int m_width = 0;
    int m_height = 0;
    float m_scale = 2.0f;
    float m_current[4] = {0, 0, 0, 1};
    float m_spin[4] = {0, 0, 0, 1};
    float m_matrix[4][4];
    int m_lastX = 0;
    int m_lastY = 0;
    bool m_dragging = false;
    unsigned int m_lastTime = 0;
};
