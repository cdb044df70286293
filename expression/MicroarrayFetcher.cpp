#include "expression/MicroarrayFetcher.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/JSONParser.h"
#include "core/NetFile.h"
#include "core/StringUtils.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneFetchCompletionListener.h"
#include "expression/MicroarrayExpression.h"

#include <boost/format.hpp>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>

const char* const MicroarrayFetcher::UNEXPECTED_FORMAT = "The retrieved microarray data were in an unexpected format.";

namespace
{

const char* const INVALID_MRI = "Invalid MRI coordinates received.";
constexpr std::size_t MAX_MRI_COORDINATES = 4;
constexpr std::size_t INITIAL_SAMPLES = 1000;

// The C library's conversions, on a terminated copy; an integer out of range is clamped.
int ToInt(const std::string& text)
{
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

float ToFloat(const std::string& text)
{
    return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

} // namespace

MicroarrayFetcher::MicroarrayFetcher(const std::string& url, Atlas* atlas, unsigned int donor, unsigned int well,
                                     unsigned int structure, GeneFetchCompletionListener* listener)
    : GeneFetcher(listener)
    , m_atlas(atlas)
    , m_completionListener(listener)
    , m_requestedDonor(donor)
    , m_requestedStructure(structure)
    , m_requestedWell(well)
    , m_parser(std::make_unique<JSONParser>(this))
{
    m_sampleDonors.reserve(INITIAL_SAMPLES);
    for (unsigned int i = 0; atlas && i < atlas->GetNumSpaces(); ++i)
        m_donors[static_cast<std::uint32_t>(atlas->GetSpace(i)->GetSpaceId())].values.reserve(INITIAL_SAMPLES);
    m_transfer = NetFile::Create(url, this, false);
}

MicroarrayFetcher::~MicroarrayFetcher()
{
    AbortTransfer();
}

void MicroarrayFetcher::AbortTransfer()
{
    NetFile* transfer = m_transfer;
    m_transfer = nullptr;
    if (transfer)
        transfer->Abort();
}

void MicroarrayFetcher::Load(const std::string&, const std::string&, GeneFetchCompletionListener*, void*, const float*)
{
    throw std::runtime_error("Download method not allowed for microarray data.");
}

void MicroarrayFetcher::ReportError(const std::string& message)
{
    if (m_completionListener)
        m_completionListener->GeneLoadError(this, message);
}

// Transfer

void MicroarrayFetcher::ResponseReceived(const std::string& mimeType, unsigned long expectedLength)
{
    GeneFetcher::ResponseReceived(mimeType, expectedLength);
}

void MicroarrayFetcher::DataReceived(const void* data, unsigned long size)
{
    if (!m_transfer)
        return;
    std::string failure;
    try
    {
        // A chunk is at most what one network read gives, far below the parser's int.
        if (!m_parser->Parse(static_cast<const char*>(data), static_cast<int>(size), false))
            failure = m_stopMessage.empty() ? UNEXPECTED_FORMAT : m_stopMessage;
    }
    catch (const std::exception&)
    {
        failure = UNEXPECTED_FORMAT;
    }
    if (!failure.empty())
    {
        // The rest of the document cannot mend it: stop downloading and report once.
        AbortTransfer();
        ReportError(failure);
        return;
    }
    // Progress last: the listener may delete this fetcher.
    GeneFetcher::DataReceived(data, size);
}

void MicroarrayFetcher::DownloadComplete(const void*, unsigned long)
{
    m_transfer = nullptr;
    bool complete = false;
    try
    {
        complete = m_parser->Parse(nullptr, 0, true);
    }
    catch (const std::exception&)
    {
        complete = false;
    }
    if (!complete)
    {
        ReportError(m_stopMessage.empty() ? UNEXPECTED_FORMAT : m_stopMessage);
        return;
    }
    if (m_completionListener)
        m_completionListener->GeneLoaded(this, nullptr, 0);
}

void MicroarrayFetcher::DownloadFailed(const std::string& message)
{
    m_transfer = nullptr;
    // The unfinished document's own error is of no interest.
    m_parser = std::make_unique<JSONParser>(this);
    ClearKeys();
    ReportError((boost::format("Could not retrieve microarray data: %1%") % message).str());
}

// The document

bool MicroarrayFetcher::Stop(const char* message)
{
    if (m_stopMessage.empty())
        m_stopMessage = message;
    return false;
}

bool MicroarrayFetcher::StartArray()
{
    JSONElementHandler::StartArray();
    const std::string& key = GetEnclosingKey();
    if (key == "samples")
        m_inSamples = true;
    else if (key == "mri" && m_inSample)
    {
        m_mriCoordinates.clear();
        m_inMri = true;
    }
    else if (key == "probes")
        m_inProbes = true;
    else if (key == "expression_level" && m_inProbes)
    {
        m_inExpressionLevel = true;
        m_expressionIndex = 0;
        m_probeValues.clear();
    }
    return true;
}

bool MicroarrayFetcher::EndArray()
{
    const std::string key = GetEnclosingKey();
    JSONElementHandler::EndArray();
    if (key == "samples")
        m_inSamples = false;
    else if (key == "mri")
        m_inMri = false;
    else if (key == "probes")
        m_inProbes = false;
    else if (key == "expression_level")
        m_inExpressionLevel = false;
    return true;
}

bool MicroarrayFetcher::StartMap()
{
    JSONElementHandler::StartMap();
    if (!m_inSamples)
        return true;
    const std::string& key = GetEnclosingKey();
    if (key == "sample")
        m_inSample = true;
    else if (key == "structure")
        m_inStructure = true;
    else if (key == "donor")
        m_inDonor = true;
    return true;
}

bool MicroarrayFetcher::EndMap()
{
    const std::string key = GetEnclosingKey();
    JSONElementHandler::EndMap();
    if (key == "sample")
        m_inSample = false;
    else if (key == "structure")
        m_inStructure = false;
    else if (key == "donor")
        m_inDonor = false;
    else if (key == "samples" && m_inSamples)
        return EndSample();
    else if (key == "probes" && m_inProbes)
        return EndProbe();
    return true;
}

bool MicroarrayFetcher::Value(const char* text, unsigned int length)
{
    const std::string value(text ? text : "", text ? length : 0);
    const std::string& key = GetCurrentKey();
    if (m_inSamples)
        return SampleValue(key, value);
    if (m_inExpressionLevel && key == "expression_level" && GetEnclosingKey() == "expression_level")
        return ExpressionValue(value);
    if (m_inProbes)
        return ProbeValue(key, value);
    return true;
}

bool MicroarrayFetcher::SampleValue(const std::string& key, const std::string& text)
{
    // Only the values standing directly in their map or array count, not those of something nested there.
    const std::string& container = GetEnclosingKey();
    if (m_inMri && key == "mri" && container == "mri")
    {
        if (m_mriCoordinates.size() >= MAX_MRI_COORDINATES)
            return Stop(INVALID_MRI);
        m_mriCoordinates.push_back(ToInt(text));
    }
    else if (m_inSample && key == "well" && container == "sample")
        m_currentSample.id = StringUtils::ParseUint(text);
    else if (m_inStructure && key == "id" && container == "structure")
        m_currentSample.structureId = StringUtils::ParseUint(text);
    else if (m_inDonor && key == "id" && container == "donor")
        m_sampleDonor = StringUtils::ParseUint(text);
    return true;
}

bool MicroarrayFetcher::EndSample()
{
    const std::uint32_t donor = m_sampleDonor;
    PointSet::Point3d sample = m_currentSample;
    m_currentSample = PointSet::Point3d();
    m_sampleDonor = 0;
    if (donor == 0)
        return true;
    // Values already given to the donors follow the sample order they were read in.
    if (!m_probes.empty())
        return Stop(UNEXPECTED_FORMAT);
    // Fewer than three coordinates leave the sample without a position (and so without an expressor).
    if (m_mriCoordinates.size() >= 3)
    {
        sample.x = static_cast<float>(m_mriCoordinates[0]);
        sample.y = static_cast<float>(m_mriCoordinates[1]);
        sample.z = static_cast<float>(m_mriCoordinates[2]);
    }
    m_mriCoordinates.clear();
    DonorExpression& expression = m_donors[donor];
    sample.index = static_cast<int>(expression.samples->points.size());
    expression.samples->points.push_back(sample);
    m_sampleDonors.push_back(donor);
    return true;
}

bool MicroarrayFetcher::ProbeValue(const std::string& key, const std::string& text)
{
    if (GetEnclosingKey() != "probes")
        return true;
    if (key == "id")
        m_currentProbe.id = StringUtils::ParseUint(text);
    else if (key == "gene-id")
        m_currentProbe.geneId = StringUtils::ParseUint(text);
    else if (key == "entrez-id")
        m_currentProbe.entrezId = StringUtils::ParseUint(text);
    else if (key == "name")
        m_currentProbe.name = text;
    else if (key == "gene-symbol")
        m_currentProbe.geneSymbol = text;
    else if (key == "gene-name")
        m_currentProbe.geneName = text;
    return true;
}

bool MicroarrayFetcher::ExpressionValue(const std::string& text)
{
    if (m_expressionIndex >= m_sampleDonors.size())
        return Stop(UNEXPECTED_FORMAT);
    ++m_expressionIndex;
    m_probeValues.push_back(ToFloat(text));
    return true;
}

bool MicroarrayFetcher::EndProbe()
{
    Probe probe = m_currentProbe;
    m_currentProbe = Probe();
    std::vector<float> values;
    values.swap(m_probeValues);
    // A probe that is not kept takes its values with it.
    if (probe.id == 0)
        return true;
    // One value per sample, or every later probe would read another's.
    if (values.size() != m_sampleDonors.size())
        return Stop(UNEXPECTED_FORMAT);
    for (std::size_t i = 0; i < values.size(); ++i)
        m_donors[m_sampleDonors[i]].values.push_back(values[i]);
    m_probes.push_back(std::move(probe));
    return true;
}

// Placing the probes

MicroarrayExpression* MicroarrayFetcher::FindProbeInModel(BrainExpressionModel* model, unsigned int probeId)
{
    for (int i = 0; model && i < model->GetNumGenes(); ++i)
    {
        auto* microarray = dynamic_cast<MicroarrayExpression*>(model->GetGene(i).get());
        if (microarray && static_cast<unsigned int>(microarray->GetExperimentId()) == probeId)
            return microarray;
    }
    return nullptr;
}

AtlasSpace* MicroarrayFetcher::SelectedSpace(AtlasSpace* space, AtlasSpace* selected) const
{
    const bool requested = m_requestedWell != 0 || m_requestedStructure != 0;
    return requested && m_requestedDonor == static_cast<std::uint32_t>(space->GetSpaceId()) ? space : selected;
}

void MicroarrayFetcher::LoadExpression(BrainExpressionModel* model)
{
    Atlas* atlas = model->GetAtlas();
    AtlasSpace* selectedSpace = nullptr;
    MicroarrayExpression* selectedGene = nullptr;
    Expressor* selectedExpressor = nullptr;
    for (std::size_t k = 0; k < m_probes.size(); ++k)
    {
        const Probe& probe = m_probes[k];
        MicroarrayExpression* current = FindProbeInModel(model, probe.id);
        if (current)
        {
            for (unsigned int i = 0; i < atlas->GetNumSpaces(); ++i)
                selectedSpace = SelectedSpace(atlas->GetSpace(i), selectedSpace);
        }
        else
        {
            auto expression = std::make_shared<MicroarrayExpression>(probe.geneName, probe.geneSymbol, probe.name,
                                                                     probe.id, probe.geneId, probe.entrezId);
            for (unsigned int i = 0; i < atlas->GetNumSpaces(); ++i)
            {
                AtlasSpace* space = atlas->GetSpace(i);
                const auto donor = m_donors.find(static_cast<std::uint32_t>(space->GetSpaceId()));
                if (donor != m_donors.end())
                {
                    const std::size_t count = donor->second.samples->points.size();
                    // The parser gave every kept probe one value per sample.
                    if (donor->second.values.size() >= count * (k + 1))
                        expression->LoadAtlasSpace(donor->second.values.data() + count * k, donor->second.samples,
                                                   space);
                }
                selectedSpace = SelectedSpace(space, selectedSpace);
            }
            // A probe measured in none of the atlas's donors has nowhere to go.
            if (expression->GetNumAtlasSpaces() == 0)
                continue;
            model->AddGeneExpression(expression, true);
            current = expression.get();
        }
        if (!selectedSpace)
            continue;
        unsigned int gridId = 0;
        if (m_requestedWell != 0)
        {
            gridId = current->GetGridIdFromSampleId(m_requestedWell, selectedSpace);
            if (gridId == 0)
                FindSampleInList(m_requestedWell, selectedSpace, current, gridId);
        }
        if (gridId == 0 && m_requestedStructure != 0)
            FindSampleInStructure(m_requestedStructure, selectedSpace, current, gridId);
        if (gridId == 0)
            continue;
        if (Expressor* expressor = current->GetExpressorAtGrid(gridId, selectedSpace))
        {
            selectedGene = current;
            selectedExpressor = expressor;
        }
    }
    if (selectedGene && selectedExpressor)
        model->SelectExpressor(selectedGene, selectedSpace, selectedExpressor, true);
}

bool MicroarrayFetcher::FindSampleInList(unsigned int well, AtlasSpace* space, MicroarrayExpression* expression,
                                         unsigned int& gridId)
{
    const auto donor = m_donors.find(static_cast<std::uint32_t>(space->GetSpaceId()));
    const std::shared_ptr<PointSet> points = expression->GetMicroarrayPointAnnotation(space);
    if (donor == m_donors.end() || !points)
        return false;
    const std::shared_ptr<BrainOntology> ontology = space->GetAtlas()->GetOntology();
    for (const PointSet::Point3d& sample : donor->second.samples->points)
    {
        if (sample.id != well)
            continue;
        const AnnotationLabel* wellLabel = ontology->GetAnnotationLabelByDatabaseId(sample.structureId);
        for (const PointSet::Point3d& point : points->points)
        {
            // Label 0 answers for structures that the ontology lacks: such a point holds nothing.
            const AnnotationLabel* label = ontology->GetAnnotationLabelByDatabaseId(point.structureId);
            if (label->index == 0 || !label->subtreeSelector.Intersects(wellLabel->selector))
                continue;
            const unsigned int id = expression->GetGridIdFromSampleId(point.id, space);
            if (id != 0)
            {
                gridId = id;
                return true;
            }
        }
    }
    return false;
}

bool MicroarrayFetcher::FindSampleInStructure(unsigned int structure, AtlasSpace* space,
                                              MicroarrayExpression* expression, unsigned int& gridId)
{
    const std::shared_ptr<PointSet> points = expression->GetMicroarrayPointAnnotation(space);
    if (!points)
        return false;
    const std::shared_ptr<BrainOntology> ontology = space->GetAtlas()->GetOntology();
    const AnnotationLabel* requested = ontology->GetAnnotationLabelByDatabaseId(structure);
    if (requested->index == 0)
        return false;
    for (const PointSet::Point3d& point : points->points)
    {
        const AnnotationLabel* label = ontology->GetAnnotationLabelByDatabaseId(point.structureId);
        if (label->index == 0 || !label->selector.Intersects(requested->subtreeSelector))
            continue;
        gridId = expression->GetGridIdFromSampleId(point.id, space);
        if (gridId != 0)
            return true;
    }
    return false;
}
