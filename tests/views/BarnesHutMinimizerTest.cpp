#include "views/BarnesHutMinimizer.h"
#include "views/OctTree.h"
#include "views/RelationGraph.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

namespace
{

using GeneRelation::BarnesHutMinimizer;
using GeneRelation::GraphNode;
using GeneRelation::OctTree;
using GeneRelation::RelationGraph;

void Relate(RelationGraph& graph, int a, int b, float weight)
{
    const std::string nameA = "G" + std::to_string(a);
    const std::string nameB = "G" + std::to_string(b);
    graph.AddRelation(a, 0, nameA.c_str(), nameA.c_str(), b, 0, nameB.c_str(), nameB.c_str(), weight);
}

void Place(RelationGraph& graph, int id, float x, float y)
{
    float* position = graph.GetNode(id)->GetPosition();
    position[0] = x;
    position[1] = y;
}

// One node, which the layout leaves where it was, and two, which it spreads over the whole square, go in the
// middle at the size of a few nodes' larger ones (a pair side by side, sized by their weights).
TEST(BarnesHutLayout, GraphsOfOneOrTwoNodesLieInTheMiddle)
{
    RelationGraph empty;
    empty.ComputeLayout();
    EXPECT_EQ(0.0f, empty.GetAverageSize());

    RelationGraph single;
    Relate(single, 4, 4, 0.5f);
    Place(single, 4, 0.3f, -0.2f);
    single.ComputeLayout();
    const GraphNode& node = *single.GetNode(4);
    EXPECT_EQ(0.5f, node.GetPosition()[0]);
    EXPECT_EQ(0.5f, node.GetPosition()[1]);
    EXPECT_FLOAT_EQ(0.2f, node.GetSize());
    EXPECT_FLOAT_EQ(0.2f, single.GetAverageSize());
    // A node is not its own nearest neighbour.
    EXPECT_EQ(nullptr, node.GetClosestNeighbor());

    RelationGraph pair;
    Relate(pair, 1, 2, 0.36f);
    Relate(pair, 2, 2, 0.64f);
    pair.ComputeLayout();
    const float* a = pair.GetNode(1)->GetPosition();
    const float* b = pair.GetNode(2)->GetPosition();
    EXPECT_NEAR(0.5f, (a[0] + b[0]) * 0.5f, 1e-6f);
    EXPECT_NEAR(0.5f, (a[1] + b[1]) * 0.5f, 1e-6f);
    EXPECT_NEAR(0.5f, BarnesHutMinimizer::GetDist(a, b), 1e-6f);
    EXPECT_FLOAT_EQ(0.2f, pair.GetNode(2)->GetSize());
    EXPECT_FLOAT_EQ(0.2f * 0.6f, pair.GetNode(1)->GetSize());
    EXPECT_EQ(pair.GetNode(2), pair.GetNode(1)->GetClosestNeighbor());
}

struct StepCase
{
    int step;
    float attraction;
    float repulsion;
    bool attractionCounts; // attraction and gravitation add to the normalising sum
    bool repulsionCounts;
};

TEST(BarnesHutLayout, AnnealingAndWhichForcesCountTowardsTheNormalisingSum)
{
    const StepCase cases[] = {
        {1, 2.1f, 0.9f, true, false},        {60, 2.1f, 0.9f, true, false},    {61, 2.063333f, 0.87f, true, false},
        {62, 2.026667f, 0.84f, true, false}, {63, 1.99f, 0.81f, false, false}, {89, 1.036667f, 0.03f, false, false},
        {90, 1.0f, 0.0f, false, true},       {100, 1.0f, 0.0f, false, true},
    };
    RelationGraph graph;
    Relate(graph, 1, 2, 1.0f);
    Relate(graph, 2, 3, 0.5f);
    Place(graph, 1, -0.4f, 0.1f);
    Place(graph, 2, 0.2f, 0.3f);
    Place(graph, 3, 0.1f, -0.35f);
    BarnesHutMinimizer minimizer(&graph);
    minimizer.SetRepulsionFactor(minimizer.ComputeRepulsionFactor());
    minimizer.ComputeBaryCenter();
    const std::unique_ptr<OctTree> tree = minimizer.BuildOctTree();
    const GraphNode* node = graph.GetNode(2);
    for (const StepCase& test : cases)
    {
        SCOPED_TRACE(test.step);
        float a = 0.0f;
        float r = 0.0f;
        BarnesHutMinimizer::AnnealedExponents(test.step, 1.0f, 0.0f, a, r);
        EXPECT_NEAR(test.attraction, a, 2e-6f);
        EXPECT_NEAR(test.repulsion, r, 2e-6f);
        minimizer.SetExponents(a, r);

        float dir[2] = {0.0f, 0.0f};
        EXPECT_EQ(test.repulsionCounts, minimizer.AddRepulsionDir(node, tree.get(), dir) > 0.0f);
        EXPECT_NE(0.0f, dir[0]);
        EXPECT_EQ(test.attractionCounts, minimizer.AddAttractionDir(node, dir) > 0.0f);
        EXPECT_EQ(test.attractionCounts, minimizer.AddGravitationDir(node, dir) > 0.0f);

        minimizer.GetDirection(node, tree.get(), dir);
        const bool moves = test.attractionCounts || test.repulsionCounts;
        EXPECT_EQ(moves, dir[0] != 0.0f || dir[1] != 0.0f);
        EXPECT_LE(std::hypot(dir[0], dir[1]), tree->GetWidth() * 0.125f * 1.0001f);
    }
}

TEST(BarnesHutLayout, NoPullAtDistanceZeroAndNoDirectionThatIsNotFinite)
{
    RelationGraph graph;
    Relate(graph, 1, 2, 1.0f);
    Relate(graph, 1, 3, 1.0f);
    Place(graph, 1, 0.0f, 0.0f);
    Place(graph, 2, 0.0f, 0.0f);
    Place(graph, 3, 0.0f, 0.5f);
    BarnesHutMinimizer minimizer(&graph);
    minimizer.ComputeBaryCenter();
    Place(graph, 1, minimizer.GetBaryCenter()[0], minimizer.GetBaryCenter()[1]);
    const GraphNode* node = graph.GetNode(1);
    for (const float a : {1.0f, 2.1f})
    {
        minimizer.SetExponents(a, 0.0f);
        float dir[2] = {0.0f, 0.0f};
        EXPECT_EQ(0.0f, minimizer.AddGravitationDir(node, dir));
        EXPECT_EQ(0.0f, dir[0]);
        EXPECT_EQ(0.0f, dir[1]);
    }
    Place(graph, 2, minimizer.GetBaryCenter()[0], minimizer.GetBaryCenter()[1]);
    minimizer.SetExponents(2.1f, 0.9f);
    float dir[2] = {0.0f, 0.0f};
    minimizer.AddAttractionDir(node, dir);
    EXPECT_TRUE(std::isfinite(dir[0]) && std::isfinite(dir[1]));

    const std::unique_ptr<OctTree> tree = minimizer.BuildOctTree();
    minimizer.SetRepulsionFactor(std::numeric_limits<float>::quiet_NaN());
    minimizer.GetDirection(graph.GetNode(3), tree.get(), dir);
    EXPECT_EQ(0.0f, dir[0]);
    EXPECT_EQ(0.0f, dir[1]);
}

TEST(BarnesHutLayout, WeightsNearTheLargestFloatLeaveEveryPositionFinite)
{
    RelationGraph graph;
    for (int i = 1; i <= 6; ++i)
        Relate(graph, i, i % 6 + 1, 3e38f);
    graph.ComputeLayout();
    for (auto node = graph.Begin(); node != graph.End(); ++node)
        EXPECT_TRUE(std::isfinite(node->second->GetPosition()[0]) && std::isfinite(node->second->GetPosition()[1]))
            << node->first;
}

TEST(BarnesHutTree, TwoNodesAtOnePositionShareAPathToDepth20)
{
    RelationGraph graph;
    Relate(graph, 1, 3, 1.0f);
    Relate(graph, 2, 3, 1.0f);
    Place(graph, 1, 0.25f, 0.25f);
    Place(graph, 2, 0.25f, 0.25f);
    Place(graph, 3, -0.3f, -0.4f);
    const std::unique_ptr<OctTree> tree = BarnesHutMinimizer(&graph).BuildOctTree();
    ASSERT_TRUE(tree);
    EXPECT_EQ(4.0f, tree->GetWeight());

    const OctTree* cell = tree.get();
    int depth = 0;
    while (!cell->GetNode())
    {
        const OctTree* shared = nullptr;
        for (int i = 0; i < OctTree::NUM_CHILDREN; ++i)
            if (cell->GetChild(i) && cell->GetChild(i)->GetPosition()[0] == 0.25f)
                shared = cell->GetChild(i);
        ASSERT_TRUE(shared) << depth;
        cell = shared;
        ++depth;
        if (!cell->GetNode())
        {
            EXPECT_EQ(2.0f, cell->GetWeight()) << depth;
        }
    }
    EXPECT_EQ(OctTree::MAX_DEPTH + 1, depth);
    EXPECT_EQ(graph.GetNode(1), cell->GetNode());
    EXPECT_EQ(1.0f, cell->GetWeight());
}

TEST(BarnesHutTree, BoxesReachUpToAboutZeroAndMovesFollowTheCentres)
{
    RelationGraph graph;
    Relate(graph, 1, 2, 1.0f);
    Relate(graph, 2, 3, 2.0f);
    Relate(graph, 3, 4, 0.5f);
    Relate(graph, 5, 6, 0.0f); // weightless nodes stay out of the tree
    const float positions[][2] = {{-0.4f, 0.3f}, {-0.1f, -0.2f}, {-0.3f, 0.45f}, {-0.05f, -0.1f}, {2, 2}, {3, 3}};
    for (int i = 0; i < 6; ++i)
        Place(graph, i + 1, positions[i][0], positions[i][1]);
    BarnesHutMinimizer minimizer(&graph);
    const std::unique_ptr<OctTree> tree = minimizer.BuildOctTree();
    EXPECT_EQ(-0.4f, tree->GetMinPos()[0]);
    EXPECT_EQ(FLT_MIN, tree->GetMaxPos()[0]);
    EXPECT_EQ(-0.2f, tree->GetMinPos()[1]);
    EXPECT_EQ(0.45f, tree->GetMaxPos()[1]);
    EXPECT_EQ(7.0f, tree->GetWeight());

    const float newPos[2] = {0.35f, -0.15f};
    tree->MoveNode(graph.GetNode(2)->GetPosition(), newPos, 3.0f);
    Place(graph, 2, newPos[0], newPos[1]);
    minimizer.ComputeBaryCenter();
    EXPECT_NEAR(minimizer.GetBaryCenter()[0], tree->GetPosition()[0], 1e-6f);
    EXPECT_NEAR(minimizer.GetBaryCenter()[1], tree->GetPosition()[1], 1e-6f);
}

struct FactorCase
{
    std::vector<std::tuple<int, int, float>> relations;
    float factor;
};

TEST(BarnesHutLayout, RepulsionFactor)
{
    const FactorCase cases[] = {
        {{}, 1.0f},
        {{{1, 2, 0.0f}}, 1.0f},
        {{{1, 2, 1.0f}, {2, 3, 3.0f}}, 0.125f * std::sqrt(8.0f)}, // A = R = 8: 8 / 8 / 8 * 8^0.5
        {{{1, 1, 2.0f}, {1, 2, 2.0f}}, 6.0f / 36.0f * std::sqrt(6.0f)},
    };
    for (const FactorCase& test : cases)
    {
        RelationGraph graph;
        for (const auto& [a, b, weight] : test.relations)
            Relate(graph, a, b, weight);
        EXPECT_FLOAT_EQ(test.factor, BarnesHutMinimizer(&graph).ComputeRepulsionFactor());
    }
}

// Node positions drawn from the generator, boxes of every shape: the longer side lands on exactly 0 and 1
// and the shorter one is centred.
TEST(BarnesHutLayout, NormalisationMapsTheLongerSideOntoExactlyZeroToOne)
{
    for (std::uint32_t seed = 1; seed <= 40; ++seed)
    {
        SCOPED_TRACE(seed);
        RelationGraph graph;
        graph.SeedPositions(seed);
        for (int i = 1; i <= 5; ++i)
            Relate(graph, i, i + 1, 0.25f * i);
        // Squeeze one axis so that both orientations occur; all positive, so the box is that of the nodes.
        for (auto node = graph.Begin(); node != graph.End(); ++node)
        {
            float* position = node->second->GetPosition();
            position[seed % 2] *= 0.3f;
            position[0] += 0.6f;
            position[1] += 0.6f;
        }
        BarnesHutMinimizer minimizer(&graph);
        const std::unique_ptr<OctTree> tree = minimizer.BuildOctTree();
        const float side = tree->GetWidth();
        const int longer = tree->GetMaxPos()[0] - tree->GetMinPos()[0] == side ? 0 : 1;
        const float shorter = tree->GetMaxPos()[1 - longer] - tree->GetMinPos()[1 - longer];
        minimizer.Normalize(*tree);

        float low[2] = {FLT_MAX, FLT_MAX};
        float high[2] = {-FLT_MAX, -FLT_MAX};
        for (auto node = graph.Begin(); node != graph.End(); ++node)
        {
            for (int d = 0; d < 2; ++d)
            {
                low[d] = std::min(low[d], node->second->GetPosition()[d]);
                high[d] = std::max(high[d], node->second->GetPosition()[d]);
            }
            EXPECT_FLOAT_EQ(std::sqrt(node->second->GetRepulsionWeight()) / side * 0.5f, node->second->GetSize());
        }
        EXPECT_EQ(0.0f, low[longer]);
        EXPECT_EQ(1.0f, high[longer]);
        EXPECT_NEAR(0.5f, (low[1 - longer] + high[1 - longer]) * 0.5f, 1e-6f);
        EXPECT_NEAR(shorter / side, high[1 - longer] - low[1 - longer], 1e-6f);
    }

    RelationGraph point;
    Relate(point, 1, 2, 1.0f);
    Place(point, 1, 0.2f, 0.2f);
    Place(point, 2, 0.2f, 0.2f);
    BarnesHutMinimizer minimizer(&point);
    minimizer.Normalize(*minimizer.BuildOctTree());
    EXPECT_EQ(0.2f, point.GetNode(2)->GetPosition()[0]);
    EXPECT_EQ(1.0f, point.GetNode(2)->GetSize());
}

} // namespace
