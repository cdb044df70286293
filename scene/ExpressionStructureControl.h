#pragma once

#include "gl/GLTexture.h"
#include "gl/MouseListener.h"

#include <map>
#include <memory>
#include <utility>
#include <vector>

class AtlasSpace;
class BrainSceneView;
class Colormap;
class GeneExpression;
class GLTextBox;
class MicroarrayExpression;
class PointSet;
struct Expressor;

// The strip of a microarray data set's samples under a scene view, one column per sample: the lower row in
// the colour of the sample's level, the upper row in the colour of its structure, with separators and
// labels between the groups of structures (the structures of level 100), markers at the selected and the
// hovered sample, and the data set's title below. Clicking or dragging along it selects the sample.
//
// Coordinates are GL pixels of the window, y upward. Main thread, with the scene's GL context current
// (the textures and text boxes are GL objects).
class ExpressionStructureControl : public MouseListener
{
public:
    // A data set that is no microarray data set draws an empty strip.
    ExpressionStructureControl(GeneExpression* data, BrainSceneView* view, const Colormap* colormap);
    ~ExpressionStructureControl() override;
    ExpressionStructureControl(const ExpressionStructureControl&) = delete;
    ExpressionStructureControl& operator=(const ExpressionStructureControl&) = delete;

    // Inside the strip: takes the press.
    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    // Inside the strip: selects the sample under x.
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    // Inside the strip: moves the hover marker, and while pressed selects the sample under x.
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;

    virtual void SetSize(int x, int y, int width, int height);
    virtual void SetColormap(const Colormap* colormap);
    // The selected marker follows the expressor's sample; null clears it.
    virtual void HighlightExpressor(const Expressor* expressor);
    virtual void Draw();
    // Selects the sample whose column starts nearest to window column x.
    virtual void SelectPixel(int x);
    virtual void ComputeExpressionTexture();
    virtual void ComputeStructureTexture();
    virtual void ComputeLabels();

    GeneExpression* GetGene() const { return m_gene; }
    // The data set has samples in the view's space: the strip is drawn.
    bool HasStrip() const { return Samples() && Values(); }
    const Colormap* GetColormap() const { return m_colormap; }
    // x, y, width, height.
    const int* GetRect() const { return m_rect; }
    const GLTexture& GetExpressionTexture() const { return m_expressionTexture; }
    const GLTexture& GetStructureTexture() const { return m_structureTexture; }
    const std::vector<int>& GetSeparators() const { return m_separators; }
    // Group database id: its label box and x offset (-1 hidden).
    const std::map<unsigned int, std::pair<std::shared_ptr<GLTextBox>, int>>& GetLabels() const { return m_labels; }
    int GetHover() const { return m_hover; }
    int GetSelected() const { return m_selected; }

private:
    AtlasSpace* Space() const;
    // The sample levels of the view's space (sample i at i + 2), or null when there are none.
    const std::vector<float>* Values() const;
    const PointSet* Samples() const;
    bool Inside(int x, int y) const;
    unsigned int GroupOf(unsigned int structureId) const;
    void DrawMarker(int column) const;

    GeneExpression* m_gene;
    MicroarrayExpression* m_data;
    BrainSceneView* m_view;
    const Colormap* m_colormap;
    GLTexture m_expressionTexture;
    GLTexture m_structureTexture;
    std::map<unsigned int, std::pair<std::shared_ptr<GLTextBox>, int>> m_labels;
    std::shared_ptr<GLTextBox> m_title;
    std::vector<int> m_separators;
    int m_hover = -1;
    int m_selected = -1;
    const Expressor* m_highlighted = nullptr;
    bool m_pressed = false;
    int m_rect[4] = {10, 10, 0, 0};
};
