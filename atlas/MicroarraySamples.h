#pragma once

#include <memory>
#include <vector>

class AtlasSpace;
class PointSet;

// What a microarray data set (one probe measured at tissue samples) offers the surfaces that it colours.
// The meshes of the atlas model see data sets only through this, as the data sets live a layer above.
class MicroarraySamples
{
public:
    virtual ~MicroarraySamples() = default;

    // The samples of the space, with their structure ids; null for a space not added or without samples.
    // A null space means the data set's first space.
    virtual std::shared_ptr<PointSet> GetMicroarrayPointAnnotation(const AtlasSpace* space) const = 0;
    // n + 2 values for n samples: the mean, the standard deviation, then sample k's level at k + 2. Null
    // for a space not added.
    virtual const std::vector<float>* GetMicroarrayExpressionLevels(const AtlasSpace* space) const = 0;
    // The 1-based grid id (expressor id) of a sample and back; 0 when the space or the id is unknown.
    virtual unsigned int GetGridIdFromSampleId(unsigned int sampleId, const AtlasSpace* space) const = 0;
    virtual unsigned int GetSampleIdFromGridId(unsigned int gridId, const AtlasSpace* space) const = 0;
    // Of the sample levels; z-score = (level - mean) / deviation.
    virtual float GetLevelMean() const = 0;
    virtual float GetLevelStandardDeviation() const = 0;
};
