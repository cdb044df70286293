#include "views/BarnesHutMinimizer.h"

#include "views/GraphNode.h"
#include "views/OctTree.h"
#include "views/RelationGraph.h"

#include <cfloat>
#include <cmath>

namespace GeneRelation
{

namespace
{

const float FINAL_ATTRACTION = 1.0f;
const float FINAL_REPULSION = 0.0f;

// |t(x)|: the magnitude of x truncated toward zero. Exponents between the whole numbers add nothing to the
// normalising sum, which is what keeps the middle of the annealing still.
float TruncatedMagnitude(float x)
{
    return std::fabs(std::trunc(x));
}

} // namespace

BarnesHutMinimizer::BarnesHutMinimizer(RelationGraph* graph)
    : m_graph(graph)
{
}

void BarnesHutMinimizer::SetExponents(float attraction, float repulsion)
{
    m_attractionExponent = attraction;
    m_repulsionExponent = repulsion;
}

void BarnesHutMinimizer::AnnealedExponents(int step, float finalAttraction, float finalRepulsion, float& attraction,
                                           float& repulsion)
{
    attraction = finalAttraction;
    repulsion = finalRepulsion;
    const float s = static_cast<float>(step);
    if (s <= 0.6f * NUM_STEPS)
    {
        attraction += 1.1f * (1.0f - finalRepulsion);
        repulsion += 0.9f * (1.0f - finalRepulsion);
    }
    else if (s <= 0.9f * NUM_STEPS)
    {
        const float f = (0.9f - s / NUM_STEPS) / 0.3f;
        attraction += 1.1f * (1.0f - finalRepulsion) * f;
        repulsion += 0.9f * (1.0f - finalRepulsion) * f;
    }
}

void BarnesHutMinimizer::ComputeLayout()
{
    SetExponents(FINAL_ATTRACTION, FINAL_REPULSION);
    m_gravitationFactor = 0.01f;
    if (m_graph->GetNumNodes() < 2)
        return;
    m_repulsionFactor = ComputeRepulsionFactor();

    std::unique_ptr<OctTree> tree;
    for (int step = 1; step <= NUM_STEPS; ++step)
    {
        ComputeBaryCenter();
        tree.reset();
        tree = BuildOctTree();
        AnnealedExponents(step, FINAL_ATTRACTION, FINAL_REPULSION, m_attractionExponent, m_repulsionExponent);

        float energySum = 0.0f;
        for (auto entry = m_graph->Begin(); entry != m_graph->End(); ++entry)
        {
            GraphNode* node = entry->second.get();
            float energy = GetEnergy(node, tree.get());
            if (tree)
            {
                float dir[2];
                GetDirection(node, tree.get(), dir);
                // A zero direction finds nothing better anywhere along it.
                if (dir[0] != 0.0f || dir[1] != 0.0f)
                    energy = LineSearch(node, *tree, energy, dir);
            }
            energySum += energy;
        }
        if (!std::isfinite(energySum))
            break;
    }
    if (tree)
        Normalize(*tree);
}

float BarnesHutMinimizer::LineSearch(GraphNode* node, OctTree& tree, float energy, float* dir) const
{
    float* position = node->GetPosition();
    const float old[2] = {position[0], position[1]};
    dir[0] /= 32.0f;
    dir[1] /= 32.0f;
    float best = energy;
    int bestMultiple = 0;
    const auto tryMultiple = [&](int multiple) {
        position[0] = old[0] + dir[0] * static_cast<float>(multiple);
        position[1] = old[1] + dir[1] * static_cast<float>(multiple);
        const float candidate = GetEnergy(node, &tree);
        if (candidate < best)
        {
            best = candidate;
            bestMultiple = multiple;
        }
    };
    for (int multiple = 32; multiple >= 1 && (bestMultiple == 0 || bestMultiple / 2 == multiple); multiple /= 2)
        tryMultiple(multiple);
    for (int multiple = 64; multiple <= 128 && bestMultiple == multiple / 2; multiple *= 2)
        tryMultiple(multiple);
    position[0] = old[0] + dir[0] * static_cast<float>(bestMultiple);
    position[1] = old[1] + dir[1] * static_cast<float>(bestMultiple);
    if (bestMultiple > 0)
        tree.MoveNode(old, position, node->GetRepulsionWeight());
    return best;
}

float BarnesHutMinimizer::ComputeRepulsionFactor() const
{
    float repulsion = 0.0f;
    float attraction = 0.0f;
    for (auto entry = m_graph->Begin(); entry != m_graph->End(); ++entry)
    {
        const GraphNode& node = *entry->second;
        repulsion += node.GetRepulsionWeight();
        for (auto edge = node.EdgeBegin(); edge != node.EdgeEnd(); ++edge)
            attraction += edge->second;
    }
    if (repulsion > 0.0f && attraction > 0.0f)
        return attraction / repulsion / repulsion *
               std::pow(repulsion, (m_attractionExponent - m_repulsionExponent) * 0.5f);
    return 1.0f;
}

float BarnesHutMinimizer::GetEnergy(const GraphNode* node, const OctTree* tree) const
{
    return GetRepulsionEnergy(node, tree) + GetAttractionEnergy(node) + GetGravitationEnergy(node);
}

float BarnesHutMinimizer::GetRepulsionEnergy(const GraphNode* node, const OctTree* cell) const
{
    if (!cell || cell->GetNode() == node)
        return 0.0f;
    const float d = GetDist(node->GetPosition(), cell->GetPosition());
    if (!cell->GetNode() && d < 2.0f * cell->GetWidth())
    {
        float energy = 0.0f;
        for (int i = 0; i < OctTree::NUM_CHILDREN; ++i)
            energy += GetRepulsionEnergy(node, cell->GetChild(i));
        return energy;
    }
    const float e = -(node->GetRepulsionWeight() * m_repulsionFactor * cell->GetWeight());
    if (m_repulsionExponent != 0.0f)
        return e * std::pow(d, m_repulsionExponent) / m_repulsionExponent;
    return static_cast<float>(e * std::log(static_cast<double>(d)));
}

float BarnesHutMinimizer::GetAttractionEnergy(const GraphNode* node) const
{
    float energy = 0.0f;
    for (auto edge = node->EdgeBegin(); edge != node->EdgeEnd(); ++edge)
    {
        if (edge->first == node)
            continue;
        const float d = GetDist(edge->first->GetPosition(), node->GetPosition());
        energy += std::pow(d, m_attractionExponent) * edge->second / m_attractionExponent;
    }
    return energy;
}

float BarnesHutMinimizer::GetGravitationEnergy(const GraphNode* node) const
{
    const float d = GetDist(node->GetPosition(), m_baryCenter);
    return std::pow(d, m_attractionExponent) * node->GetRepulsionWeight() * m_gravitationFactor * m_repulsionFactor /
           m_attractionExponent;
}

float BarnesHutMinimizer::AddRepulsionDir(const GraphNode* node, const OctTree* cell, float* dir) const
{
    if (!cell || cell->GetNode() == node || node->GetRepulsionWeight() == 0.0f)
        return 0.0f;
    const float* position = node->GetPosition();
    const float d = GetDist(position, cell->GetPosition());
    if (!cell->GetNode() && d < 2.0f * cell->GetWidth())
    {
        float sum = 0.0f;
        for (int i = 0; i < OctTree::NUM_CHILDREN; ++i)
            sum += AddRepulsionDir(node, cell->GetChild(i), dir);
        return sum;
    }
    if (d == 0.0f)
        return 0.0f;
    const float k =
        std::pow(d, m_repulsionExponent - 2.0f) * node->GetRepulsionWeight() * m_repulsionFactor * cell->GetWeight();
    for (int i = 0; i < 2; ++i)
        dir[i] -= (cell->GetPosition()[i] - position[i]) * k;
    return k * TruncatedMagnitude(m_repulsionExponent - 1.0f);
}

float BarnesHutMinimizer::AddAttractionDir(const GraphNode* node, float* dir) const
{
    const float* position = node->GetPosition();
    const float share = TruncatedMagnitude(m_attractionExponent - 1.0f);
    float sum = 0.0f;
    for (auto edge = node->EdgeBegin(); edge != node->EdgeEnd(); ++edge)
    {
        if (edge->first == node)
            continue;
        const float* other = edge->first->GetPosition();
        const float d = GetDist(other, position);
        if (d == 0.0f)
            continue;
        const float k = std::pow(d, m_attractionExponent - 2.0f) * edge->second;
        for (int i = 0; i < 2; ++i)
            dir[i] += (other[i] - position[i]) * k;
        sum += share * k;
    }
    return sum;
}

float BarnesHutMinimizer::AddGravitationDir(const GraphNode* node, float* dir) const
{
    const float* position = node->GetPosition();
    const float d = GetDist(position, m_baryCenter);
    // At the centre itself there is no pull; d^(a - 2) would be infinite there.
    if (d == 0.0f)
        return 0.0f;
    const float k =
        std::pow(d, m_attractionExponent - 2.0f) * node->GetRepulsionWeight() * m_gravitationFactor * m_repulsionFactor;
    for (int i = 0; i < 2; ++i)
        dir[i] += (m_baryCenter[i] - position[i]) * k;
    return k * TruncatedMagnitude(m_attractionExponent - 1.0f);
}

void BarnesHutMinimizer::GetDirection(const GraphNode* node, const OctTree* tree, float* dir) const
{
    dir[0] = dir[1] = 0.0f;
    float sum = AddRepulsionDir(node, tree, dir);
    sum += AddAttractionDir(node, dir);
    sum += AddGravitationDir(node, dir);
    if (sum == 0.0f)
    {
        dir[0] = dir[1] = 0.0f;
        return;
    }
    dir[0] /= sum;
    dir[1] /= sum;
    const float limit = (tree ? tree->GetWidth() : 0.0f) * 0.125f;
    const float length = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1]);
    if (length > limit)
    {
        dir[0] *= limit / length;
        dir[1] *= limit / length;
    }
    // A node with no finite direction stays where it is: one NaN position would spread to every node
    // through the tree and the centre.
    if (!std::isfinite(dir[0]) || !std::isfinite(dir[1]))
        dir[0] = dir[1] = 0.0f;
}

void BarnesHutMinimizer::ComputeBaryCenter()
{
    m_baryCenter[0] = m_baryCenter[1] = 0.0f;
    float weights = 0.0f;
    for (auto entry = m_graph->Begin(); entry != m_graph->End(); ++entry)
    {
        const GraphNode& node = *entry->second;
        const float w = node.GetRepulsionWeight();
        weights += w;
        m_baryCenter[0] += w * node.GetPosition()[0];
        m_baryCenter[1] += w * node.GetPosition()[1];
    }
    if (weights > 0.0f)
    {
        m_baryCenter[0] /= weights;
        m_baryCenter[1] /= weights;
    }
}

std::unique_ptr<OctTree> BarnesHutMinimizer::BuildOctTree() const
{
    // The box starts at the smallest positive float, not the most negative one, so a box of nodes all on the
    // negative side of an axis reaches up to about 0 there.
    float minPos[2] = {FLT_MAX, FLT_MAX};
    float maxPos[2] = {FLT_MIN, FLT_MIN};
    for (auto entry = m_graph->Begin(); entry != m_graph->End(); ++entry)
    {
        const GraphNode& node = *entry->second;
        if (node.GetRepulsionWeight() == 0.0f)
            continue;
        for (int d = 0; d < 2; ++d)
        {
            if (node.GetPosition()[d] < minPos[d])
                minPos[d] = node.GetPosition()[d];
            if (node.GetPosition()[d] > maxPos[d])
                maxPos[d] = node.GetPosition()[d];
        }
    }
    std::unique_ptr<OctTree> root;
    for (auto entry = m_graph->Begin(); entry != m_graph->End(); ++entry)
    {
        GraphNode* node = entry->second.get();
        const float weight = node->GetRepulsionWeight();
        if (weight == 0.0f)
            continue;
        if (root)
            root->AddNode(node, node->GetPosition(), weight, 0);
        else
            root = std::make_unique<OctTree>(node, node->GetPosition(), weight, minPos, maxPos);
    }
    return root;
}

void BarnesHutMinimizer::Normalize(const OctTree& tree)
{
    const float* minPos = tree.GetMinPos();
    const float* maxPos = tree.GetMaxPos();
    const float w = maxPos[0] - minPos[0];
    const float h = maxPos[1] - minPos[1];
    float side = 0.0f;
    float shift[2] = {0.0f, 0.0f};
    if (w <= h && h != 0.0f)
    {
        side = h;
        shift[0] = (h - w) * 0.5f;
    }
    else if (w > h)
    {
        side = w;
        shift[1] = (w - h) * 0.5f;
    }
    else
        return;
    // Dividing by the side rather than multiplying by its reciprocal maps the box's far edge to exactly 1.
    for (auto entry = m_graph->Begin(); entry != m_graph->End(); ++entry)
    {
        GraphNode& node = *entry->second;
        float* position = node.GetPosition();
        for (int d = 0; d < 2; ++d)
            position[d] = (position[d] - minPos[d] + shift[d]) / side;
        node.SetSize(static_cast<float>(std::sqrt(static_cast<double>(node.GetRepulsionWeight())) /
                                        static_cast<double>(side) * 0.5));
    }
}

} // namespace GeneRelation
