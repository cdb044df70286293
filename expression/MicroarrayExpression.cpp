#include "expression/MicroarrayExpression.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainMeshSet.h"
#include "atlas/BrainOntology.h"
#include "atlas/GeneColorModes.h"
#include "atlas/PointSet.h"
#include "core/ByteOrder.h"
#include "core/FileUtils.h"
#include "core/GeometryUtils.h"
#include "expression/BrainExpressionModel.h"
#include "expression/MicroarrayExpressionUnionizer.h"
#include "expression/ProbeDatabase.h"

#include <boost/filesystem/path.hpp>
#include <boost/format.hpp>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iomanip>
#include <limits>
#include <stdexcept>

namespace
{

// Process-wide: the installed probe index (one per process, as only one atlas carries probes) and the
// structures that aggregated samples are summed up in, with the ontology they belong to.
std::shared_ptr<ProbeDatabase> sProbeDatabase;
std::vector<const AnnotationLabel*> sTargetUnionizeStructures;
std::shared_ptr<BrainOntology> sTargetOntology;

// Fills what the template asks for; surplus or missing arguments are not errors.
boost::format UrlTemplate(const std::string& text)
{
    boost::format format(text);
    format.exceptions(boost::io::all_error_bits ^ (boost::io::too_many_args_bit | boost::io::too_few_args_bit));
    return format;
}

template <class Map>
auto Find(Map& map, const AtlasSpace* space) -> decltype(&map.begin()->second)
{
    const auto found = map.find(space);
    return found == map.end() ? nullptr : &found->second;
}

bool HasPosition(const PointSet::Point3d& point)
{
    return point.index >= 0 && point.x >= 0.0f && point.y >= 0.0f && point.z >= 0.0f;
}

// The colour modes that the sample viewer does not know go by the name of mode 3.
int ViewerColorMode(int mode)
{
    return mode == 1 || mode == 2 ? 3 : mode;
}

} // namespace

MicroarrayExpression::MicroarrayExpression(const std::string& geneName, const std::string& geneSymbol,
                                           const std::string& probeName, unsigned int probeId, unsigned int geneId,
                                           unsigned int entrezId)
    : GeneExpression("", "")
    , m_probeId(probeId)
    , m_probeName(probeName.empty() ? "n/a" : probeName)
{
    m_name = geneName;
    m_symbol = geneSymbol;
    m_geneId = static_cast<int>(geneId);
    m_entrezId = static_cast<int>(entrezId);
    m_experimentId = static_cast<int>(probeId);
    m_levelRange = DEFAULT_MICROARRAY_EXPRESSION_LEVEL_RANGE;
    m_displayRange = DEFAULT_MICROARRAY_EXPRESSION_LEVEL_RANGE;
}

MicroarrayExpression::~MicroarrayExpression() = default;

bool MicroarrayExpression::AddAtlasSpace(AtlasSpace* space)
{
    if (!GeneExpression::AddAtlasSpace(space))
        return false;
    m_sampleLevels[space].clear();
    m_sampleGridMaps[space].clear();
    m_samplePoints[space].reset();
    return true;
}

AtlasSpace* MicroarrayExpression::OwnSpace(const AtlasSpace* space) const
{
    for (AtlasSpace* own : m_atlasSpaces)
        if (own == space)
            return own;
    return nullptr;
}

std::string MicroarrayExpression::GetInfoLinkUrl() const
{
    if (m_atlasSpaces.empty() || !m_atlasSpaces.front() || !m_atlasSpaces.front()->GetAtlas())
        return std::string();
    return (UrlTemplate(m_atlasSpaces.front()->GetAtlas()->GetShowImageInfoUrl("")) % m_probeId).str();
}

std::string MicroarrayExpression::GetSelectedExpressorImageUrl(const Expressor*, const AtlasSpace*) const
{
    return std::string();
}

std::string MicroarrayExpression::GetSelectedExpressorImageUrl(const BrainExpressionModel& model) const
{
    const Expressor* expressor = model.GetSelectedExpressor();
    const AtlasSpace* space = model.GetSelectedExpressorsSpace();
    if (!expressor || !space || !space->GetAtlas())
        return std::string();
    const Atlas* atlas = space->GetAtlas();
    const Range window = model.GetExpressionWindow();
    const std::string windowText = (boost::format("%1%,%2%") % window.min % window.max).str();
    return (UrlTemplate(atlas->GetShowImageUrl("")) % m_probeId % space->GetSpaceId() %
            GetSampleIdFromGridId(expressor->id, space) %
            atlas->GetGeneColorModes().GetName(ViewerColorMode(model.GetGeneColorMode())) % windowText)
        .str();
}

void MicroarrayExpression::PrintSelectionInfo(std::stringstream& out, const Expressor* expressor,
                                              const AtlasSpace* space)
{
    if (!expressor || !space)
        return;
    out << "Gene: " << m_symbol << "\n";
    if (expressor->label)
        out << "Annotation: " << expressor->label->name << " (" << expressor->label->abbreviation << ") \n";
    else
        out << "Annotation: n/a\n";
    out << "Log2 Level: " << expressor->intensity << "\n";
    const float zScore = m_standardDeviation == 0.0f ? 0.0f : (expressor->intensity - m_mean) / m_standardDeviation;
    out << "Z-score: " << zScore << "\n";
    const float position[4] = {expressor->position[0], expressor->position[1], expressor->position[2], 1.0f};
    float mni[4];
    multiplyMatrixVectorT(space->GetMNITransform(), position, mni);
    const std::ios_base::fmtflags flags = out.flags();
    out << std::fixed << "MNI Coord.: " << mni[0] << ", " << mni[1] << ", " << mni[2];
    out.flags(flags);
}

void MicroarrayExpression::GetProbeLocationForExpressor(const Expressor* expressor, const AtlasSpace* constSpace,
                                                        float* out)
{
    GeneExpression::GetProbeLocationForExpressor(expressor, constSpace, out);
    AtlasSpace* space = OwnSpace(constSpace);
    if (!expressor || !space)
        return;
    // A sample outside every structure has no centre to go to.
    if (expressor->label)
    {
        try
        {
            BrainMeshSet* meshes = space->GetBrainMeshes();
            const float* centroid = meshes ? meshes->GetCentroid(expressor->label) : nullptr;
            if (centroid && centroid[0] > 0.0f && centroid[1] > 0.0f && centroid[2] > 0.0f)
                std::copy(centroid, centroid + 3, out);
        }
        catch (const std::exception&)
        {
            // A structure whose mesh cannot be read keeps the sample's own position.
        }
    }
    const unsigned int sampleId = GetSampleIdFromGridId(expressor->id, space);
    const std::shared_ptr<PointSet> surface = sampleId != 0 ? space->GetSurfaceSampleGrid() : nullptr;
    if (!surface)
        return;
    const auto& points = surface->GetSamplePointMap();
    const auto found = points.find(sampleId);
    if (found == points.end())
        return;
    out[0] = found->second.x;
    out[1] = found->second.y;
    out[2] = found->second.z;
}

std::shared_ptr<PointSet> MicroarrayExpression::GetMicroarrayPointAnnotation(const AtlasSpace* space) const
{
    if (!space)
    {
        if (m_atlasSpaces.empty())
            return nullptr;
        space = m_atlasSpaces.front();
    }
    const std::shared_ptr<PointSet>* points = Find(m_samplePoints, space);
    return points ? *points : nullptr;
}

const std::vector<float>* MicroarrayExpression::GetMicroarrayExpressionLevels(const AtlasSpace* space) const
{
    return Find(m_sampleLevels, space);
}

unsigned int MicroarrayExpression::GetSampleIdFromGridId(unsigned int gridId, const AtlasSpace* space) const
{
    const SampleGridMap* map = Find(m_sampleGridMaps, space);
    if (!map || gridId == 0)
        return 0;
    const auto found = map->right.find(gridId);
    return found == map->right.end() ? 0 : found->second;
}

unsigned int MicroarrayExpression::GetGridIdFromSampleId(unsigned int sampleId, const AtlasSpace* space) const
{
    const SampleGridMap* map = Find(m_sampleGridMaps, space);
    if (!map)
        return 0;
    const auto found = map->left.find(sampleId);
    return found == map->left.end() ? 0 : found->second;
}

// Loading

std::shared_ptr<ProbeDatabase> MicroarrayExpression::GetProbeDatabase(const std::string& atlasFolder)
{
    if (!sProbeDatabase)
        sProbeDatabase =
            std::make_shared<ProbeDatabase>((boost::filesystem::path(atlasFolder) / "probe_info.csv").string());
    return sProbeDatabase;
}

void MicroarrayExpression::ResetProcessWideState()
{
    sProbeDatabase.reset();
    sTargetUnionizeStructures.clear();
    sTargetOntology.reset();
}

const std::vector<const AnnotationLabel*>& MicroarrayExpression::GetTargetUnionizeStructures(const Atlas* atlas)
{
    std::shared_ptr<BrainOntology> ontology = const_cast<Atlas*>(atlas)->GetOntology();
    // Labels of another atlas's ontology would be foreign to this one's samples.
    if (ontology != sTargetOntology)
    {
        sTargetUnionizeStructures.clear();
        sTargetOntology = ontology;
        for (unsigned int i = 1; ontology && i < ontology->GetNumLabels(); ++i)
        {
            const AnnotationLabel* label = ontology->GetAnnotationLabelByIndex(i);
            if (BrainMeshSet::SpatialObjectFileExists(label, atlas))
                sTargetUnionizeStructures.push_back(label);
        }
    }
    return sTargetUnionizeStructures;
}

void MicroarrayExpression::LoadAtlasSpace(unsigned int probeId, AtlasSpace* space)
{
    AddAtlasSpace(space);
    const std::shared_ptr<ProbeDatabase> probes = GetProbeDatabase(space->GetAtlas()->GetPath());
    const ProbeDatabase::ProbeInfo& probe = probes->FindProbeById(probeId);
    m_name = probe.geneName;
    m_symbol = probe.geneSymbol;
    m_probeId = probe.id;
    m_experimentId = static_cast<int>(probe.id);
    m_geneId = static_cast<int>(probe.geneId);
    m_entrezId = static_cast<int>(probe.entrezId);
    m_label = m_symbol;
    ReadMicroarrayFile(space, probe.index);
    if (m_sampleLevels[space].empty())
        throw std::runtime_error("Microarray values not available");
    // The surfaces and the strip find the samples here, as for downloaded values.
    m_samplePoints[space] = space->GetSampleGrid();
    CreateMicroarrayExpressorList(space, m_samplePoints[space]);
}

void MicroarrayExpression::ReadMicroarrayFile(AtlasSpace* space, unsigned int probeIndex)
{
    const std::shared_ptr<PointSet> samples = space->GetSampleGrid();
    if (!samples)
        return;
    std::vector<float>& levels = m_sampleLevels[space];
    const std::uint64_t rowLength = std::uint64_t(samples->points.size()) + 2;
    levels.assign(rowLength, 0.0f);
    const std::string path = (boost::filesystem::path(space->GetPath()) / "samples.raw").string();
    std::fstream file;
    OpenStream(file, path.c_str(), std::ios::in | std::ios::binary);
    if (!file)
        throw std::runtime_error((boost::format("Sample file could not be opened: %1%") % path).str());
    // 64-bit: a large probe index times a long row passes 4 GiB.
    const std::uint64_t offset = std::uint64_t(probeIndex) * rowLength * sizeof(float);
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    const bool fits =
        size >= 0 && offset <= std::uint64_t(size) && rowLength * sizeof(float) <= std::uint64_t(size) - offset;
    if (fits)
    {
        file.seekg(static_cast<std::streamoff>(offset));
        file.read(reinterpret_cast<char*>(levels.data()), static_cast<std::streamsize>(rowLength * sizeof(float)));
    }
    if (!fits || !file)
        throw std::runtime_error((boost::format("Sample file could not be read: %1%") % path).str());
    ReverseLongWordRange(reinterpret_cast<int*>(levels.data()), static_cast<int>(levels.size()));
}

void MicroarrayExpression::LoadAtlasSpace(const float* values, std::shared_ptr<PointSet> samples, AtlasSpace* space)
{
    AddAtlasSpace(space);
    const Atlas* atlas = space->GetAtlas();
    m_label =
        atlas && atlas->GetNumSpaces() > 1 ? (boost::format("%1% - %2%") % m_symbol % m_probeName).str() : m_symbol;
    if (!samples)
        return;
    std::vector<float> sampleValues(values, values + samples->points.size());
    if (atlas && atlas->UnionizeExpressionToStructures())
        Unionize(space, samples, sampleValues);
    m_samplePoints[space] = samples;
    if (samples->points.empty())
        return;
    std::vector<float>& levels = m_sampleLevels[space];
    levels.assign(2, 0.0f);
    levels.insert(levels.end(), sampleValues.begin(), sampleValues.end());
    SetLevelStatistics(levels, sampleValues);
    const float mean = m_mean;
    const float deviation = m_standardDeviation;
    CreateMicroarrayExpressorList(space, samples);
    // The expressors' own statistics would take in the missing values; the downloaded ones stand.
    m_mean = mean;
    m_standardDeviation = deviation;
}

void MicroarrayExpression::SetLevelStatistics(std::vector<float>& levels, const std::vector<float>& values)
{
    double sum = 0.0, squares = 0.0;
    std::size_t count = 0;
    for (const float value : values)
        if (value < std::numeric_limits<float>::infinity())
        {
            sum += value;
            squares += double(value) * value;
            ++count;
        }
    // Without a measured value there is nothing to centre on: z-scores come out as the levels themselves.
    float mean = 0.0f, deviation = 1.0f;
    if (count != 0)
    {
        mean = static_cast<float>(sum / double(count));
        deviation = static_cast<float>(std::sqrt(std::max(0.0, squares / double(count) - double(mean) * mean)));
        if (mean == 0.0f)
            deviation = 1.0f;
    }
    levels[0] = m_mean = mean;
    levels[1] = m_standardDeviation = deviation;
}

void MicroarrayExpression::Unionize(AtlasSpace* space, std::shared_ptr<PointSet>& samples,
                                    std::vector<float>& values) const
{
    Atlas* atlas = space->GetAtlas();
    const std::shared_ptr<BrainOntology> ontology = atlas->GetOntology();
    GeneralAnnotationSelector<unsigned long long> cortex(ontology->GetNumLabels(), false);
    const AnnotationLabel* cx = ontology->GetAnnotationLabel(std::string("Cx"));
    const AnnotationLabel* hif = ontology->GetAnnotationLabel(std::string("HiF"));
    // An ontology without these structures keeps no sample rather than every one.
    if (cx && cx->index != 0)
        cortex.Merge(cx->subtreeSelector);
    if (hif && hif->index != 0)
        cortex.Set(hif->subtreeSelector, false);

    auto cortical = std::make_shared<PointSet>();
    std::vector<float> corticalValues;
    for (std::size_t k = 0; k < samples->points.size(); ++k)
    {
        const AnnotationLabel* label = ontology->GetAnnotationLabelByDatabaseId(samples->points[k].structureId);
        if (!label || !label->selector.Intersects(cortex))
            continue;
        PointSet::Point3d point = samples->points[k];
        point.index = static_cast<int>(cortical->points.size());
        cortical->points.push_back(point);
        corticalValues.push_back(values[k]);
    }
    const std::vector<const AnnotationLabel*>& targets = GetTargetUnionizeStructures(atlas);
    MicroarrayExpressionUnionizer unionizer(*ontology, *samples, targets, *cortical);
    const std::size_t first = corticalValues.size();
    corticalValues.resize(first + unionizer.GetNumStructures());
    unionizer.Unionize(values.data(), static_cast<unsigned int>(values.size()), corticalValues.data() + first);
    samples = cortical;
    values.swap(corticalValues);
}

void MicroarrayExpression::CreateMicroarrayExpressorList(AtlasSpace* space, std::shared_ptr<const PointSet> samples)
{
    if (!samples)
        throw std::invalid_argument("CreateMicroarrayExpressorList needs a sample set.");
    // Features point into the expressors: both are built anew.
    m_features[space].clear();
    std::vector<Expressor>& expressors = m_expressors[space];
    expressors.clear();
    expressors.reserve(samples->points.size());
    SampleGridMap& map = m_sampleGridMaps[space];
    map.clear();
    const std::vector<float>& levels = m_sampleLevels[space];
    const std::shared_ptr<BrainOntology> ontology = space->GetAtlas()->GetOntology();
    for (std::size_t k = 0; k < samples->points.size(); ++k)
    {
        const PointSet::Point3d& point = samples->points[k];
        // A sample without a position or a level has no expressor; identifiers stay ascending.
        if (!HasPosition(point) || std::size_t(point.index) + 2 >= levels.size())
            continue;
        Expressor expressor;
        expressor.id = static_cast<unsigned int>(k + 1);
        expressor.position[0] = point.x;
        expressor.position[1] = point.y;
        expressor.position[2] = point.z;
        expressor.intensity = levels[std::size_t(point.index) + 2];
        expressor.density = 6000.0f;
        if (point.structureId != 0)
        {
            const AnnotationLabel* label = ontology->GetAnnotationLabelByDatabaseId(point.structureId);
            expressor.label = label && label->index != 0 ? label : nullptr;
        }
        expressors.push_back(expressor);
        map.insert(SampleGridMap::value_type(point.id, expressor.id));
    }
    m_displayRange = m_levelRange;
    UpdateExpressors(nullptr, nullptr);
}
