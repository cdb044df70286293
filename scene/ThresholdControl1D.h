#pragma once

#include "expression/Range.h"
#include "gl/Cursors.h"
#include "gl/GLTexture.h"
#include "gl/MouseListener.h"
#include "scene/OverlayRect.h"

#include <memory>

class BrainSceneRenderer;
class Colormap;
class GLTextBox;

// A window over a colour bar of 255 by 15 pixels in the bottom right of the scene's overlay, dragged by
// its two handles or as a whole. Values below the window show the bar's first colour, values above it
// the last. Subclasses say which model window it edits. Positions are overlay pixels from the bottom
// left; mouse rows arrive from the top and are turned first. Needs the scene's context current for
// Display and destruction.
class ThresholdControl1D : public MouseListener
{
public:
    ThresholdControl1D(BrainSceneRenderer* renderer, const Range& range, const Colormap* colormap);
    ~ThresholdControl1D() override;
    ThresholdControl1D(const ThresholdControl1D&) = delete;
    ThresholdControl1D& operator=(const ThresholdControl1D&) = delete;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;

    virtual void Display();
    virtual int GetWidth();
    virtual int GetHeight();
    virtual void ResetCursorRects();
    virtual void SetOriginOffset(int x, int y);
    virtual void SetXRange(float minimum, float maximum);
    virtual void SetColormap(const Colormap* colormap);
    virtual void UpdateModel(float low, float high, bool notify) = 0;
    virtual Range GetModelWindow() = 0;

    // Symmetric windows stay centred on the middle of the x range; setting it centres the model's window.
    void SetSymmetric(bool symmetric);
    bool IsSymmetric() const { return m_symmetric; }
    const Colormap* GetColormap() const { return m_colormap; }
    Range GetXRange() const { return m_xRange; }
    bool IsDragging() const { return m_dragging; }
    int GetAnchor() const { return m_anchor; }
    const GLTexture& GetBarTexture() const { return m_barTexture; }

    enum Anchor
    {
        kNoAnchor = 0,
        kHighHandle = 1,
        kLowHandle = 2,
        kWholeWindow = 3
    };

    // The bar's rectangle and the handles' columns for the model's window now.
    struct Geometry
    {
        int left, right, bottom, top;
        int xLow, xHigh;
    };
    Geometry GetGeometry();
    // What the control draws over, its labels and handles included, wherever the handles stand: the scene
    // keeps the texts beside it clear of that.
    OverlayRect GetOverlayRect();

protected:
    BrainSceneRenderer* m_renderer;

private:
    // The anchor under a point (row from the bottom); grab receives the offset from the low handle.
    int FindAnchor(const Geometry& g, int x, int y, int& grab) const;
    bool InBounds(const Geometry& g, int x, int y) const;
    void AdjustBounds(int x);
    void FillBarTexture();
    void DrawBar(const Geometry& g);
    void DrawHandles(const Geometry& g);
    void UpdateLabels(float low, float high);
    int ToOverlayRow(int y);
    static Cursors::Cursor CursorOf(int anchor);

    const Colormap* m_colormap;
    GLTexture m_barTexture;
    std::unique_ptr<GLTextBox> m_lowLabel;
    std::unique_ptr<GLTextBox> m_highLabel;
    int m_width = 255;
    int m_barHeight = 15;
    int m_offsetX = 0;
    int m_offsetY = 0;
    Range m_xRange;
    int m_anchor = kNoAnchor;
    int m_grabOffset = 0;
    bool m_dragging = false;
    bool m_colormapDirty = true;
    bool m_symmetric = false;
};
