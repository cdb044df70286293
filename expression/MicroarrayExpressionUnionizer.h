#pragma once

#include "atlas/PointSet.h"

#include <vector>

class AnnotationLabel;
class BrainOntology;

// Sums microarray samples up per structure: of the target structures, those that hold a sample are
// kept, each with the samples inside its subtree, and each adds one point (a copy of its first sample,
// placed in the structure) to the output set.
class MicroarrayExpressionUnionizer
{
public:
    // The labels must belong to the ontology and outlive the unionizer.
    MicroarrayExpressionUnionizer(const BrainOntology& ontology, const PointSet& samples,
                                  const std::vector<const AnnotationLabel*>& targets, PointSet& outSet);
    virtual ~MicroarrayExpressionUnionizer() = default;

    // out[s] := log2 of the mean of 2^value over the kept structure s's samples whose value is not
    // +infinity; +infinity for a structure without one. values holds one value per sample given to the
    // constructor; indexes at or past count are passed over.
    virtual void Unionize(const float* values, unsigned int count, float* out);
    virtual unsigned int GetNumStructures() const { return static_cast<unsigned int>(m_structures.size()); }

    const std::vector<const AnnotationLabel*>& GetStructures() const { return m_structures; }

private:
    std::vector<const AnnotationLabel*> m_structures;
    std::vector<std::vector<int>> m_sampleIndexes;
};
