#pragma once

#include "atlas/GeneralAnnotationSelector.h"

class AnnotationLabel;
class AtlasSpace;
class Colormap;

// The display settings and the selection by which microarray samples are coloured: what the document's
// expression model offers the meshes of the atlas model, which sit a layer below it.
class SampleColoringState
{
public:
    virtual ~SampleColoringState() = default;

    // The gene colour-mode number of GeneColorModes (1 colours by structure).
    virtual int GetGeneColorMode() const = 0;
    // Null when the mode has no usable colormap.
    virtual const Colormap* GetGeneColormap() const = 0;
    virtual const GeneralAnnotationSelector<unsigned long long>& GetExpressionSelector() const = 0;
    virtual bool ZScoresVisible() const = 0;
    // low > high: at least low; low < high: within; low = high: everything.
    virtual void GetExpressionLevelVisibilityThreshold(float& low, float& high) const = 0;
    // The values that map to the first and the last colormap entry.
    virtual void GetExpressionWindow(float& low, float& high) const = 0;
    virtual const AtlasSpace* GetSelectedExpressorsSpace() const = 0;
    // The structure of the selected expressor; null when none is selected or it has no structure.
    virtual const AnnotationLabel* GetSelectedExpressorLabel() const = 0;
};
