#include "views/OctTree.h"

#include <algorithm>

namespace GeneRelation
{

OctTree::OctTree(GraphNode* node, const float* pos, float weight, const float* minPos, const float* maxPos)
    : m_node(node)
    , m_position{pos[0], pos[1]}
    , m_weight(weight)
    , m_minPos{minPos[0], minPos[1]}
    , m_maxPos{maxPos[0], maxPos[1]}
    , m_width(std::max({maxPos[0] - minPos[0], maxPos[1] - minPos[1], 0.0f}))
{
}

int OctTree::ChildIndex(const float* pos) const
{
    int index = 0;
    for (int d = 0; d < 2; ++d)
        if (pos[d] > (m_minPos[d] + m_maxPos[d]) * 0.5f)
            index += 1 << d;
    return index;
}

void OctTree::AddNode(GraphNode* node, const float* pos, float weight, int depth)
{
    if (depth > MAX_DEPTH)
        return;
    if (m_node)
    {
        GraphNode* own = m_node;
        m_node = nullptr;
        const float ownPos[2] = {m_position[0], m_position[1]};
        AddNode2(own, ownPos, m_weight, depth);
    }
    for (int d = 0; d < 2; ++d)
        m_position[d] = (pos[d] * weight + m_position[d] * m_weight) / (m_weight + weight);
    m_weight += weight;
    AddNode2(node, pos, weight, depth);
}

void OctTree::AddNode2(GraphNode* node, const float* pos, float weight, int depth)
{
    const int index = ChildIndex(pos);
    if (m_children[index])
    {
        m_children[index]->AddNode(node, pos, weight, depth + 1);
        return;
    }
    float minPos[2];
    float maxPos[2];
    for (int d = 0; d < 2; ++d)
    {
        const float middle = (m_minPos[d] + m_maxPos[d]) * 0.5f;
        const bool upper = (index >> d) & 1;
        minPos[d] = upper ? middle : m_minPos[d];
        maxPos[d] = upper ? m_maxPos[d] : middle;
    }
    m_children[index] = std::make_unique<OctTree>(node, pos, weight, minPos, maxPos);
}

void OctTree::MoveNode(const float* oldPos, const float* newPos, float weight)
{
    for (OctTree* cell = this; cell; cell = cell->m_children[cell->ChildIndex(oldPos)].get())
        for (int d = 0; d < 2; ++d)
            cell->m_position[d] += weight / cell->m_weight * (newPos[d] - oldPos[d]);
}

} // namespace GeneRelation
