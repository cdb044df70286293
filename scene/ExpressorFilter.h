#pragma once

#include "atlas/GeneralAnnotationSelector.h"
#include "expression/Range.h"

class AnnotationLabel;
class AtlasSpace;
class BrainExpressionModel;
class Colormap;
class GeneExpression;
struct Expressor;

// The rules that decide whether a glyph of a data set is drawn, picked, hit or exported, read once from
// the model for one pass over one data set in one atlas space. Each kind of pass applies its own subset:
//
//   pass          structure  hidden  value windows       cutting box  colormap black
//   kCompile      (lists)    yes     yes                 yes          yes
//   kImmediate    yes        yes     yes                 yes          yes
//   kPick         yes        no      expression data     yes          yes
//   kHitTest      yes        yes     expression data     yes          yes
//   kVisible      yes        no      yes                 yes          yes (index of |value|)
//   kExport       yes        no      yes, signed value   yes          yes
class ExpressorFilter
{
public:
    using Selector = GeneralAnnotationSelector<unsigned long long>;

    enum Pass
    {
        kCompile,
        kImmediate,
        kPick,
        kHitTest,
        kVisible,
        kExport
    };

    // hidden may be null (nothing hidden). The arguments must outlive the filter.
    ExpressorFilter(const BrainExpressionModel& model, const AtlasSpace& space, const GeneExpression& gene,
                    const Selector* hidden, Pass pass);

    // The structure filter: whether a structure's data show at all.
    bool StructureShown(const AnnotationLabel* label) const;
    // Whether the hidden-structure selector holds the expressor's structure.
    bool IsHidden(const Expressor& expressor) const;
    // Every rule of the pass but the structure filter; colorIndex receives the colour index (0..255).
    bool Passes(const Expressor& expressor, int& colorIndex) const;
    // The value the windows test: the z-score when z-scores are shown, its magnitude for projection data
    // (except in the export).
    float Value(const Expressor& expressor) const;

    // min < max: inside, bounds included; min == max: no test; min > max: at least min (an open top).
    static bool InWindow(float value, const Range& window);
    // (value - low) / width x 255 + 0.5 over the window, width 1 for an empty window, clamped to 0..255
    // before it becomes an integer, so that no value overflows the conversion.
    static int ColorIndex(float value, const Range& window);

private:
    bool InCuttingBox(const Expressor& expressor) const;

    const Selector& m_expressionSelector;
    const Selector* m_hidden;
    const Colormap* m_colormap;
    Pass m_pass;
    bool m_projection;
    bool m_zScores;
    float m_mean;
    float m_deviation;
    Range m_level;
    Range m_density;
    Range m_window;
    float m_box[3][2];
};
