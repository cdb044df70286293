#include "atlas/Atlas.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/AtlasFileError.h"
#include "atlas/AtlasConfigReader.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainMeshSet.h"
#include "atlas/BrainOntology.h"
#include "atlas/GeneColorModes.h"
#include "atlas/SearchConfig.h"
#include "core/Directories.h"
#include "core/UserPreferences.h"

#include <boost/filesystem/operations.hpp>
#include <boost/format.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <stdexcept>

namespace fs = boost::filesystem;

const std::string Atlas::MOUSE_PROJECTION_CODE = "0378";
const std::string Atlas::EMPTY_STRING;

namespace
{

const unsigned int ADULT_MOUSE_ID = 310;
const unsigned int DEVELOPING_MOUSE_ID = 350;
const unsigned int MICROARRAY_ID = 351;
const unsigned int MOUSE_CONNECTIVITY_ID = 378;

bool IsMouseAtlas(unsigned int id)
{
    return id == ADULT_MOUSE_ID || id == DEVELOPING_MOUSE_ID || id == MOUSE_CONNECTIVITY_ID;
}

bool IsDigits(const std::string& token)
{
    return !token.empty() &&
           std::all_of(token.begin(), token.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

} // namespace

Atlas::Atlas(const std::string& folder)
    : m_path(folder)
    , m_localPath((fs::path(folder) / "Local").string())
{
    EnsureDirectory(m_localPath);

    const std::string info = (fs::path(folder) / "Info.xml").string();
    const auto reader =
        AtlasFileError::Reading(info, [&info] { return std::make_unique<AtlasConfigReader>(info.c_str()); });
    const AtlasConfigReader& config = *reader;
    if (config.GetMinAppVersion() > UserPreferences::GetPreferences()->GetBuildNumber())
        throw AtlasFileError(
            info, (boost::format("Atlas requires a newer version (%1%) of Corvane") % config.GetMinAppVersion()).str());

    m_name = config.GetName();
    m_project = config.GetProject();
    m_attribution = config.GetAttribution();
    m_atlasId = config.GetAtlasId();
    m_version = config.GetVersion();
    m_defaultOntologyDisplayLevel = config.GetDefaultOntologyDisplayLevel();
    std::copy_n(config.GetDefaultRotation(), 4, m_defaultRotation);
    std::copy_n(config.GetCompassTransform(), 16, m_compassTransform);
    std::copy_n(config.GetPlaneMapping(), 3, m_planeMapping);

    m_urls = config.GetUrls();
    if (m_urls.empty())
        throw AtlasFileError(info, (boost::format("URLs not specified for atlas at %1%") % folder).str());
    for (const AtlasURLs& urls : m_urls)
        m_urlMap.emplace(urls.projectCode, &urls);

    const std::string spacesFolder = (fs::path(folder) / "Spaces").string();
    const std::vector<AtlasConfigReader::AtlasSpaceInfo>& spaces = config.GetSpaces();
    for (std::size_t i = 0; i < spaces.size(); ++i)
    {
        const AtlasConfigReader::AtlasSpaceInfo& info = spaces[i];
        m_spaces.push_back(std::make_unique<AtlasSpace>(this, spacesFolder, info, static_cast<int>(i)));
        AtlasSpace* space = m_spaces.back().get();
        m_spaceMap[space->GetName()] = space;
        for (int k = 0; k < 3; ++k)
        {
            const unsigned int viewCount = space->GetViewDimensions()[k];
            const float viewExtent = static_cast<float>(viewCount) * space->GetViewResolution()[k];
            const float atlasExtent =
                static_cast<float>(space->GetAtlasDimensions()[k]) * space->GetAtlasResolution()[k];
            m_physicalViewSize[k] = std::max({m_physicalViewSize[k], viewExtent, atlasExtent});
            m_viewSizeGrid[k] = std::max(m_viewSizeGrid[k], viewCount);
        }
        if (space->CoronalImagesAvailable() || space->SagittalImagesAvailable())
            m_hasHighResolutionAtlasImages = true;
    }

    m_geneColorModes = std::make_unique<GeneColorModes>(this);
    const std::string& colormapName = config.GetDefaultColormapName();
    m_defaultColormap = m_geneColorModes->GetColormap(colormapName.empty() ? std::string("jet") : colormapName);
}

Atlas::~Atlas() = default;

std::shared_ptr<BrainOntology> Atlas::GetOntology()
{
    const std::lock_guard<std::recursive_mutex> lock(m_lazyMutex);
    if (m_ontology)
        return m_ontology;

    const bool defaultHasMesh = m_atlasId != MICROARRAY_ID;
    const fs::path version2 = fs::path(m_path) / "ontology_v2.csv";
    const fs::path version1 = fs::path(m_path) / "ontology.csv";
    const bool hasVersion2 = fs::exists(version2);
    if (!hasVersion2 && !fs::exists(version1))
        throw AtlasFileError(version2.string(), "Could not find ontology file");
    const std::string file = (hasVersion2 ? version2 : version1).string();
    m_ontology = AtlasFileError::Reading(
        file, [&] { return std::make_shared<BrainOntology>(file.c_str(), hasVersion2, hasVersion2, defaultHasMesh); });

    if (m_atlasId == MICROARRAY_ID)
        SetupOntologySpatialObjects();
    return m_ontology;
}

const Colormap& Atlas::GetAnnotationColormap()
{
    const std::lock_guard<std::recursive_mutex> lock(m_lazyMutex);
    if (m_annotationColormap.valid)
        return m_annotationColormap;

    const std::shared_ptr<BrainOntology> ontology = GetOntology();
    // Slices look colours up by annotation value, and values may exceed the number of labels.
    unsigned int count = ontology->GetNumLabels();
    for (unsigned int i = 0; i < ontology->GetNumLabels(); ++i)
        count = std::max(count, ontology->GetAnnotationLabelByIndex(i)->annotationValue + 1u);

    Colormap colormap;
    colormap.Create(count);
    for (unsigned int value = 1; value < count; ++value)
    {
        const unsigned char* color = ontology->GetAnnotationLabel(static_cast<unsigned short>(value))->color;
        std::copy_n(color, 3, &colormap.entries[3 * value]);
    }
    colormap.CalculateMeanValue();
    m_annotationColormap = std::move(colormap);
    return m_annotationColormap;
}

std::shared_ptr<SearchConfig> Atlas::GetSearchConfig()
{
    const std::lock_guard<std::recursive_mutex> lock(m_lazyMutex);
    if (!m_searchConfig)
    {
        const std::shared_ptr<BrainOntology> ontology = GetOntology();
        m_searchConfig = AtlasFileError::Reading(SearchConfig::FilePath(m_path),
                                                 [&] { return std::make_shared<SearchConfig>(ontology, m_path); });
    }
    return m_searchConfig;
}

const AtlasURLs& Atlas::GetUrls(const char* projectCode) const
{
    if (!projectCode || !*projectCode)
        return m_urls.front();
    const auto found = m_urlMap.find(projectCode);
    if (found == m_urlMap.end())
        throw std::runtime_error((boost::format("URLs not found for project %1%") % projectCode).str());
    return *found->second;
}

bool Atlas::HasUrls(const char* projectCode) const
{
    return !projectCode || !*projectCode || m_urlMap.count(projectCode) > 0;
}

const std::string& Atlas::GetHostUrl(const char* projectCode) const
{
    return GetUrls(projectCode).host;
}

const std::string& Atlas::GetGridDownloadUrl(const char* projectCode) const
{
    return GetUrls(projectCode).grid;
}

const std::string& Atlas::GetShowImageInfoUrl(const char* projectCode) const
{
    return GetUrls(projectCode).imageSeriesDisplay;
}

const std::string& Atlas::GetMultiExperimentViewerUrl(const char* projectCode) const
{
    return GetUrls(projectCode).multiExperimentViewer;
}

const std::string& Atlas::GetShowImageUrl(const char* projectCode) const
{
    return GetUrls(projectCode).imageViewer;
}

const std::string& Atlas::GetShowAtlasUrl(const char* projectCode) const
{
    return GetUrls(projectCode).atlasImageViewer;
}

const std::string& Atlas::GetImageTileUrl(const char* projectCode) const
{
    return GetUrls(projectCode).imageTile;
}

const std::string& Atlas::GetImageServiceUrl(const char* projectCode) const
{
    return GetUrls(projectCode).imageService;
}

const std::string& Atlas::GetGeneSearchUrl(const char* projectCode) const
{
    return GetUrls(projectCode).geneSearch;
}

const std::string& Atlas::GetCorrelationSearchUrl(const char* projectCode) const
{
    return GetUrls(projectCode).correlationSearch;
}

const std::string& Atlas::GetDifferentialSearchUrl(const char* projectCode) const
{
    return GetUrls(projectCode).differentialSearch;
}

bool Atlas::HasIntegratedSearch() const
{
    return IsMouseAtlas(m_atlasId);
}

bool Atlas::HasProjectionSearch() const
{
    return (m_atlasId == ADULT_MOUSE_ID || m_atlasId == MOUSE_CONNECTIVITY_ID) &&
           m_urlMap.count(MOUSE_PROJECTION_CODE) != 0;
}

bool Atlas::HasColocatedSamples() const
{
    return m_atlasId == MICROARRAY_ID;
}

bool Atlas::HasHighResImageViews() const
{
    return IsMouseAtlas(m_atlasId);
}

bool Atlas::HasExpressionZScore() const
{
    return m_atlasId == MICROARRAY_ID;
}

bool Atlas::UnionizeExpressionToStructures() const
{
    return false;
}

bool Atlas::HasStretchedExpressionRangeForDisplay() const
{
    return m_atlasId == MICROARRAY_ID;
}

const char* Atlas::GetExperimentIdentifierName() const
{
    return m_atlasId == MICROARRAY_ID ? "Probe" : "Image Series";
}

const std::string& Atlas::GetProjectionProjectCode() const
{
    return m_atlasId == ADULT_MOUSE_ID || m_atlasId == MOUSE_CONNECTIVITY_ID ? MOUSE_PROJECTION_CODE : EMPTY_STRING;
}

void Atlas::Retain()
{
    ++m_retainCount;
}

void Atlas::Release()
{
    if (m_retainCount == 0)
        return;
    if (--m_retainCount == 0)
        for (const std::unique_ptr<AtlasSpace>& space : m_spaces)
            space->ReleaseMemory();
}

AtlasSpace* Atlas::GetSpace(const std::string& name) const
{
    const auto found = m_spaceMap.find(name);
    return found != m_spaceMap.end() ? found->second : nullptr;
}

AtlasSpace* Atlas::GetSpace(unsigned int index) const
{
    if (index >= m_spaces.size())
        throw std::out_of_range("atlas space index out of range");
    return m_spaces[index].get();
}

unsigned int Atlas::GetPlane(Image3dPlane::Plane plane) const
{
    // The value may come from a cast integer: only three entries exist.
    if (!Image3dPlane::IsValid(plane))
        throw std::invalid_argument("Invalid plane specified.");
    return m_planeMapping[plane];
}

bool Atlas::InstallAtlas(TaskProgress* progress)
{
    CleanLocalAtlasFiles();
    for (const std::unique_ptr<AtlasSpace>& space : m_spaces)
        if (!space->InstallAtlas(progress))
            return false;
    return true;
}

void Atlas::CleanLocalAtlasFiles()
{
    boost::system::error_code error;
    if (!fs::exists(m_localPath, error))
        return;
    fs::remove_all(m_localPath, error);
    if (!error)
        fs::create_directories(m_localPath, error);
    if (error || !fs::is_directory(m_localPath))
        throw std::runtime_error((boost::format("Failed to update the atlas files at %1%.") % m_localPath).str());
}

void Atlas::SetupOntologySpatialObjects()
{
    const std::lock_guard<std::recursive_mutex> lock(m_lazyMutex);
    if (!m_ontology)
        return;
    BrainOntology& ontology = *m_ontology;
    const std::string listPath = (fs::path(m_localPath) / "SpatialObjectList").string();
    boost::system::error_code error;
    if (fs::exists(listPath, error))
    {
        if (ReadSpatialObjectList(ontology, listPath))
            return;
        for (unsigned int i = 1; i < ontology.GetNumLabels(); ++i)
            ontology.SetAnnotationAtIndexHasSpatialObject(i, false, false);
    }
    RebuildSpatialObjectList(ontology, listPath);
}

bool Atlas::ReadSpatialObjectList(BrainOntology& ontology, const std::string& listPath) const
{
    std::ifstream list(listPath);
    if (!list)
        return false;
    std::string token;
    while (list >> token)
    {
        if (!IsDigits(token) || token.size() > 10)
            return false;
        const unsigned long long id = std::stoull(token);
        if (id > 0xFFFFFFFFull ||
            !ontology.SetAnnotationWithDatabaseIdHasSpatialObject(static_cast<unsigned int>(id), true))
            return false;
    }
    return !list.bad();
}

void Atlas::RebuildSpatialObjectList(BrainOntology& ontology, const std::string& listPath) const
{
    const unsigned int count = ontology.GetNumLabels();
    for (unsigned int i = 1; i < count; ++i)
        if (BrainMeshSet::SpatialObjectFileExists(ontology.GetAnnotationLabelByIndex(i), this))
            ontology.SetAnnotationAtIndexHasSpatialObject(i, true, true);

    std::ofstream list(listPath, std::ios::out | std::ios::trunc);
    for (unsigned int i = 1; list && i < count; ++i)
    {
        const AnnotationLabel* label = ontology.GetAnnotationLabelByIndex(i);
        if (label->hasMesh)
            list << label->databaseId << '\n' << std::flush;
    }
    if (!list)
    {
        // The list only saves a scan of the mesh folders next time; without it nothing is lost.
        list.close();
        boost::system::error_code ignored;
        fs::remove(listPath, ignored);
    }
}
