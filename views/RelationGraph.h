#pragma once

#include "views/GraphNode.h"
#include "views/PositionGenerator.h"

#include <cstdint>
#include <map>
#include <memory>

namespace GeneRelation
{

// A gene relation graph: one node per image series, joined by weighted undirected relations, filled from a
// relation table or by similar-gene searches and laid out in the unit square for drawing.
class RelationGraph
{
public:
    using NodeMap = std::map<int, std::unique_ptr<GraphNode>>;

    RelationGraph() = default;
    RelationGraph(const RelationGraph&) = delete;
    RelationGraph& operator=(const RelationGraph&) = delete;

    // Removes every node; the average size keeps its value until the next layout.
    void DeleteNodes();

    // Replaces the nodes by the relations of a comma-separated table and lays them out. Beyond 5000 relations
    // the user is asked whether to go on. Throws std::runtime_error when the file cannot be opened or read;
    // the graph is then empty.
    void ImportFile(const char* path);

    // Lays the nodes out (positions in the unit square, drawing sizes) and finds each node's nearest neighbour.
    // One or two nodes lie in the middle, at the size of the larger nodes of a graph of a few.
    void ComputeLayout();

    // Exchanges the nodes and average sizes of two graphs, so that a graph read aside can replace this one
    // only once it is known to be good; each keeps its own sequence of starting positions.
    void Swap(RelationGraph& other);

    // Relates two data sets, making their nodes as needed. A weight that is not a finite number of 0 or more
    // adds nothing (not even the nodes); answers whether the relation was taken.
    bool AddRelation(int seriesId1, int geneId1, const char* name1, const char* symbol1, int seriesId2, int geneId2,
                     const char* name2, const char* symbol2, float weight);
    static bool IsValidWeight(float weight);

    // The node of the image series, or null.
    GraphNode* GetNode(int seriesId) const;
    // The node of the image series, made at the next starting position when there is none; an existing node
    // keeps its ids and texts.
    GraphNode* GetNode(int seriesId, int geneId, const char* name, const char* symbol);

    // Nodes in ascending image-series id.
    NodeMap::const_iterator Begin() const { return m_nodes.begin(); }
    NodeMap::const_iterator End() const { return m_nodes.end(); }
    int GetNumNodes() const { return static_cast<int>(m_nodes.size()); }
    float GetAverageSize() const { return m_averageSize; }

    // Restarts the sequence of starting positions given to new nodes.
    void SeedPositions(std::uint32_t seed) { m_positions.Seed(seed); }

private:
    void PlaceFewNodes();

    NodeMap m_nodes;
    float m_averageSize = 0.0f;
    PositionGenerator m_positions;
};

} // namespace GeneRelation
