#pragma once

#include "expression/Range.h"
#include "gl/MouseListener.h"

class BrainSceneRenderer;
class Colormap;

// A window over a colour bar in the scene's overlay, dragged by its two handles. For now it draws
// nothing and takes no press; it keeps what it is given.
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

    void SetSymmetric(bool symmetric) { m_symmetric = symmetric; }
    bool IsSymmetric() const { return m_symmetric; }
    const Colormap* GetColormap() const { return m_colormap; }
    Range GetXRange() const { return m_xRange; }

protected:
    BrainSceneRenderer* m_renderer;

private:
    const Colormap* m_colormap;
    Range m_xRange;
    int m_offsetX = 0;
    int m_offsetY = 0;
    bool m_symmetric = false;
};
