#include "views/RelationGraph.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

namespace
{

using GeneRelation::GraphNode;
using GeneRelation::RelationGraph;

const int CLUSTERS = 4;
const int CLUSTER_SIZE = 40;

double Uniform(std::mt19937& random)
{
    return random() / 4294967296.0;
}

// 4 planted clusters: relations inside with probability 0.3, between with 0.01, weights 0.5 to 1.
void PlantClusters(RelationGraph& graph, std::uint32_t seed)
{
    std::mt19937 random(seed);
    const int count = CLUSTERS * CLUSTER_SIZE;
    for (int a = 0; a < count; ++a)
        for (int b = a + 1; b < count; ++b)
        {
            const bool inside = a / CLUSTER_SIZE == b / CLUSTER_SIZE;
            if (Uniform(random) >= (inside ? 0.3 : 0.01))
                continue;
            const float weight = static_cast<float>(0.5 + 0.5 * Uniform(random));
            graph.AddRelation(a + 1, 0, "", "", b + 1, 0, "", "", weight);
        }
}

struct Point
{
    double x, y;
};

double Distance(const Point& a, const Point& b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

// The final LinLog energy (attraction exponent 1, logarithmic repulsion over all pairs, gravitation 0.01),
// summed node by node over exact pairs, at the uniform scale s of the placement that minimises it:
// E(s p) = s L - K ln s + C, so s = K / L.
double LinLogEnergyAtBestScale(const RelationGraph& graph, const std::map<int, Point>& at)
{
    double repulsionSum = 0.0;
    double attractionSum = 0.0;
    for (auto node = graph.Begin(); node != graph.End(); ++node)
    {
        repulsionSum += node->second->GetRepulsionWeight();
        for (auto edge = node->second->EdgeBegin(); edge != node->second->EdgeEnd(); ++edge)
            attractionSum += edge->second;
    }
    const double factor = attractionSum / repulsionSum / repulsionSum * std::sqrt(repulsionSum);
    Point centre{0, 0};
    for (auto node = graph.Begin(); node != graph.End(); ++node)
    {
        centre.x += node->second->GetRepulsionWeight() * at.at(node->first).x / repulsionSum;
        centre.y += node->second->GetRepulsionWeight() * at.at(node->first).y / repulsionSum;
    }
    double linear = 0.0, logCoefficient = 0.0, constant = 0.0;
    for (auto n = graph.Begin(); n != graph.End(); ++n)
    {
        const Point& p = at.at(n->first);
        const double w = n->second->GetRepulsionWeight();
        for (auto m = graph.Begin(); m != graph.End(); ++m)
            if (m != n)
            {
                const double k = w * factor * m->second->GetRepulsionWeight();
                logCoefficient += k;
                constant -= k * std::log(Distance(p, at.at(m->first)));
            }
        for (auto edge = n->second->EdgeBegin(); edge != n->second->EdgeEnd(); ++edge)
            if (edge->first != n->second.get())
                linear += Distance(p, at.at(edge->first->GetImageSeriesId())) * edge->second;
        linear += Distance(p, centre) * w * 0.01 * factor;
    }
    const double scale = logCoefficient / linear;
    return scale * linear - logCoefficient * std::log(scale) + constant;
}

std::map<int, Point> PositionsOf(const RelationGraph& graph)
{
    std::map<int, Point> at;
    for (auto node = graph.Begin(); node != graph.End(); ++node)
        at[node->first] = {node->second->GetPosition()[0], node->second->GetPosition()[1]};
    return at;
}

int ClusterOf(int id)
{
    return (id - 1) / CLUSTER_SIZE;
}

TEST(ClusterLayout, PlantedClustersComeApartAndLowerTheEnergy)
{
    for (const std::uint32_t seed : {7u, 2024u})
    {
        SCOPED_TRACE(seed);
        RelationGraph graph;
        graph.SeedPositions(seed);
        PlantClusters(graph, seed);
        ASSERT_EQ(CLUSTERS * CLUSTER_SIZE, graph.GetNumNodes());
        graph.ComputeLayout();
        const std::map<int, Point> at = PositionsOf(graph);

        std::mt19937 random(seed + 1);
        std::map<int, Point> scattered;
        for (const auto& entry : at)
            scattered[entry.first] = {Uniform(random), Uniform(random)};
        EXPECT_LT(LinLogEnergyAtBestScale(graph, at), LinLogEnergyAtBestScale(graph, scattered));

        Point centres[CLUSTERS] = {};
        for (const auto& [id, p] : at)
        {
            centres[ClusterOf(id)].x += p.x / CLUSTER_SIZE;
            centres[ClusterOf(id)].y += p.y / CLUSTER_SIZE;
        }
        int nearestOwn = 0;
        for (const auto& [id, p] : at)
        {
            int nearest = 0;
            for (int c = 1; c < CLUSTERS; ++c)
                if (Distance(p, centres[c]) < Distance(p, centres[nearest]))
                    nearest = c;
            nearestOwn += nearest == ClusterOf(id);
        }
        EXPECT_GE(nearestOwn, 0.95 * graph.GetNumNodes());

        double within = 0.0, between = 0.0;
        int withinCount = 0, betweenCount = 0;
        for (auto a = at.begin(); a != at.end(); ++a)
            for (auto b = std::next(a); b != at.end(); ++b)
            {
                const bool same = ClusterOf(a->first) == ClusterOf(b->first);
                (same ? within : between) += Distance(a->second, b->second);
                ++(same ? withinCount : betweenCount);
            }
        EXPECT_LT(within / withinCount, 0.3 * between / betweenCount);

        // The layout fills the unit square; nodes moved in the last step may lie just outside it.
        for (const auto& entry : at)
            for (const double c : {entry.second.x, entry.second.y})
                EXPECT_NEAR(0.5, c, 0.52);
    }
}

TEST(ClusterLayout, TheSameSeedGivesTheSameLayout)
{
    std::vector<std::map<int, Point>> layouts;
    for (const std::uint32_t seed : {5u, 5u, 6u})
    {
        RelationGraph graph;
        graph.SeedPositions(seed);
        PlantClusters(graph, 3);
        graph.ComputeLayout();
        layouts.push_back(PositionsOf(graph));
    }
    for (const auto& [id, p] : layouts[0])
    {
        EXPECT_EQ(p.x, layouts[1].at(id).x);
        EXPECT_EQ(p.y, layouts[1].at(id).y);
    }
    int differ = 0;
    for (const auto& [id, p] : layouts[0])
        differ += p.x != layouts[2].at(id).x;
    EXPECT_GT(differ, 0);
}

} // namespace
