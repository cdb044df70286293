#include "views/GraphNode.h"

#include <cfloat>
#include <cmath>

namespace GeneRelation
{

GraphNode::GraphNode(int imageSeriesId, int geneId, const std::string& name, const std::string& symbol, float x,
                     float y)
    : m_position{x, y}
    , m_closestNeighborDistance(FLT_MAX)
    , m_imageSeriesId(imageSeriesId)
    , m_geneId(geneId)
    , m_name(name)
    , m_symbol(symbol)
{
}

void GraphNode::AddEdge(GraphNode* other, float weight)
{
    if (m_edges.emplace(other, weight).second)
        m_repulsionWeight += weight;
}

void GraphNode::ComputeNeighborDistance()
{
    m_closestNeighborDistance = FLT_MAX;
    m_closestNeighbor = nullptr;
    for (const auto& [neighbor, weight] : m_edges)
    {
        // Otherwise a node related to itself would always be its own nearest neighbour, at distance 0.
        if (neighbor == this)
            continue;
        const float dx = neighbor->m_position[0] - m_position[0];
        const float dy = neighbor->m_position[1] - m_position[1];
        const float distance = std::sqrt(dx * dx + dy * dy);
        if (distance < m_closestNeighborDistance)
        {
            m_closestNeighborDistance = distance;
            m_closestNeighbor = neighbor;
        }
    }
}

} // namespace GeneRelation
