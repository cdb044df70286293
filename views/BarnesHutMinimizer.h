#pragma once

#include <cmath>
#include <memory>

namespace GeneRelation
{

class GraphNode;
class OctTree;
class RelationGraph;

// Lays a relation graph out in the plane by minimising its LinLog energy: attraction along the weighted
// relations, repulsion between all nodes by their repulsion weights (through a Barnes-Hut tree) and a weak
// pull towards the weighted centre. The energy model is annealed from one with few local minima to the
// final LinLog model over 100 steps; the result is scaled into the unit square.
class BarnesHutMinimizer
{
public:
    static const int NUM_STEPS = 100;

    explicit BarnesHutMinimizer(RelationGraph* graph);

    // Moves every node and sets its drawing size; a graph of fewer than 2 nodes is left as it is.
    void ComputeLayout();

    float ComputeRepulsionFactor() const;
    float GetEnergy(const GraphNode* node, const OctTree* tree) const;
    float GetRepulsionEnergy(const GraphNode* node, const OctTree* cell) const;
    float GetAttractionEnergy(const GraphNode* node) const;
    float GetGravitationEnergy(const GraphNode* node) const;
    // Each adds its force on the node to dir and answers its share of the normalising sum.
    float AddRepulsionDir(const GraphNode* node, const OctTree* cell, float* dir) const;
    float AddAttractionDir(const GraphNode* node, float* dir) const;
    float AddGravitationDir(const GraphNode* node, float* dir) const;
    // The normalised descent direction of the node, at most an eighth of the tree's width long; (0, 0) when
    // it would not be a finite vector.
    void GetDirection(const GraphNode* node, const OctTree* tree, float* dir) const;
    void ComputeBaryCenter();
    static float GetDist(const float* a, const float* b)
    {
        const float dx = a[0] - b[0];
        const float dy = a[1] - b[1];
        return std::sqrt(dx * dx + dy * dy);
    }
    // A tree over the nodes of nonzero repulsion weight; null when there is none.
    std::unique_ptr<OctTree> BuildOctTree() const;
    // Maps the tree's box into the unit square, its longer side onto exactly 0 to 1, and sets the node sizes.
    void Normalize(const OctTree& tree);

    // The annealed exponents of a step (1 to NUM_STEPS) on the way to the final ones.
    static void AnnealedExponents(int step, float finalAttraction, float finalRepulsion, float& attraction,
                                  float& repulsion);

    void SetExponents(float attraction, float repulsion);
    void SetRepulsionFactor(float factor) { m_repulsionFactor = factor; }
    const float* GetBaryCenter() const { return m_baryCenter; }

private:
    // One node's step along dir with the discrete line search; answers the node's energy afterwards.
    float LineSearch(GraphNode* node, OctTree& tree, float energy, float* dir) const;

    RelationGraph* m_graph;
    float m_repulsionExponent = 0.0f;
    float m_repulsionFactor = 1.0f;
    float m_attractionExponent = 1.0f;
    float m_gravitationFactor = 0.01f;
    float m_baryCenter[2] = {0.0f, 0.0f};
};

} // namespace GeneRelation
