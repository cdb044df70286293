#pragma once

#include "expression/Expressor.h"
#include "expression/ProjectionStreamLines.h"

#include <vector>

class AnnotationLabel;

// What a data set holds in one structure of one atlas space.
struct BrainFeature
{
    const AnnotationLabel* label = nullptr;
    // In expressor order; they point into the data set's expressor vector of the same space.
    std::vector<Expressor*> expressors;
    // Copies of the projection stream lines whose leading expressor lies in this structure.
    std::vector<ProjectionStreamLines::Line> streamLines;
};
