#pragma once

#include "gl/MouseListener.h"

class BrainSceneView;
class Colormap;
class GeneExpression;
struct Expressor;

// The strip of a microarray data set's samples grouped by structure, under a scene view. For now it
// draws nothing and takes no press; it keeps its place and colormap.
class ExpressionStructureControl : public MouseListener
{
public:
    ExpressionStructureControl(GeneExpression* data, BrainSceneView* view, const Colormap* colormap);
    ~ExpressionStructureControl() override;
    ExpressionStructureControl(const ExpressionStructureControl&) = delete;
    ExpressionStructureControl& operator=(const ExpressionStructureControl&) = delete;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;

    virtual void SetSize(int x, int y, int width, int height);
    virtual void SetColormap(const Colormap* colormap) { m_colormap = colormap; }
    virtual void HighlightExpressor(const Expressor* expressor);
    virtual void Draw();

    GeneExpression* GetGene() const { return m_data; }
    const Colormap* GetColormap() const { return m_colormap; }
    // x, y, width, height.
    const int* GetRect() const { return m_rect; }

private:
    GeneExpression* m_data;
    BrainSceneView* m_view;
    const Colormap* m_colormap;
    int m_rect[4] = {0, 0, 0, 0};
};
