#include "expression/GeneExpression.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/Image3d.h"
#include "atlas/AdultMouseMetaReader.h"
#include "atlas/AtlasSet.h"
#include "atlas/DecimalText.h"
#include "atlas/DevMouseMetaReader.h"
#include "core/FileStream.h"
#include "core/MemoryStream.h"
#include "core/MemoryStreamRef.h"
#include "core/OSUtils.h"
#include "core/StringUtils.h"
#include "core/ThreadPhases.h"
#include "core/ZipReader.h"
#include "expression/CellBands.h"
#include "expression/DataSetEntries.h"
#include "expression/GridImageTable.h"
#include "expression/SectionImageLookup.h"

#include <boost/format.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cmath>
#include <exception>
#include <future>
#include <system_error>
#include <limits>
#include <stdexcept>
#include <thread>
#include <utility>

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
    // Whole numbers below 2^53 add up exactly in doubles in any order, so totals of whole-number intensities
    // give the sums that adding the intensities one by one gives, as long as the sums so far are whole too.
    // False, with nothing added, otherwise.
    bool AddExactly(std::uint64_t addedCount, std::uint64_t addedSum, std::uint64_t addedSquares)
    {
        constexpr double kExactBelow = 9007199254740992.0;
        const double newSum = sum + double(addedSum);
        const double newSquares = sumOfSquares + double(addedSquares);
        if (std::floor(sum) != sum || std::floor(sumOfSquares) != sumOfSquares || !(newSum < kExactBelow) ||
            !(newSquares < kExactBelow))
            return false;
        count += addedCount;
        sum = newSum;
        sumOfSquares = newSquares;
        return true;
    }
    std::size_t count = 0;
    double sum = 0.0;
    double sumOfSquares = 0.0;
};

// One feature per structure of the ontology, in its order, with no cells yet.
void LabelFeatures(const BrainOntology& ontology, std::vector<BrainFeature>& features)
{
    const unsigned int labelCount = ontology.GetNumLabels();
    features.resize(labelCount);
    for (unsigned int i = 0; i < labelCount; ++i)
        features[i].label = ontology.GetAnnotationLabelByIndex(i);
}
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
        // Cells made on the view grid came with their structures and features: only their intensities count.
        const auto listedAt = m_listedSpaces.find(space);
        const bool listed = listedAt != m_listedSpaces.end();
        IntensityTotals totals;
        if (listed)
        {
            totals = listedAt->second;
            m_listedSpaces.erase(listedAt);
        }
        if ((!features.empty() && !listed) || !space || !space->GetAtlas())
            continue;
        std::vector<Expressor>& expressors = m_expressors[space];
        if (listed)
        {
            if (!statistics.AddExactly(totals.count, totals.sum, totals.sumOfSquares))
            {
                for (const Expressor& expressor : expressors)
                    statistics.Add(expressor.intensity);
            }
            m_loaded = true;
            continue;
        }
        const std::shared_ptr<BrainOntology> ontology = space->GetAtlas()->GetOntology();
        LabelFeatures(*ontology, features);

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

namespace
{
const char* const ATLAS_NOT_AVAILABLE = "Atlas not available for this data set";
const char* const INVALID_DENSITY = "Invalid density volume data.";
const char* const INVALID_INTENSITY = "Invalid intensity volume data.";
const char* const INVALID_MASK = "Invalid injection mask volume data.";
const char* const MASK_NOT_FOUND = "Injection mask not found in data file";
const std::uint32_t ZIP_SIGNATURE = 0x04034b50u;

std::uint64_t VoxelCount(const unsigned int* size)
{
    return std::uint64_t(size[0]) * size[1] * size[2];
}

// Finds the section image that shows a cell at (x, y, z) µm and fills the expressor's image fields.
void LookUpImage(SectionImageLookup& series, float x, float y, float z, Expressor& expressor)
{
    float u = 0.0f;
    float v = 0.0f;
    const ImageSeries::ImageInfo* image = series.Find(x, y, z, u, v);
    if (!image)
        return;
    expressor.section = static_cast<unsigned short>(image->sectionNumber);
    expressor.imageX = GridImageTable::ImageCoordinate(u, image->left);
    expressor.imageY = GridImageTable::ImageCoordinate(v, image->top);
}

std::uint16_t Little16(const unsigned char* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

float LittleFloat(const unsigned char* bytes)
{
    const std::uint32_t word = std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
                               std::uint32_t(bytes[3]) << 24;
    float value;
    std::memcpy(&value, &word, sizeof value);
    return value;
}

// The structure of each voxel of a data grid that is its space's own view grid: read straight from the
// view-grid annotation, it is what UpdateExpressors finds for a cell at that voxel, without a look-up of
// the annotation image per cell. Any other grid answers null, and UpdateExpressors looks the cells up.
class GridStructures
{
public:
    GridStructures(AtlasSpace& space, const unsigned int* size, const float* spacing)
    {
        if (!space.GetAtlas())
            return;
        Image3d* annotation = space.GetAnnotationImage();
        if (!annotation || !annotation->IsOpen() || annotation->GetPixelType() != typeid(unsigned short) ||
            std::memcmp(annotation->GetSize(), size, 3 * sizeof(unsigned int)) != 0 ||
            std::memcmp(annotation->GetResolution(), space.GetViewResolution(), 3 * sizeof(float)) != 0 ||
            std::memcmp(spacing, space.GetViewResolution(), 3 * sizeof(float)) != 0)
            return;
        m_ontology = space.GetAtlas()->GetOntology();
        m_values = static_cast<const unsigned short*>(annotation->GetBuffer());
    }

    // Null when the grid is not the view grid.
    const BrainOntology* Ontology() const { return m_values ? m_ontology.get() : nullptr; }

    // Reads the structures of one band's voxels. Neighbouring cells mostly lie in one structure, so the
    // answer for the last value read is kept.
    class Cursor
    {
    public:
        explicit Cursor(const GridStructures& structures)
            : m_structures(structures)
        {
        }

        const AnnotationLabel* At(std::size_t voxel)
        {
            if (!m_structures.m_values)
                return nullptr;
            const unsigned short value = m_structures.m_values[voxel];
            if (!m_read || value != m_value)
            {
                const AnnotationLabel* label = m_structures.m_ontology->GetAnnotationLabel(value);
                // Label 0 is "No Annotation", the ontology's answer for values it lacks: no structure.
                m_label = label && label->index != 0 ? label : nullptr;
                m_value = value;
                m_read = true;
            }
            return m_label;
        }

    private:
        const GridStructures& m_structures;
        bool m_read = false;
        unsigned short m_value = 0;
        const AnnotationLabel* m_label = nullptr;
    };

private:
    std::shared_ptr<BrainOntology> m_ontology;
    const unsigned short* m_values = nullptr;
};

// Threads for the cells of a grid: one per 64 Ki voxels at most, so that a small grid stays on the calling
// thread.
std::size_t CellThreads(std::size_t voxels, std::size_t rows)
{
    constexpr std::size_t kVoxelsPerThread = std::size_t(1) << 16;
    const std::size_t byWork = std::max<std::size_t>(1, voxels / kVoxelsPerThread);
    const std::size_t threads = std::max(1u, std::thread::hardware_concurrency());
    return std::min({byWork, threads, std::max<std::size_t>(1, rows)});
}

// The voxels of a gene data set: 16-bit little-endian density and 8-bit intensity on one grid.
struct GeneGrid
{
    const unsigned int* size;
    const float* spacing;
    const unsigned char* density;
    const unsigned char* intensity;

    // Without a branch, so that counting runs in vector registers.
    bool IsCell(std::size_t i) const { return (intensity[i] != 0) & ((density[2 * i] | density[2 * i + 1]) != 0); }
};

// What AddGeneCells made beside the cells: whether the features too, and the cells' intensities (whole
// numbers, 1 to 255): their sum and the sum of their squares.
struct GeneCells
{
    bool listed = false;
    std::uint64_t count = 0;
    std::uint64_t sum = 0;
    std::uint64_t sumOfSquares = 0;
};

// Makes a cell of every voxel with intensity and density, in grid order. Whole view grids make hundreds of
// thousands of cells, so the work is shared by threads, in phases: the cells of each row are counted; the
// rows are cut into bands of about equal cells, each band's stretch of the list fixed by the counts before
// it; the cells of each band are made in its stretch, so that cells, ids and order come out as one thread
// would make them. When the structures are known (the view grid), each band also counts its cells per
// structure, and once all are counted it lists its cells in its own stretch of every structure's list, in
// the same order.
GeneCells AddGeneCells(const GeneGrid& grid, const GridStructures& structures, const ImageSeries& series,
                       std::vector<Expressor>& expressors, std::vector<BrainFeature>& features)
{
    const std::size_t width = grid.size[0];
    const std::size_t height = grid.size[1];
    const std::size_t rows = height * grid.size[2];
    ThreadPhases threads(CellThreads(rows * width, rows));
    // Several bands a thread, so that a thread that the machine keeps waiting leaves less undone.
    const std::size_t bandCount = threads.Threads() == 1 ? 1 : std::min(rows, 4 * threads.Threads());
    const BrainOntology* ontology = structures.Ontology();
    const std::size_t labelCount = ontology ? ontology->GetNumLabels() : 0;
    const std::size_t before = expressors.size();

    std::vector<std::uint32_t> rowCells(rows, 0);
    auto countRows = [&](std::size_t part) {
        for (std::size_t row = rows * part / bandCount; row < rows * (part + 1) / bandCount; ++row)
        {
            std::uint32_t cells = 0;
            for (std::size_t i = row * width; i < (row + 1) * width; ++i)
                cells += grid.IsCell(i);
            rowCells[row] = cells;
        }
    };

    // Sizing the list, the image table and the structures' features do not wait for each other.
    std::unique_ptr<CellBands> bands;
    std::unique_ptr<GridImageTable> table;
    auto prepare = [&](std::size_t part) {
        if (part == 0)
        {
            bands = std::make_unique<CellBands>(rowCells, bandCount);
            expressors.resize(before + bands->FirstCell(bands->Count()));
        }
        else if (part == 1)
            table = GridImageTable::Make(series, grid.size, grid.spacing);
        else if (ontology)
            LabelFeatures(*ontology, features);
    };

    // Per band: its cells in each structure, then where its stretch of each structure's list begins.
    std::vector<std::vector<std::size_t>> slots(bandCount);
    std::vector<std::uint64_t> sums(bandCount, 0);
    std::vector<std::uint64_t> squares(bandCount, 0);
    auto makeCells = [&](std::size_t band) {
        SectionImageLookup images(series);
        GridStructures::Cursor cursor(structures);
        std::vector<std::size_t> counts(labelCount, 0);
        std::uint64_t sum = 0;
        std::uint64_t sumOfSquares = 0;
        std::size_t next = before + bands->FirstCell(band);
        for (std::size_t row = bands->FirstRow(band); row < bands->FirstRow(band + 1); ++row)
        {
            if (rowCells[row] == 0)
                continue;
            const auto y = static_cast<unsigned int>(row % height);
            const auto z = static_cast<unsigned int>(row / height);
            std::size_t i = row * width;
            for (unsigned int x = 0; x < width; ++x, ++i)
            {
                if (!grid.IsCell(i))
                    continue;
                Expressor& e = expressors[next];
                e.id = static_cast<unsigned int>(++next);
                e.position[0] = float(x);
                e.position[1] = float(y);
                e.position[2] = float(z);
                e.intensity = grid.intensity[i];
                sum += grid.intensity[i];
                sumOfSquares += unsigned(grid.intensity[i]) * grid.intensity[i];
                e.density = Little16(&grid.density[2 * i]) / 65536.0f * 1000.0f;
                e.label = cursor.At(i);
                if (e.label)
                    ++counts.at(e.label->index);
                if (!table)
                    LookUpImage(images, x * grid.spacing[0], y * grid.spacing[1], z * grid.spacing[2], e);
                else if (const ImageSeries::ImageInfo* image = table->Find(x, y, z, e.imageX, e.imageY))
                    e.section = static_cast<unsigned short>(image->sectionNumber);
                else
                    e.imageX = e.imageY = 0;
            }
        }
        slots[band] = std::move(counts);
        sums[band] = sum;
        squares[band] = sumOfSquares;
    };

    // The structures are shared out in parts: each sizes the lists of its own.
    const std::size_t labelParts = threads.Threads();
    auto sizeLists = [&](std::size_t part) {
        for (std::size_t label = labelCount * part / labelParts; label < labelCount * (part + 1) / labelParts; ++label)
        {
            std::size_t total = 0;
            for (std::vector<std::size_t>& counts : slots)
                total += std::exchange(counts[label], total);
            features[label].expressors.resize(total);
        }
    };
    auto listCells = [&](std::size_t band) {
        std::vector<std::size_t>& slot = slots[band];
        for (std::size_t k = before + bands->FirstCell(band); k < before + bands->FirstCell(band + 1); ++k)
        {
            Expressor& e = expressors[k];
            if (e.label)
                features[e.label->index].expressors[slot[e.label->index]++] = &e;
        }
    };

    std::vector<ThreadPhases::Phase> phases = {{bandCount, countRows}, {3, prepare}, {bandCount, makeCells}};
    if (ontology)
    {
        phases.push_back({labelParts, sizeLists});
        phases.push_back({bandCount, listCells});
    }
    threads.Run(phases);

    GeneCells made;
    made.listed = ontology != nullptr;
    made.count = bands->FirstCell(bands->Count());
    for (std::size_t band = 0; band < bandCount; ++band)
    {
        made.sum += sums[band];
        made.sumOfSquares += squares[band];
    }
    return made;
}

// One MetaImage pair of a projection zip, read only when its header is there.
std::unique_ptr<Image3d> ReadMetaImage(ZipReader& zip, const char* headerName, const char* rawName,
                                       const std::type_info& type, std::uint64_t elementSize,
                                       const char* missingMessage, const char* sizeMessage)
{
    const ZipReader::ZipItem* header = zip.SeekFile(headerName);
    if (!header)
        return nullptr;
    DataSetEntries::Bytes text = DataSetEntries::Read(zip, *header);
    text.push_back(0);
    const char* headerText = reinterpret_cast<const char*>(text.data());
    if (!zip.SeekFile(rawName))
        throw std::runtime_error(missingMessage);
    // The header's grid is checked against the voxel bytes before the image allocates it.
    const DataSetEntries::Bytes voxels =
        DataSetEntries::ReadExactly(zip, rawName, Image3d::HeaderVoxelCount(headerText) * elementSize, sizeMessage);
    std::unique_ptr<Image3d> image = Image3d::CreateImage(type);
    image->LoadHeader(headerText);
    image->LoadHeaderData(voxels.data(), voxels.size());
    return image;
}
} // namespace

bool GeneExpression::LoadAtlasSpace(const char* path, const Atlas* atlas)
{
    FileStream stream(path, std::ios::in | std::ios::binary);
    LoadAtlasSpace(stream, false, atlas);
    if (!m_name.empty())
        return true;
    const std::string file(path);
    try
    {
        const std::string::size_type dot = file.rfind('.');
        const std::string companion = file.substr(0, dot) + ".xml";
        if (OSUtils::FileExists(companion.c_str()))
        {
            DevMouseMetaReader reader(companion.c_str());
            m_name = reader.name;
            m_symbol = reader.symbol;
            m_experimentId = static_cast<int>(reader.imageSeriesId);
            m_imageSeries.Load(reader);
        }
        if (m_name.empty())
        {
            const std::string::size_type separator = file.rfind(OSUtils::DirectorySeparator());
            std::string name = separator == std::string::npos ? file : file.substr(separator + 1);
            const std::string::size_type extension = name.rfind('.');
            if (extension != std::string::npos)
                name.erase(extension);
            m_label = m_name = m_symbol = name;
        }
    }
    catch (...)
    {
        m_name = "Unknown";
    }
    return true;
}

bool GeneExpression::LoadAtlasSpace(IOStream& stream, bool light, const Atlas* atlas)
{
    // An XML or HTML page where data were expected: a server error or a login page.
    unsigned char first = 0;
    stream.Read(&first, 1);
    if (first == '<')
        throw std::runtime_error("Unsupported data format.");
    stream.Seek(0);
    unsigned char signature[4] = {0, 0, 0, 0};
    if (stream.GetSize() >= sizeof signature)
        stream.Read(signature, sizeof signature);
    stream.Seek(0);
    const std::uint32_t value = std::uint32_t(signature[0]) | std::uint32_t(signature[1]) << 8 |
                                std::uint32_t(signature[2]) << 16 | std::uint32_t(signature[3]) << 24;
    if (value == ZIP_SIGNATURE)
        ReadVersionZip(stream, light, atlas);
    else
        ReadRawVolume(stream);
    UpdateExpressors(nullptr, nullptr);
    return true;
}

void GeneExpression::ReadVersionZip(IOStream& stream, bool light, const Atlas* atlas)
{
    bool projection = m_projectCode == MOUSE_PROJECTION_PROJECT_CODE;
    ZipReader zip(&stream);
    if (!light)
    {
        if (const ZipReader::ZipItem* item = zip.SeekFile("image_series.xml"))
            projection = ReadImageSeriesMetadata(DataSetEntries::Read(zip, *item), atlas);
        else if (const ZipReader::ZipItem* item = zip.SeekFile("data_set.xml"))
        {
            if (!projection)
            {
                ReadDataSetZip(zip, *item);
                return;
            }
            ReadDataSetMetadata(DataSetEntries::Read(zip, *item));
        }
        else
            throw std::runtime_error("Expression file format not recognized.");
    }
    if (projection)
        ReadProjectionZip(zip, light);
    else
        ReadGeneExpressionZip(zip, light);
}

bool GeneExpression::ReadImageSeriesMetadata(const DataSetEntries::Bytes& bytes, const Atlas* atlas)
{
    const DevMouseMetaReader reader(bytes.data(), bytes.size());
    m_name = reader.name;
    m_symbol = reader.symbol;
    m_experimentId = static_cast<int>(reader.imageSeriesId);
    m_entrezId = static_cast<int>(reader.entrezId);
    m_projectCode = reader.projectCode;
    m_condition = reader.sleepState;
    m_correlationSearchAvailable = reader.correlationSearchAvailable;
    m_infoUrl = reader.experimentInfoUrl;
    const std::string spaceName = reader.referenceSpace.empty() ? reader.age : reader.referenceSpace;

    const bool projection = m_projectCode == MOUSE_PROJECTION_PROJECT_CODE;
    AtlasSpace* space = nullptr;
    if (projection)
    {
        m_imageSeries.SetDisplayParameter(0.35f);
        space = atlas ? atlas->GetSpace("P56") : AtlasSet::GetAtlasSpace(MOUSE_PROJECTION_PROJECT_CODE, "P56");
    }
    else
        space = atlas ? atlas->GetSpace(spaceName) : AtlasSet::GetAtlasSpace(m_projectCode, spaceName);
    if (!space)
        throw std::runtime_error(ATLAS_NOT_AVAILABLE);
    AddAtlasSpace(space);

    if (projection)
        m_label = reader.transgenicLine.empty()
                      ? (boost::format("%1% - %2%") % m_symbol % m_name).str()
                      : (boost::format("%1% - %2% - %3%") % m_symbol % m_name % reader.transgenicLine).str();
    else
        m_label = QualifiedLabel(reader, space);

    if (!reader.intensityRange.empty())
    {
        std::vector<std::string> parts;
        StringUtils::SplitLine(reader.intensityRange, parts, ',');
        m_intensityDisplayScale = parts.size() == 6 ? DecimalFloat(parts[3]) : 255.0f;
    }
    m_imageSeries.Load(reader);
    return projection;
}

std::string GeneExpression::QualifiedLabel(const MouseMetaReader& reader, const AtlasSpace* space) const
{
    std::vector<std::string> qualifiers;
    if (space->GetAtlas() && space->GetAtlas()->GetNumSpaces() > 1)
        qualifiers.push_back(reader.age);
    if (!reader.strain.empty() && reader.strain != "C57BL/6J")
        qualifiers.push_back(reader.strain);
    if (!reader.sex.empty() && reader.sex != "Male")
        qualifiers.push_back(reader.sex);
    if (!m_condition.empty())
        qualifiers.push_back(m_condition);
    if (qualifiers.empty())
        return m_symbol;
    std::string label = m_symbol + " (";
    for (std::size_t i = 0; i < qualifiers.size(); ++i)
        label += (i ? " - " : "") + qualifiers[i];
    return label + ")";
}

void GeneExpression::ReadDataSetMetadata(const DataSetEntries::Bytes& bytes)
{
    ReadDataSetMetadata(AdultMouseMetaReader(bytes.data(), bytes.size()), DataSetSpace());
}

AtlasSpace* GeneExpression::DataSetSpace()
{
    return AtlasSet::GetAtlasSpace("0310", "P56");
}

void GeneExpression::ReadDataSetMetadata(const AdultMouseMetaReader& reader, AtlasSpace* space)
{
    m_name = reader.name;
    m_symbol = reader.symbol;
    m_experimentId = static_cast<int>(reader.imageSeriesId);
    m_entrezId = static_cast<int>(reader.entrezId);
    if (!space)
        throw std::runtime_error(ATLAS_NOT_AVAILABLE);
    AddAtlasSpace(space);
    m_label = (boost::format("%1% (%2%)") % m_symbol % reader.age).str();
    m_imageSeries.Load(reader);
}

std::vector<Expressor>& GeneExpression::EmptySpace(const AtlasSpace* space)
{
    // Features point into the expressors: a space read again loses both, and its lines, together.
    m_features[space].clear();
    m_projectionData.erase(space);
    m_listedSpaces.erase(space);
    std::vector<Expressor>& expressors = m_expressors[space];
    expressors.clear();
    return expressors;
}

AtlasSpace* GeneExpression::PrimarySpace() const
{
    // A light read of a search result that was never placed has no space to read the grids onto.
    if (m_atlasSpaces.empty() || !m_atlasSpaces.front())
        throw std::runtime_error(ATLAS_NOT_AVAILABLE);
    return m_atlasSpaces.front();
}

void GeneExpression::ReadDataSetZip(ZipReader& zip, const ZipReader::ZipItem& metadata)
{
    const DataSetEntries::Bytes bytes = DataSetEntries::Read(zip, metadata);
    auto parse = [&bytes] { return std::make_unique<AdultMouseMetaReader>(bytes.data(), bytes.size()); };
    std::future<std::unique_ptr<AdultMouseMetaReader>> parsed;
    try
    {
        parsed = std::async(std::launch::async, parse);
    }
    catch (const std::system_error&)
    {
        parsed = std::async(std::launch::deferred, parse);
    }
    AtlasSpace* space = DataSetSpace();
    // The voxels are read onto the space that taking in the metadata makes the primary one, before it is
    // taken in and without a change to the data set: a failure leaves it as reading one after the other does.
    AtlasSpace* primary = m_atlasSpaces.empty() ? space : m_atlasSpaces.front();
    GeneVoxels voxels;
    std::exception_ptr voxelError;
    if (space && primary)
    {
        try
        {
            voxels = ReadGeneVoxels(zip, *primary);
        }
        catch (...)
        {
            voxelError = std::current_exception();
        }
    }
    ReadDataSetMetadata(*parsed.get(), space);
    primary = PrimarySpace();
    std::memcpy(m_gridSize, primary->GetViewDimensions(), sizeof m_gridSize);
    std::memcpy(m_gridSpacing, primary->GetViewResolution(), sizeof m_gridSpacing);
    EmptySpace(primary);
    if (voxelError)
        std::rethrow_exception(voxelError);
    AddGeneVoxelCells(*primary, voxels);
    m_gridValueScale = 0.02f;
}

GeneExpression::GeneVoxels GeneExpression::ReadGeneVoxels(ZipReader& zip, const AtlasSpace& space)
{
    const std::uint64_t count = VoxelCount(space.GetViewDimensions());
    GeneVoxels voxels;
    voxels.density = DataSetEntries::ReadExactly(zip, "density.raw", 2 * count, INVALID_DENSITY);
    voxels.intensity = DataSetEntries::ReadExactly(zip, "intensity.raw", count, INVALID_INTENSITY);
    return voxels;
}

void GeneExpression::AddGeneVoxelCells(AtlasSpace& space, const GeneVoxels& voxels)
{
    const GeneGrid grid{m_gridSize, m_gridSpacing, voxels.density.data(), voxels.intensity.data()};
    const GeneCells made = AddGeneCells(grid, GridStructures(space, m_gridSize, m_gridSpacing), m_imageSeries,
                                        m_expressors[&space], m_features[&space]);
    if (made.listed)
        m_listedSpaces[&space] = IntensityTotals{made.count, made.sum, made.sumOfSquares};
}

void GeneExpression::ReadGeneExpressionZip(ZipReader& zip, bool light)
{
    AtlasSpace* space = PrimarySpace();
    std::memcpy(m_gridSize, space->GetViewDimensions(), sizeof m_gridSize);
    std::memcpy(m_gridSpacing, space->GetViewResolution(), sizeof m_gridSpacing);
    const std::uint64_t count = VoxelCount(m_gridSize);
    std::vector<Expressor>& expressors = EmptySpace(space);

    if (light)
    {
        const DataSetEntries::Bytes energy = DataSetEntries::ReadExactly(zip, "energy.raw", count, INVALID_INTENSITY);
        expressors.reserve(count - std::count(energy.begin(), energy.end(), 0));
        ForEachCell([&](std::size_t i, unsigned int x, unsigned int y, unsigned int z) {
            if (energy[i] == 0)
                return;
            Expressor& e = AddExpressor(expressors, float(x), float(y), float(z));
            e.intensity = e.density = energy[i];
        });
    }
    else
        AddGeneVoxelCells(*space, ReadGeneVoxels(zip, *space));
    m_gridValueScale = 0.02f;
}

template <class Visit>
void GeneExpression::ForEachCell(Visit&& visit) const
{
    std::size_t i = 0;
    for (unsigned int z = 0; z < m_gridSize[2]; ++z)
        for (unsigned int y = 0; y < m_gridSize[1]; ++y)
            for (unsigned int x = 0; x < m_gridSize[0]; ++x, ++i)
                visit(i, x, y, z);
}

Expressor& GeneExpression::AddExpressor(std::vector<Expressor>& expressors, float x, float y, float z)
{
    expressors.emplace_back();
    Expressor& e = expressors.back();
    e.id = static_cast<unsigned int>(expressors.size());
    e.position[0] = x;
    e.position[1] = y;
    e.position[2] = z;
    return e;
}

void GeneExpression::ReadProjectionZip(ZipReader& zip, bool light)
{
    m_dataType = PROJECTION;
    AtlasSpace* space = PrimarySpace();
    const float* resolution = space->GetViewResolution();
    std::vector<Expressor>& expressors = EmptySpace(space);

    // A light read wants the density alone: the thumbnail draws nothing else.
    std::unique_ptr<Image3d> mask;
    std::shared_ptr<ProjectionStreamLines> lines;
    if (!light)
    {
        mask = ReadMetaImage(zip, "injection_mask.mhd", "injection_mask.raw", typeid(float), 4, MASK_NOT_FOUND,
                             INVALID_MASK);
        lines = ReadStreamLines(zip, mask.get(), resolution);
    }
    std::unique_ptr<Image3d> density =
        ReadMetaImage(zip, "density.mhd", "density.raw", typeid(unsigned short), 2, INVALID_DENSITY, INVALID_DENSITY);
    std::unique_ptr<Image3d> intensity;
    if (!light)
        intensity = ReadMetaImage(zip, "intensity.mhd", "intensity.raw", typeid(float), 4, INVALID_INTENSITY,
                                  INVALID_INTENSITY);
    if (!light && !mask)
        throw std::runtime_error(MASK_NOT_FOUND);
    if (light && !density)
        throw std::runtime_error("Density header not found in data file");

    const Image3d& grid = intensity ? *intensity : density ? *density : *mask;
    std::memcpy(m_gridSize, grid.GetSize(), sizeof m_gridSize);
    std::memcpy(m_gridSpacing, grid.GetResolution(), sizeof m_gridSpacing);
    float ratio[3];
    for (int axis = 0; axis < 3; ++axis)
        ratio[axis] = m_gridSpacing[axis] / resolution[axis];

    if (light)
        AddDensityCells(expressors, *density, ratio);
    else
    {
        SectionImageLookup images(m_imageSeries);
        if (lines)
        {
            AddStreamLineCells(expressors, images, *lines, resolution);
            m_projectionData[space] = lines;
        }
        if (density && intensity)
            AddProjectionCells(expressors, images, *density, *intensity, ratio);
        AddInjectionCells(expressors, images, *mask, ratio);
    }
    UpdateExpressors(m_gridSize, m_gridSpacing);
}

std::shared_ptr<ProjectionStreamLines> GeneExpression::ReadStreamLines(ZipReader& zip, const Image3d* mask,
                                                                       const float* resolution)
{
    const ZipReader::ZipItem* item = zip.SeekFile("streamlines.sl");
    // Lines are scaled by the mask's spacing; without a mask the read fails anyway.
    if (!item || !mask)
        return nullptr;
    const DataSetEntries::Bytes bytes = DataSetEntries::Read(zip, *item);
    MemoryStreamRef stream(bytes.data(), static_cast<unsigned int>(bytes.size()));
    auto lines = std::make_shared<ProjectionStreamLines>();
    lines->Load(stream);
    float scale[3];
    for (int axis = 0; axis < 3; ++axis)
        scale[axis] = mask->GetResolution(axis) / resolution[axis];
    const float offset[3] = {0.0f, 0.0f, 0.0f};
    lines->Transform(scale, offset);
    return lines;
}

void GeneExpression::AddStreamLineCells(std::vector<Expressor>& expressors, SectionImageLookup& images,
                                        ProjectionStreamLines& lines, const float* resolution)
{
    // Line k and expressor k belong together, so a line without points, which could lead no expressor,
    // is dropped.
    std::vector<ProjectionStreamLines::Line>& list = lines.GetLineList();
    list.erase(
        std::remove_if(list.begin(), list.end(), [](const ProjectionStreamLines::Line& line) { return line.empty(); }),
        list.end());
    expressors.reserve(expressors.size() + list.size());
    for (const ProjectionStreamLines::Line& line : list)
    {
        const ProjectionStreamLines::Point3d& start = line.front();
        Expressor& e = AddExpressor(expressors, start.position[0], start.position[1], start.position[2]);
        e.density = start.density * 1000.0f;
        e.intensity = start.intensity;
        LookUpImage(images, start.position[0] * resolution[0], start.position[1] * resolution[1],
                    start.position[2] * resolution[2], e);
    }
}

void GeneExpression::AddProjectionCells(std::vector<Expressor>& expressors, SectionImageLookup& images,
                                        const Image3d& density, const Image3d& intensity, const float* ratio)
{
    // Both volumes are walked voxel by voxel, so they must share one grid.
    if (std::memcmp(density.GetSize(), intensity.GetSize(), 3 * sizeof(unsigned int)) != 0)
        throw std::runtime_error(INVALID_DENSITY);
    const auto* d = static_cast<const unsigned short*>(density.GetBuffer());
    const auto* v = static_cast<const float*>(intensity.GetBuffer());
    ForEachCell([&](std::size_t i, unsigned int x, unsigned int y, unsigned int z) {
        if (!(d[i] / 65536.0f > 0.1f) || v[i] == 0.0f)
            return;
        Expressor& e = AddExpressor(expressors, ratio[0] * x, ratio[1] * y, ratio[2] * z);
        e.density = d[i] / 65536.0f * 1000.0f;
        e.intensity = v[i];
        LookUpImage(images, x * m_gridSpacing[0], y * m_gridSpacing[1], z * m_gridSpacing[2], e);
    });
}

void GeneExpression::AddInjectionCells(std::vector<Expressor>& expressors, SectionImageLookup& images,
                                       const Image3d& mask, const float* ratio)
{
    const auto* m = static_cast<const float*>(mask.GetBuffer());
    const unsigned int* size = mask.GetSize();
    std::size_t i = 0;
    for (unsigned int z = 0; z < size[2]; ++z)
        for (unsigned int y = 0; y < size[1]; ++y)
            for (unsigned int x = 0; x < size[0]; ++x, ++i)
            {
                if (!(m[i] > 0.1f))
                    continue;
                Expressor& e = AddExpressor(expressors, ratio[0] * x, ratio[1] * y, ratio[2] * z);
                e.density = m[i] * 1000.0f;
                e.intensity = Expressor::INJECTION_SITE_INTENSITY;
                LookUpImage(images, x * m_gridSpacing[0], y * m_gridSpacing[1], z * m_gridSpacing[2], e);
            }
}

void GeneExpression::AddDensityCells(std::vector<Expressor>& expressors, const Image3d& density, const float* ratio)
{
    const auto* d = static_cast<const unsigned short*>(density.GetBuffer());
    ForEachCell([&](std::size_t i, unsigned int x, unsigned int y, unsigned int z) {
        const float value = d[i] / 65536.0f;
        if (!(value > 0.1f))
            return;
        Expressor& e = AddExpressor(expressors, ratio[0] * x, ratio[1] * y, ratio[2] * z);
        e.intensity = e.density = value * 12.0f;
    });
}

void GeneExpression::ReadRawVolume(IOStream& stream)
{
    AtlasSpace* space = AtlasSet::GetAtlasSpace("0310", "P56");
    if (!space)
        throw std::runtime_error(ATLAS_NOT_AVAILABLE);
    AddAtlasSpace(space);
    const bool fixedGrid = space->GetAtlas() && space->GetAtlas()->GetAtlasId() == 310;
    std::memcpy(m_gridSize, fixedGrid ? TAV_IMAGE_SIZE : space->GetViewDimensions(), sizeof m_gridSize);
    std::memcpy(m_gridSpacing, fixedGrid ? TAV_RESOLUTION : space->GetViewResolution(), sizeof m_gridSpacing);
    const std::uint64_t count = VoxelCount(m_gridSize);
    const std::uint64_t size = stream.GetSize();

    float maximum = -1.0f;
    if (size == count)
    {
        DataSetEntries::Bytes bytes(count);
        stream.Read(bytes.data(), static_cast<unsigned int>(count));
        m_gridValues.assign(bytes.begin(), bytes.end());
        for (float& value : m_gridValues)
        {
            value /= 255.0f;
            maximum = std::max(maximum, value);
        }
        m_gridValueScale = 1.0f;
    }
    else if (size == 4 * count)
    {
        DataSetEntries::Bytes bytes(4 * count);
        stream.Read(bytes.data(), static_cast<unsigned int>(4 * count));
        m_gridValues.resize(count);
        for (std::size_t i = 0; i < count; ++i)
        {
            const float value = LittleFloat(&bytes[4 * i]);
            // The logarithm of a value that is not a finite positive number would poison the maximum
            // and every cell scaled by it; such a voxel holds 0 and makes no cell.
            const bool usable = std::isfinite(value) && value > 0.0f;
            m_gridValues[i] = usable ? std::log(value) : 0.0f;
            if (usable)
                maximum = std::max(maximum, m_gridValues[i]);
        }
        if (maximum > 0.0f)
            m_gridValueScale = 1.0f / maximum;
        else
            m_gridValueScale = 1.0f;
    }
    else
        throw std::runtime_error("File size is inconsistent with atlas space dimensions.");
    AddRawGridCells(space, maximum);
}

void GeneExpression::AddRawGridCells(AtlasSpace* space, float maximum)
{
    const float threshold = 6.0f;
    std::vector<Expressor>& expressors = EmptySpace(space);
    expressors.reserve(std::count_if(m_gridValues.begin(), m_gridValues.end(),
                                     [threshold](float value) { return value > threshold; }));
    const float* resolution = space->GetViewResolution();
    float ratio[3];
    for (int axis = 0; axis < 3; ++axis)
        ratio[axis] = m_gridSpacing[axis] / resolution[axis];
    ForEachCell([&](std::size_t i, unsigned int x, unsigned int y, unsigned int z) {
        const float value = m_gridValues[i];
        if (!(value > threshold))
            return;
        const float fraction = value / maximum;
        Expressor& e = AddExpressor(expressors, ratio[0] * x, ratio[1] * y, ratio[2] * z);
        e.density = fraction * 0.15686f * 1000.0f * 0.5f;
        e.intensity = 255.0f * std::min(std::max(2.0f * (fraction - 0.5f), 0.0f), 1.0f);
    });
}
