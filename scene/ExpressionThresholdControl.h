#pragma once

#include "gl/MouseListener.h"

class BrainSceneRenderer;
class GeneExpression;

// The plot of a data set's expressors by density and intensity with the visibility thresholds as a
// rectangle. For now it draws nothing and takes no press.
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
    virtual int GetWidth();
    virtual int GetHeight();
    virtual void ResetCursorRects();

    const GeneExpression* GetGene() const { return m_gene; }

private:
    BrainSceneRenderer* m_renderer;
    const GeneExpression* m_gene;
};
