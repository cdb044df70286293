#pragma once

#include <map>
#include <string>

namespace GeneRelation
{

// One data set (image series) of a gene relation graph with its weighted, undirected relations to others.
// The graph that made the node owns it; neighbours are plain pointers into the same graph.
class GraphNode
{
public:
    // Neighbours in ascending image-series id rather than by address, so that sums over the relations, and
    // with them the layout, come out the same in every run.
    struct SeriesOrder
    {
        bool operator()(const GraphNode* a, const GraphNode* b) const
        {
            return a->m_imageSeriesId < b->m_imageSeriesId;
        }
    };
    using EdgeMap = std::map<GraphNode*, float, SeriesOrder>;

    // x and y are the node's starting position, before any layout.
    GraphNode(int imageSeriesId, int geneId, const std::string& name, const std::string& symbol, float x, float y);
    GraphNode(const GraphNode&) = delete;
    GraphNode& operator=(const GraphNode&) = delete;

    float* GetPosition() { return m_position; }
    const float* GetPosition() const { return m_position; }
    const std::string& GetSymbol() const { return m_symbol; }
    const std::string& GetName() const { return m_name; }
    int GetImageSeriesId() const { return m_imageSeriesId; }
    int GetGeneId() const { return m_geneId; }
    float GetRepulsionWeight() const { return m_repulsionWeight; }

    // Adds a relation to other unless one exists already: the first weight of a pair stays.
    void AddEdge(GraphNode* other, float weight);
    EdgeMap::const_iterator EdgeBegin() const { return m_edges.begin(); }
    EdgeMap::const_iterator EdgeEnd() const { return m_edges.end(); }
    int GetNumEdges() const { return static_cast<int>(m_edges.size()); }

    float GetSize() const { return m_size; }
    void SetSize(float size) { m_size = size; }

    float GetClosestNeighborDistance() const { return m_closestNeighborDistance; }
    const GraphNode* GetClosestNeighbor() const { return m_closestNeighbor; }
    // Finds the nearest neighbour among the node's relations at the current positions. A relation of the
    // node with itself is not a neighbour; of equally near neighbours the first in edge order stays.
    void ComputeNeighborDistance();

private:
    EdgeMap m_edges;
    float m_position[2];
    float m_repulsionWeight = 0.0f;
    float m_closestNeighborDistance;
    float m_size = 1.0f;
    int m_imageSeriesId;
    int m_geneId;
    std::string m_name;
    std::string m_symbol;
    const GraphNode* m_closestNeighbor = nullptr;
};

} // namespace GeneRelation
