#include "expression/GeneExpression.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/Image3d.h"
#include "core/MemoryStream.h"

#include <boost/format.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

const char* const GeneExpression::MOUSE_PROJECTION_PROJECT_CODE = "0378";
constexpr Range GeneExpression::DEFAULT_EXPRESSION_LEVEL_RANGE;
const unsigned int GeneExpression::TAV_IMAGE_SIZE[3] = {133, 81, 115};
const float GeneExpression::TAV_RESOLUTION[3] = {100.0f, 100.0f, 100.0f};

namespace
{
std::string Text(const char* text)
{
    return text ? std::string(text) : std::string();
}

// A URL template of the atlas configuration filled with what it asks for; arguments beyond its
// placeholders are dropped rather than thrown.
boost::format UrlTemplate(const std::string& text)
{
    boost::format format(text);
    format.exceptions(boost::io::all_error_bits ^ (boost::io::too_many_args_bit | boost::io::too_few_args_bit));
    return format;
}

// Running statistics of the intensities of one UpdateExpressors call, across all its spaces.
struct IntensityStatistics
{
    void Add(float value)
    {
        ++count;
        sum += value;
        sumOfSquares += double(value) * value;
    }
    std::size_t count = 0;
    double sum = 0.0;
    double sumOfSquares = 0.0;
};
} // namespace

GeneExpression::GeneExpression() = default;

GeneExpression::GeneExpression(const char* name, const char* symbol)
    : m_name(Text(name))
    , m_symbol(Text(symbol))
    , m_loaded(false)
{
}

GeneExpression::GeneExpression(const char* name, const char* symbol, const char* projectCode,
                               const char* storageDirectory, const char* condition, int planeOfSection,
                               int experimentId, int geneId, float score)
    : m_experimentId(experimentId)
    , m_geneId(geneId)
    , m_name(Text(name))
    , m_symbol(Text(symbol))
    , m_storageDirectory(Text(storageDirectory))
    , m_condition(Text(condition))
    , m_projectCode(Text(projectCode))
    , m_loaded(false)
    , m_downloadable(experimentId != 0 || geneId != 0)
    , m_score(score)
{
    m_imageSeries.SetPlaneOfSection(planeOfSection == ImageSeries::Sagittal ? ImageSeries::Sagittal
                                                                            : ImageSeries::Coronal);
}

GeneExpression::GeneExpression(const char* name, const char* symbol, const char* projectCode, int experimentId,
                               int geneId, float score)
    : m_experimentId(experimentId)
    , m_geneId(geneId)
    , m_name(Text(name))
    , m_symbol(Text(symbol))
    , m_projectCode(Text(projectCode))
    , m_loaded(false)
    , m_downloadable(experimentId != 0 || geneId != 0)
    , m_score(score)
{
}

GeneExpression::GeneExpression(const void* bytes, unsigned long size)
{
    if (size > std::numeric_limits<unsigned int>::max())
        throw std::runtime_error("File size is inconsistent with atlas space dimensions.");
    MemoryStream stream(static_cast<unsigned int>(size));
    if (size > 0)
        stream.Write(bytes, static_cast<unsigned int>(size));
    stream.Seek(0);
    LoadAtlasSpace(stream, false, nullptr);
}

GeneExpression::~GeneExpression() = default;

bool GeneExpression::AddAtlasSpace(AtlasSpace* space)
{
    if (HasAtlasSpace(space))
        return false;
    m_atlasSpaces.push_back(space);
    m_expressors[space].clear();
    m_features[space].clear();
    if (space && space->GetAtlas() && space->GetAtlas()->GetNumSpaces() > 1)
        m_label = (boost::format("%1% (%2%)") % m_symbol % space->GetName()).str();
    else
        m_label = m_symbol;
    return true;
}

void GeneExpression::Write(const char* /*path*/) {}

void GeneExpression::SlimDown()
{
    for (AtlasSpace* space : m_atlasSpaces)
    {
        m_features[space].clear();
        m_expressors[space].clear();
    }
    m_imageSeries.Clear();
    // The grid of a bare raw grid is loaded data too.
    m_gridValues.clear();
    m_gridValues.shrink_to_fit();
    if (m_experimentId != 0 || m_geneId != 0 || !m_storageDirectory.empty())
        m_loaded = false;
}

std::string GeneExpression::GetInfoLinkUrl() const
{
    if (!m_infoUrl.empty())
        return m_infoUrl;
    if (m_atlasSpaces.empty() || !m_atlasSpaces.front() || !m_atlasSpaces.front()->GetAtlas())
        return std::string();
    const Atlas* atlas = m_atlasSpaces.front()->GetAtlas();
    return (UrlTemplate(atlas->GetShowImageInfoUrl(m_projectCode.c_str())) % static_cast<unsigned int>(m_experimentId))
        .str();
}

std::string GeneExpression::GetSelectedExpressorImageUrl(const Expressor* expressor, const AtlasSpace* space) const
{
    if (!expressor || !space || !space->GetAtlas())
        return std::string();
    const ImageSeries::ImageInfo* image = m_imageSeries.GetImageSection(expressor->section);
    if (!image)
        return std::string();
    const int dx = expressor->imageX - image->left;
    const int dy = expressor->imageY - image->top;
    boost::format format = UrlTemplate(space->GetAtlas()->GetShowImageUrl(m_projectCode.c_str()));
    std::ostringstream url;
    if (format.expected_args() == 1)
    {
        url << (format % image->id).str() << "&x=" << dx << "&y=" << dy << "&z=50";
        return url.str();
    }
    url << (format % image->id % m_experimentId).str() << "&x=" << dx << "&y=" << dy
        << "&z=" << (m_dataType == GENE_EXPRESSION ? "7" : "6");
    return url.str();
}

void GeneExpression::PrintSelectionInfo(std::stringstream& out, const Expressor* expressor, const AtlasSpace* space)
{
    if (!expressor || !space)
        return;
    out << (m_dataType == PROJECTION ? "Primary Injection: " : "Gene: ") << m_symbol << "\n";
    // A cell outside every structure has no label to name.
    if (expressor->label)
        out << "Annotation: " << expressor->label->name << " (" << expressor->label->abbreviation << ") \n";
    else
        out << "Annotation: n/a\n";
    out << "Intensity: ";
    if (expressor->intensity < 0.0f)
        out << "n/a";
    else
        out << expressor->intensity;
    out << ", Density: " << expressor->density / 1000.0f << "\n";
    if (m_dataType == GENE_EXPRESSION)
        out << "Energy: " << expressor->density / 1000.0f * expressor->intensity << "\n";
    const float* resolution = space->GetViewResolution();
    out << "Location: " << expressor->position[0] * resolution[0] / 1000.0f << ", "
        << expressor->position[1] * resolution[1] / 1000.0f << ", " << expressor->position[2] * resolution[2] / 1000.0f;
}

void GeneExpression::GetProbeLocationForExpressor(const Expressor* expressor, const AtlasSpace* /*space*/, float* out)
{
    for (int axis = 0; axis < 3; ++axis)
        out[axis] = expressor ? expressor->position[axis] : 0.0f;
}

namespace
{
template <class Map>
auto Lookup(Map& map, const std::vector<AtlasSpace*>& spaces, const AtlasSpace* space) -> decltype(&map.begin()->second)
{
    if (!space)
    {
        if (spaces.empty())
            return nullptr;
        space = spaces.front();
    }
    const auto found = map.find(space);
    return found == map.end() ? nullptr : &found->second;
}

template <class Vector>
auto FindExpressor(Vector* expressors, unsigned int id) -> decltype(&expressors->front())
{
    if (!expressors)
        return nullptr;
    const auto found = std::lower_bound(expressors->begin(), expressors->end(), id,
                                        [](const Expressor& e, unsigned int value) { return e.id < value; });
    return found != expressors->end() && found->id == id ? &*found : nullptr;
}
} // namespace

std::vector<BrainFeature>* GeneExpression::GetBrainFeatures(const AtlasSpace* space)
{
    return Lookup(m_features, m_atlasSpaces, space);
}

const std::vector<BrainFeature>* GeneExpression::GetBrainFeatures(const AtlasSpace* space) const
{
    return Lookup(m_features, m_atlasSpaces, space);
}

std::vector<Expressor>* GeneExpression::GetExpressors(const AtlasSpace* space)
{
    return Lookup(m_expressors, m_atlasSpaces, space);
}

const std::vector<Expressor>* GeneExpression::GetExpressors(const AtlasSpace* space) const
{
    return Lookup(m_expressors, m_atlasSpaces, space);
}

std::shared_ptr<ProjectionStreamLines> GeneExpression::GetProjectionData(const AtlasSpace* space) const
{
    const std::shared_ptr<ProjectionStreamLines>* found = Lookup(m_projectionData, m_atlasSpaces, space);
    return found ? *found : std::shared_ptr<ProjectionStreamLines>();
}

Expressor* GeneExpression::GetExpressorAtGrid(unsigned int id, const AtlasSpace* space)
{
    const auto found = m_expressors.find(space);
    return FindExpressor(found == m_expressors.end() ? nullptr : &found->second, id);
}

const Expressor* GeneExpression::GetExpressorAtGrid(unsigned int id, const AtlasSpace* space) const
{
    const auto found = m_expressors.find(space);
    return FindExpressor(found == m_expressors.end() ? nullptr : &found->second, id);
}

bool GeneExpression::HasAtlasSpace(const AtlasSpace* space) const
{
    return std::find(m_atlasSpaces.begin(), m_atlasSpaces.end(), space) != m_atlasSpaces.end();
}

AtlasSpace* GeneExpression::GetAtlasSpace(int index)
{
    return index >= 0 && index < GetNumAtlasSpaces() ? m_atlasSpaces[index] : nullptr;
}

const AtlasSpace* GeneExpression::GetAtlasSpace(int index) const
{
    return index >= 0 && index < GetNumAtlasSpaces() ? m_atlasSpaces[index] : nullptr;
}

std::string GeneExpression::GetImageMaskFilterParams() const
{
    return m_dataType == PROJECTION ? "?colormap=projection" : "?filter=colormap&filterVals=0.5,0.99,0,255,4";
}

void GeneExpression::SetColor(float red, float green, float blue)
{
    m_color[0] = red;
    m_color[1] = green;
    m_color[2] = blue;
}

void GeneExpression::UpdateExpressors(const unsigned int* gridSize, const float* gridSpacing)
{
    IntensityStatistics statistics;
    bool projection = false;
    for (AtlasSpace* space : m_atlasSpaces)
    {
        std::vector<BrainFeature>& features = m_features[space];
        if (!features.empty() || !space || !space->GetAtlas())
            continue;
        std::vector<Expressor>& expressors = m_expressors[space];
        const std::shared_ptr<BrainOntology> ontology = space->GetAtlas()->GetOntology();
        const unsigned int labelCount = ontology->GetNumLabels();
        features.resize(labelCount);
        for (unsigned int i = 0; i < labelCount; ++i)
            features[i].label = ontology->GetAnnotationLabelByIndex(i);

        const float* resolution = space->GetViewResolution();
        Image3d* annotation =
            gridSize && gridSpacing ? space->GetAnnotationImage(gridSize, gridSpacing) : space->GetAnnotationImage();
        for (Expressor& expressor : expressors)
        {
            if (!expressor.label && annotation)
            {
                const float value =
                    annotation->GetValue(expressor.position[0] * resolution[0], expressor.position[1] * resolution[1],
                                         expressor.position[2] * resolution[2]);
                const AnnotationLabel* label = ontology->GetAnnotationLabel(static_cast<unsigned short>(value));
                // Label 0 is "No Annotation", the ontology's answer for values it lacks: no structure.
                expressor.label = label && label->index != 0 ? label : nullptr;
            }
            if (expressor.label)
                features.at(expressor.label->index).expressors.push_back(&expressor);
            if (expressor.intensity >= 0.0f)
                statistics.Add(expressor.intensity);
        }

        const auto lines = m_projectionData.find(space);
        if (lines != m_projectionData.end() && lines->second)
        {
            const std::vector<ProjectionStreamLines::Line>& lineList = lines->second->GetLineList();
            const std::size_t pairs = std::min(lineList.size(), expressors.size());
            for (std::size_t k = 0; k < pairs; ++k)
                if (expressors[k].label)
                    features.at(expressors[k].label->index).streamLines.push_back(lineList[k]);
            projection = true;
        }
        m_loaded = true;
    }
    if (statistics.count != 0)
    {
        m_mean = static_cast<float>(statistics.sum / statistics.count);
        // Rounding can leave a constant data set's variance a hair below zero.
        const double variance = statistics.sumOfSquares / statistics.count - double(m_mean * m_mean);
        m_standardDeviation = static_cast<float>(std::sqrt(std::max(variance, 0.0)));
    }
    if (projection)
        m_displayRange = Range(0.0f, std::ceil(std::max(m_intensityDisplayScale, 255.0f)));
}

bool GeneExpression::LoadAtlasSpace(const char* /*path*/, const Atlas* /*atlas*/)
{
    throw std::runtime_error("Unsupported data format.");
}

bool GeneExpression::LoadAtlasSpace(IOStream& /*stream*/, bool /*light*/, const Atlas* /*atlas*/)
{
    throw std::runtime_error("Unsupported data format.");
}

void GeneExpression::ReadVersionZip(IOStream&, bool, const Atlas*) {}
void GeneExpression::ReadRawVolume(IOStream&) {}
void GeneExpression::ReadGeneExpressionZip(ZipReader&, bool) {}
void GeneExpression::ReadProjectionZip(ZipReader&, bool) {}
