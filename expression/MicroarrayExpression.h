#pragma once

#include "atlas/MicroarraySamples.h"
#include "expression/GeneExpression.h"
#include "expression/Range.h"

#include <boost/bimap.hpp>

#include <map>
#include <memory>
#include <string>
#include <vector>

class AnnotationLabel;
class BrainExpressionModel;
class BrainOntology;
class PointSet;
class ProbeDatabase;

// One microarray probe measured at the tissue samples of one or more donors, each donor an atlas space:
// per space the sample levels, the samples as points with their structures, and the map between sample
// ids and the 1-based grid ids of the expressors made for them. Filled from downloaded values or from the
// installed "samples.raw" of each donor with the atlas's probe index.
//
// The level vector of a space holds n + 2 floats for n samples: the mean, the standard deviation, then
// sample k's level at k + 2. +infinity marks a level that was not measured.
class MicroarrayExpression : public GeneExpression, public MicroarraySamples
{
public:
    using SampleGridMap = boost::bimap<unsigned int, unsigned int>;

    // The expression-level window that microarray data sets start with.
    static constexpr Range DEFAULT_MICROARRAY_EXPRESSION_LEVEL_RANGE{0.0f, 16.0f};

    // The probe name "n/a" when empty; level and display range the microarray default.
    MicroarrayExpression(const std::string& geneName, const std::string& geneSymbol, const std::string& probeName,
                         unsigned int probeId, unsigned int geneId, unsigned int entrezId);
    ~MicroarrayExpression() override;

    // Also gives the space an empty level vector and sample map, and no samples.
    bool AddAtlasSpace(AtlasSpace* space) override;
    int GetExperimentId() const override { return static_cast<int>(m_probeId); }
    // The atlas's probe page for this probe; empty without a space.
    std::string GetInfoLinkUrl() const override;
    // GeneExpression's form: the expressor's image page needs the model's settings, so it is empty here.
    std::string GetSelectedExpressorImageUrl(const Expressor* expressor, const AtlasSpace* space) const override;
    // Gene, structure, log2 level, z-score and MNI coordinates of a sample.
    void PrintSelectionInfo(std::stringstream& out, const Expressor* expressor, const AtlasSpace* space) override;
    // The sample's position on the inflated surface when it has one there, else its structure's centre
    // when that is known, else its own position.
    void GetProbeLocationForExpressor(const Expressor* expressor, const AtlasSpace* space, float* out) override;

    // Places downloaded values (one per sample of `samples`, in its order) in the space. A null sample set
    // places nothing.
    virtual void LoadAtlasSpace(const float* values, std::shared_ptr<PointSet> samples, AtlasSpace* space);
    // Places the installed values of a probe of the atlas's probe index. Throws std::invalid_argument
    // "Probe not found.", std::runtime_error with the reason for an index or sample file that cannot be
    // read, or "Microarray values not available" for a space without samples.
    virtual void LoadAtlasSpace(unsigned int probeId, AtlasSpace* space);
    std::shared_ptr<PointSet> GetMicroarrayPointAnnotation(const AtlasSpace* space) const override;
    const std::vector<float>* GetMicroarrayExpressionLevels(const AtlasSpace* space) const override;
    // One expressor per sample with a position and a level, with identifier = the sample's place + 1.
    virtual void CreateMicroarrayExpressorList(AtlasSpace* space, std::shared_ptr<const PointSet> samples);
    // Reads the probe's row of the space's "samples.raw" into its level vector. Throws std::runtime_error
    // "Sample file could not be opened: " or "Sample file could not be read: " with the file's path.
    virtual void ReadMicroarrayFile(AtlasSpace* space, unsigned int probeIndex);

    unsigned int GetSampleIdFromGridId(unsigned int gridId, const AtlasSpace* space) const override;
    unsigned int GetGridIdFromSampleId(unsigned int sampleId, const AtlasSpace* space) const override;
    float GetLevelMean() const override { return GetMean(); }
    float GetLevelStandardDeviation() const override { return GetStandardDeviation(); }

    // The page of the selected sample in the atlas's sample viewer, with the model's colour mode and window;
    // empty without a selected expressor and space.
    std::string GetSelectedExpressorImageUrl(const BrainExpressionModel& model) const;
    const std::string& GetProbeName() const { return m_probeName; }

    // The installed probe index, made on first use from the atlas folder's "probe_info.csv" and kept for
    // the life of the process; a failed load is tried again on the next request.
    static std::shared_ptr<ProbeDatabase> GetProbeDatabase(const std::string& atlasFolder);
    // The structures that aggregated samples are summed up in: every label from index 1 on with a mesh file
    // in the atlas; filled once per ontology.
    static const std::vector<const AnnotationLabel*>& GetTargetUnionizeStructures(const Atlas* atlas);
    // Forgets the probe index and the target structures (tests).
    static void ResetProcessWideState();

private:
    // The added space with this address, or null: the lookups take const spaces, the space's lazy members
    // need the space itself.
    AtlasSpace* OwnSpace(const AtlasSpace* space) const;
    // Replaces samples and values by the cortical samples and one summary per target structure.
    void Unionize(AtlasSpace* space, std::shared_ptr<PointSet>& samples, std::vector<float>& values) const;
    void SetLevelStatistics(std::vector<float>& levels, const std::vector<float>& values);

    unsigned int m_probeId = 0;
    std::string m_probeName;
    std::map<const AtlasSpace*, std::vector<float>> m_sampleLevels;
    std::map<const AtlasSpace*, SampleGridMap> m_sampleGridMaps;
    std::map<const AtlasSpace*, std::shared_ptr<PointSet>> m_samplePoints;
};
