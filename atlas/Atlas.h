#pragma once

#include "atlas/AtlasURLs.h"
#include "atlas/Colormap.h"
#include "core/Image3dPlane.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class AtlasSpace;
class BrainOntology;
class GeneColorModes;
class SearchConfig;
class TaskProgress;

// An installed atlas: one folder under the user atlas folder with its Info.xml, ontology, coordinate
// spaces, colour tables and the "Local" folder of files derived from them. The ontology, search domains
// and annotation colormap are built on first request; a failed build is tried again on the next.
class Atlas
{
public:
    // Throws std::runtime_error when the folder does not hold a usable atlas: an AtlasFileError naming
    // Info.xml or a space's "Annotation" when one of them cannot be read.
    explicit Atlas(const std::string& folder);
    virtual ~Atlas();

    Atlas(const Atlas&) = delete;
    Atlas& operator=(const Atlas&) = delete;

    // Loaded on first call; an ontology file that is missing or cannot be read throws an AtlasFileError
    // naming it.
    virtual std::shared_ptr<BrainOntology> GetOntology();
    // Indexed by annotation value.
    virtual const Colormap& GetAnnotationColormap();
    virtual const std::string& GetPath() const { return m_path; }
    virtual const std::string& GetLocalPath() const { return m_localPath; }
    virtual const std::string& GetName() const { return m_name; }
    virtual const std::string& GetProject() const { return m_project; }
    virtual const std::string& GetAttribution() const { return m_attribution; }
    virtual unsigned int GetAtlasId() const { return m_atlasId; }
    virtual int GetVersion() const { return m_version; }
    virtual const float* GetDefaultRotation() const { return m_defaultRotation; }
    virtual const float* GetCompassTransform() const { return m_compassTransform; }
    virtual const Colormap* GetDefaultColormap() const { return m_defaultColormap; }
    virtual int GetDefaultOntologyDisplayLevel() const { return m_defaultOntologyDisplayLevel; }
    virtual std::shared_ptr<SearchConfig> GetSearchConfig();
    // The axis that the plane maps to. Throws std::invalid_argument for a value outside the three planes.
    virtual unsigned int GetPlane(Image3dPlane::Plane plane) const;
    virtual const float* GetPhysicalViewSize() const { return m_physicalViewSize; }
    virtual const unsigned int* GetViewSizeGrid() const { return m_viewSizeGrid; }

    // URL templates of a project (the first record for a null or empty code). Throw std::runtime_error
    // "URLs not found for project <code>" when the atlas has no record of that code.
    virtual const std::string& GetHostUrl(const char* projectCode) const;
    virtual const std::string& GetGridDownloadUrl(const char* projectCode) const;
    virtual const std::string& GetShowImageInfoUrl(const char* projectCode) const;
    virtual const std::string& GetMultiExperimentViewerUrl(const char* projectCode) const;
    virtual const std::string& GetShowImageUrl(const char* projectCode) const;
    virtual const std::string& GetShowAtlasUrl(const char* projectCode) const;
    virtual const std::string& GetImageTileUrl(const char* projectCode) const;
    virtual const std::string& GetImageServiceUrl(const char* projectCode) const;
    virtual const std::string& GetGeneSearchUrl(const char* projectCode) const;
    virtual const std::string& GetCorrelationSearchUrl(const char* projectCode) const;
    virtual const std::string& GetDifferentialSearchUrl(const char* projectCode) const;

    // Features that differ between the kinds of atlas served, chosen by atlas id.
    virtual bool HasIntegratedSearch() const;
    virtual bool HasProjectionSearch() const;
    virtual bool HasColocatedSamples() const;
    virtual bool HasHighResImageViews() const;
    virtual bool HasExpressionZScore() const;
    virtual bool UnionizeExpressionToStructures() const;
    virtual bool HasStretchedExpressionRangeForDisplay() const;
    virtual const char* GetExperimentIdentifierName() const;
    virtual bool HasHighResolutionAtlasImages() const { return m_hasHighResolutionAtlasImages; }
    virtual const std::string& GetProjectionProjectCode() const;

    // Counts the users of the atlas's large data; the last Release frees the spaces' loaded volumes.
    // A Release without a matching Retain is ignored.
    virtual void Retain();
    virtual void Release();
    virtual AtlasSpace* GetSpace(const std::string& name) const;
    // Throws std::out_of_range for an index not below GetNumSpaces.
    virtual AtlasSpace* GetSpace(unsigned int index) const;
    virtual unsigned int GetNumSpaces() const { return static_cast<unsigned int>(m_spaces.size()); }
    // Rebuilds the Local folder's derived files of every space; false when a space could not be built.
    virtual bool InstallAtlas(TaskProgress* progress);
    // Empties the Local folder. Throws std::runtime_error "Failed to update the atlas files at <path>.".
    virtual void CleanLocalAtlasFiles();
    // Sets the has-mesh flags of the loaded ontology from the Local "SpatialObjectList", rebuilding the
    // list from the mesh files when it is missing or broken. Never fails.
    virtual void SetupOntologySpatialObjects();
    virtual const AtlasURLs& GetUrls(const char* projectCode) const;
    // Whether the URL getters answer for that project code (always for a null or empty one); never throws.
    virtual bool HasUrls(const char* projectCode) const;

    const GeneColorModes& GetGeneColorModes() const { return *m_geneColorModes; }

    static const std::string MOUSE_PROJECTION_CODE;
    static const std::string EMPTY_STRING;

private:
    bool ReadSpatialObjectList(BrainOntology& ontology, const std::string& listPath) const;
    void RebuildSpatialObjectList(BrainOntology& ontology, const std::string& listPath) const;

    std::vector<std::unique_ptr<AtlasSpace>> m_spaces;
    std::map<std::string, AtlasSpace*> m_spaceMap;
    std::vector<AtlasURLs> m_urls;
    std::map<std::string, const AtlasURLs*> m_urlMap;
    std::shared_ptr<BrainOntology> m_ontology;
    std::string m_path;
    std::string m_localPath;
    std::string m_name;
    std::string m_project;
    std::string m_attribution;
    Colormap m_annotationColormap;
    unsigned int m_atlasId = 0;
    int m_version = 0;
    unsigned int m_retainCount = 0;
    float m_physicalViewSize[3] = {0.0f, 0.0f, 0.0f};
    unsigned int m_viewSizeGrid[3] = {0, 0, 0};
    unsigned int m_planeMapping[3] = {0, 1, 2};
    float m_defaultRotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float m_compassTransform[16] = {};
    std::shared_ptr<SearchConfig> m_searchConfig;
    std::unique_ptr<GeneColorModes> m_geneColorModes;
    const Colormap* m_defaultColormap = nullptr;
    bool m_hasHighResolutionAtlasImages = false;
    int m_defaultOntologyDisplayLevel = 0;
    // The members built on first request may be asked for by the atlas-loading thread and the main
    // thread at once.
    std::recursive_mutex m_lazyMutex;
};
