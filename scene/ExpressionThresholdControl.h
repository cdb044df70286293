#pragma once

#include "gl/Cursors.h"
#include "gl/GLTexture.h"
#include "gl/MouseListener.h"
#include "scene/OverlayRect.h"

#include <memory>

class BrainSceneRenderer;
class GeneExpression;
class GLTextBox;

// The plot of a data set's expressors, density (0 to 100) across and intensity up, in the bottom right
// of the scene's overlay, with the model's visibility thresholds as a rectangle that is dragged by its
// edges and corners or moved whole. Positions are overlay pixels from the bottom left; mouse rows arrive
// from the top and are turned first. Needs the scene's context current for Display and destruction.
class ExpressionThresholdControl : public MouseListener
{
public:
    ExpressionThresholdControl(BrainSceneRenderer* renderer, const GeneExpression* gene);
    ~ExpressionThresholdControl() override;
    ExpressionThresholdControl(const ExpressionThresholdControl&) = delete;
    ExpressionThresholdControl& operator=(const ExpressionThresholdControl&) = delete;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;

    virtual void Display();
    // The size of the panel that the plot draws in the overlay's bottom right corner, texts and all.
    virtual int GetWidth();
    virtual int GetHeight();
    // That panel's place in the overlay.
    OverlayRect GetOverlayRect();
    virtual void ResetCursorRects();

    // Parts a drag can hold: the corners, the edges and the inside of the rectangle.
    enum Anchor
    {
        kNoAnchor = 0,
        kBottomRight = 1,
        kBottomLeft = 2,
        kTopRight = 3,
        kTopLeft = 4,
        kBottom = 5,
        kRight = 6,
        kLeft = 7,
        kTop = 8,
        kInside = 9
    };

    // The rectangle of the model's thresholds in overlay pixels.
    struct Rect
    {
        int x0, y0, x1, y1;
    };
    Rect GetROI();

    const GeneExpression* GetGene() const { return m_gene; }
    float GetMinimumIntensity() const { return m_minimum; }
    float GetMaximumIntensity() const { return m_maximum; }
    const GLTexture& GetPlotTexture() const { return m_plot; }
    bool IsDragging() const { return m_dragging; }

private:
    struct Area
    {
        int left, right, bottom, top;
    };
    Area PlotArea();
    int FindAnchor(const Rect& r, int x, int y, int& grabX, int& grabY) const;
    void AdjustBounds(int x, int y);
    void FindMinY();
    void GeneratePlot();
    void GenerateColorMap();
    void UpdateLabels();
    void DrawLeaders(const Rect& r, int plotX, int plotY);
    int ToOverlayRow(int y);
    static Cursors::Cursor CursorOf(int anchor);

    BrainSceneRenderer* m_renderer;
    const GeneExpression* m_gene;
    int m_plotColorMode = 0;
    GLTexture m_plot;
    std::unique_ptr<GLTextBox> m_intensityTitle;
    std::unique_ptr<GLTextBox> m_densityTitle;
    std::unique_ptr<GLTextBox> m_levelLowLabel;
    std::unique_ptr<GLTextBox> m_levelHighLabel;
    std::unique_ptr<GLTextBox> m_densityLowLabel;
    std::unique_ptr<GLTextBox> m_densityHighLabel;
    int m_anchor = kNoAnchor;
    int m_grabX = 0;
    int m_grabY = 0;
    bool m_dragging = false;
    float m_minimum = 0.0f;
    float m_maximum = 0.0f;
};
