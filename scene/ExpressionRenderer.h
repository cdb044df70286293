#pragma once

#include "atlas/GeneralAnnotationSelector.h"
#include "gl/GLName.h"

#include <string>
#include <vector>

class AtlasSpace;
class BrainExpressionModel;
class BrainSceneView;
class ExpressorFilter;
class GeneExpression;
struct BrainFeature;
struct Expressor;

// One data set drawn in one scene view as a cloud of glyphs, one per expressor, with the highlight of the
// selected expressor, ray and GL-selection picking and a POV-Ray export. The glyphs are cached in one
// display list per structure, so that a change of the structure filter only changes which lists are
// called; threshold and colour changes mark the lists for one recompile at the next cached draw, and
// live update (a threshold drag) draws at once without touching them.
//
// Owned by its view (shared with nothing else); the view, data set and atlas outlive it. GL work needs
// the scene's context current, and the destructor frees the lists, so it runs with that context current
// too. Main thread only.
class ExpressionRenderer
{
public:
    using Selector = GeneralAnnotationSelector<unsigned long long>;

    // Touches no GL; every glyph has size 1.75 with fixedSize.
    ExpressionRenderer(BrainSceneView* view, GeneExpression* gene, bool fixedSize);
    virtual ~ExpressionRenderer();
    ExpressionRenderer(const ExpressionRenderer&) = delete;
    ExpressionRenderer& operator=(const ExpressionRenderer&) = delete;

    virtual GeneExpression* GetGene() { return m_gene; }
    virtual const GeneExpression* GetGene() const { return m_gene; }
    // Draws (pick false) or draws every visible expressor as a cube named expressor id + nameBase for GL
    // selection; nothing while the data set is hidden. Throws std::runtime_error when the GL gives no
    // display lists.
    virtual void Display(bool pick, unsigned int nameBase);
    // The selected expressor's green glyph; nothing for null, an expressor without structure or a hidden one.
    virtual void HighlightExpressor(const Expressor* expressor);
    // The distance along the unit ray to the nearest glyph it passes (glyphs count at least 0.15 wide),
    // measured to the glyph's near side; the largest float for none, -1 while the data set is hidden.
    virtual float HitTest(const float* rayOrigin, const float* rayDirection, unsigned int& expressorId);
    // Marks the lists for a recompile when forced or when the model's colour mode changed since the last.
    virtual void ColorModeChanged(bool force);
    virtual void ThresholdChanged();
    // Writes prefix + symbol + ".pov", one "DrawExpressor(x,y,z,size,r,g,b)" line per exported glyph. A
    // symbol is made a plain file name first: path separators and control characters become "_". Throws
    // std::runtime_error "File could not be written.".
    virtual void ExportPOVRay(const char* prefix);
    virtual void SetHiddenStructureSelector(const Selector& selector);
    // Compiles every structure's list (compile) or draws at once.
    virtual void Draw(bool compile);
    // Glyph size in view-grid units, from the raw value and density.
    virtual float GetExpressorSize(const Expressor* expressor) const;

    // Whether the expressor of the data set in that space passes the visibility rules of the model.
    static bool ExpressorVisible(const BrainExpressionModel* model, const AtlasSpace* space, const Expressor* expressor,
                                 const GeneExpression* gene);
    // The export's file name for a gene symbol.
    static std::string POVRayFileName(const std::string& prefix, const std::string& symbol);

    bool IsDirty() const { return m_dirty; }
    unsigned int GetListBase() const { return m_lists.Get(); }
    int GetListCount() const { return m_lists.GetCount(); }
    int GetCompiledColorMode() const { return m_compiledColorMode; }
    const Selector& GetHiddenStructureSelector() const { return m_hiddenStructures; }

protected:
    // Subclasses that draw other than glyphs rebuild on their own and say when they are done.
    void SetDirty(bool dirty) { m_dirty = dirty; }

    GeneExpression* m_gene;
    BrainSceneView* m_view;

private:
    void DrawFeature(const BrainFeature& feature, const ExpressorFilter& filter, bool fast);
    void SetGlyphColor(const BrainFeature& feature, int index, float* base) const;
    const std::vector<BrainFeature>* Features() const;

    GLName m_lists;
    bool m_dirty = true;
    int m_compiledColorMode = 0;
    Selector m_hiddenStructures;
    bool m_fixedSize;
};
