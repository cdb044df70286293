#pragma once

#include "atlas/PointSet.h"
#include "core/JSONElementHandler.h"
#include "expression/GeneFetcher.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class Atlas;
class AtlasSpace;
class BrainExpressionModel;
class JSONParser;
class MicroarrayExpression;
class NetFile;

// Downloads the microarray document of some probes, parsing it as it arrives: the donors' samples first
// ("samples": well, "mri" position, structure and donor of each), then the probes, each with one
// "expression_level" value per sample. LoadExpression then makes each probe a MicroarrayExpression placed
// in every donor's atlas space (donor id = space id), adds it to the model and selects the requested
// sample. Main thread only.
//
// Exactly one report reaches the listener: GeneLoaded(this, null, 0) when the document is complete, or
// GeneLoadError with the reason. The listener may delete the fetcher inside either, and inside
// GeneDataReceived; it is never called from inside the parser.
class MicroarrayFetcher : public GeneFetcher, public JSONElementHandler
{
public:
    struct DonorExpression
    {
        std::shared_ptr<PointSet> samples = std::make_shared<PointSet>();
        // For p probes and n samples, probe k's levels are the n values from k x n, in sample order.
        std::vector<float> values;
    };

    struct Probe
    {
        unsigned int id = 0;
        unsigned int geneId = 0;
        unsigned int entrezId = 0;
        std::string name;
        std::string geneSymbol;
        std::string geneName;
    };

    static const char* const UNEXPECTED_FORMAT;

    // Starts downloading at once; 0 stands for no donor, well or structure (a database id). Throws
    // std::runtime_error "Could not open connection." when the transfer cannot start.
    MicroarrayFetcher(const std::string& url, Atlas* atlas, unsigned int donor, unsigned int well,
                      unsigned int structure, GeneFetchCompletionListener* listener);
    // Aborts a running transfer without a report.
    ~MicroarrayFetcher() override;

    // Always throws std::runtime_error "Download method not allowed for microarray data.".
    void Load(const std::string& name, const std::string& url, GeneFetchCompletionListener* listener, void* userData,
              const float* rgb) override;
    bool IsActive() const override { return m_transfer != nullptr; }

    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long size) override;
    void DownloadComplete(const void* data, unsigned long size) override;
    void DownloadFailed(const std::string& message) override;

    // Adds every probe not yet in the model and selects the requested sample (by well, else by structure).
    // Throws what the model throws for data sets of another atlas.
    void LoadExpression(BrainExpressionModel* model);
    // The model's microarray data set of that probe, or null.
    static MicroarrayExpression* FindProbeInModel(BrainExpressionModel* model, unsigned int probeId);
    // The first sample of the data set in the space whose structure holds the well's structure (the well as
    // listed among the space's donor's samples).
    virtual bool FindSampleInList(unsigned int well, AtlasSpace* space, MicroarrayExpression* expression,
                                  unsigned int& gridId);
    // The first sample of the data set in the space that lies inside the structure (a database id).
    virtual bool FindSampleInStructure(unsigned int structure, AtlasSpace* space, MicroarrayExpression* expression,
                                       unsigned int& gridId);

    bool StartMap() override;
    bool EndMap() override;
    bool StartArray() override;
    bool EndArray() override;
    bool Value(const char* text, unsigned int length) override;

    const std::unordered_map<std::uint32_t, DonorExpression>& GetDonors() const { return m_donors; }
    const std::vector<Probe>& GetProbes() const { return m_probes; }
    const std::vector<std::uint32_t>& GetSampleDonors() const { return m_sampleDonors; }

private:
    // Stops the parse with this message for the one report.
    bool Stop(const char* message);
    bool SampleValue(const std::string& key, const std::string& text);
    bool ProbeValue(const std::string& key, const std::string& text);
    bool ExpressionValue(const std::string& text);
    bool EndSample();
    bool EndProbe();
    void AbortTransfer();
    // Tells the listener once; the listener may delete this fetcher.
    void ReportError(const std::string& message);
    AtlasSpace* SelectedSpace(AtlasSpace* space, AtlasSpace* selected) const;

    Atlas* m_atlas;
    GeneFetchCompletionListener* m_completionListener;
    NetFile* m_transfer = nullptr;
    std::vector<std::uint32_t> m_sampleDonors;
    std::unordered_map<std::uint32_t, DonorExpression> m_donors;
    std::vector<Probe> m_probes;
    std::uint32_t m_requestedDonor;
    std::uint32_t m_requestedStructure;
    std::uint32_t m_requestedWell;
    std::unique_ptr<JSONParser> m_parser;
    PointSet::Point3d m_currentSample;
    Probe m_currentProbe;
    // The current probe's levels, given to the donors when the probe is kept.
    std::vector<float> m_probeValues;
    std::vector<int> m_mriCoordinates;
    std::uint32_t m_sampleDonor = 0;
    std::uint32_t m_expressionIndex = 0;
    bool m_inSamples = false;
    bool m_inSample = false;
    bool m_inExpressionLevel = false;
    bool m_inMri = false;
    bool m_inStructure = false;
    bool m_inDonor = false;
    bool m_inProbes = false;
    // Why a handler stopped the parse; empty for a document that is simply malformed.
    std::string m_stopMessage;
};
