#pragma once

#include <memory>

namespace GeneRelation
{

class GraphNode;

// One cell of the Barnes-Hut tree over the node positions of a layout: a leaf holds one node, an inner
// cell the weighted centre and total weight of the nodes below it, so that far nodes repel as one mass.
// The layout is planar, so a cell has four quarters.
class OctTree
{
public:
    static const int NUM_CHILDREN = 4;
    // Nodes that would lie deeper below the root are left out of the cells below this depth.
    static const int MAX_DEPTH = 20;

    // A leaf holding node at pos with weight, over the box [minPos, maxPos].
    OctTree(GraphNode* node, const float* pos, float weight, const float* minPos, const float* maxPos);
    OctTree(const OctTree&) = delete;
    OctTree& operator=(const OctTree&) = delete;

    // Enters a node below this cell, which lies depth levels below the root.
    void AddNode(GraphNode* node, const float* pos, float weight, int depth);
    // Follows a node of this weight from oldPos to newPos in the centres of the cells on its path from
    // the root (the path of oldPos); the boxes stay.
    void MoveNode(const float* oldPos, const float* newPos, float weight);

    // The node of a leaf; null for an inner cell.
    GraphNode* GetNode() const { return m_node; }
    const OctTree* GetChild(int index) const { return m_children[index].get(); }
    const float* GetPosition() const { return m_position; }
    float GetWeight() const { return m_weight; }
    const float* GetMinPos() const { return m_minPos; }
    const float* GetMaxPos() const { return m_maxPos; }
    // The longer side of the box, never below 0.
    float GetWidth() const { return m_width; }

private:
    void AddNode2(GraphNode* node, const float* pos, float weight, int depth);
    int ChildIndex(const float* pos) const;

    GraphNode* m_node;
    std::unique_ptr<OctTree> m_children[NUM_CHILDREN];
    float m_position[2];
    float m_weight;
    float m_minPos[2];
    float m_maxPos[2];
    float m_width;
};

} // namespace GeneRelation
