#pragma once

class GLDisplay;

// Renderers lay out, hit-test and hear the pointer in logical pixels (Qt's device-independent pixels, the
// points of a desktop at any scale); the GL's own window rectangles (viewport, scissor, pixels read back)
// and the frame are in device pixels, logical x the display's ratio. These are the only places where a
// renderer applies the ratio. Edges are rounded as the window system rounds the frame's size, each edge
// of a rectangle on its own, so that rectangles that touch in logical pixels touch in device pixels too.
// The GL calls need a current context.
class DevicePixels
{
public:
    explicit DevicePixels(double ratio);
    // The display's ratio; 1 without a display.
    explicit DevicePixels(GLDisplay* display);

    double GetRatio() const { return m_ratio; }
    // The device edge of a logical edge.
    int ToDevice(int logical) const;
    // The logical edge nearest to a device edge.
    int ToLogical(int device) const;
    // The device pixel that holds the centre of a logical pixel (for read-backs under the pointer).
    int CentreOf(int logical) const;

    // glViewport and glScissor of a logical rectangle (lower-left corner, rows from the bottom).
    void Viewport(int x, int y, int width, int height) const;
    void Scissor(int x, int y, int width, int height) const;
    // The current GL viewport as a logical rectangle.
    void GetViewport(int viewport[4]) const;
    // glLineWidth and glPointSize of widths in logical pixels.
    void LineWidth(float width) const;
    void PointSize(float size) const;

private:
    double m_ratio;
};
