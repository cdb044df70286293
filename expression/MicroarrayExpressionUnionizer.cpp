#include "expression/MicroarrayExpressionUnionizer.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/BrainOntology.h"

#include <cmath>
#include <limits>

namespace
{

bool Inside(const AnnotationLabel& structure, const AnnotationLabel* sampleLabel)
{
    return sampleLabel && structure.subtreeSelector.Intersects(sampleLabel->selector);
}

} // namespace

MicroarrayExpressionUnionizer::MicroarrayExpressionUnionizer(const BrainOntology& ontology, const PointSet& samples,
                                                             const std::vector<const AnnotationLabel*>& targets,
                                                             PointSet& outSet)
{
    std::vector<const AnnotationLabel*> sampleLabels;
    sampleLabels.reserve(samples.points.size());
    for (const PointSet::Point3d& point : samples.points)
        sampleLabels.push_back(ontology.GetAnnotationLabelByDatabaseId(point.structureId));

    for (const AnnotationLabel* target : targets)
    {
        if (!target)
            continue;
        for (std::size_t k = 0; k < samples.points.size(); ++k)
        {
            if (!Inside(*target, sampleLabels[k]))
                continue;
            m_structures.push_back(target);
            PointSet::Point3d point = samples.points[k];
            point.label = target;
            point.structureId = static_cast<unsigned int>(target->databaseId);
            point.index = static_cast<int>(outSet.points.size());
            outSet.points.push_back(point);
            break;
        }
    }
    m_sampleIndexes.resize(m_structures.size());
    for (std::size_t k = 0; k < samples.points.size(); ++k)
        for (std::size_t s = 0; s < m_structures.size(); ++s)
            if (Inside(*m_structures[s], sampleLabels[k]))
                m_sampleIndexes[s].push_back(static_cast<int>(k));
}

void MicroarrayExpressionUnionizer::Unionize(const float* values, unsigned int count, float* out)
{
    const float ln2 = std::log(2.0f);
    for (std::size_t s = 0; s < m_structures.size(); ++s)
    {
        double sum = 0.0;
        unsigned int used = 0;
        for (const int i : m_sampleIndexes[s])
        {
            if (static_cast<unsigned int>(i) >= count || values[i] == std::numeric_limits<float>::infinity())
                continue;
            sum += std::pow(2.0, double(values[i]));
            ++used;
        }
        out[s] =
            used == 0 ? std::numeric_limits<float>::infinity() : static_cast<float>(std::log(sum / used) / double(ln2));
    }
}
