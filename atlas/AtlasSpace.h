#pragma once

#include "atlas/AtlasConfigReader.h"
#include "atlas/ImageSeries.h"

#include <atomic>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class Atlas;
class BrainMeshSet;
class Image3d;
class PointSet;
class TaskProgress;

// One coordinate space of an atlas: the geometry of its full "atlas" grid and coarser "view" grid, its
// annotation and Nissl volumes, section image series, sample points and structure meshes. Volumes are
// loaded on first request; the view grid is cached in the atlas's Local folder.
//
// The document's loading thread fills the full-size volumes while the main thread keeps drawing from the
// view grid, so each volume has its own lock: a volume is never built twice or read half-built, and
// drawing does not wait for a volume it does not use. Locks are taken in the order view, full-size
// annotation, Nissl image.
class AtlasSpace
{
public:
    // Throws an AtlasFileError when the space's "Annotation" file is missing or does not fit the grid.
    AtlasSpace(Atlas* atlas, const std::string& spacesFolder, const AtlasConfigReader::AtlasSpaceInfo& info, int index);
    virtual ~AtlasSpace();

    AtlasSpace(const AtlasSpace&) = delete;
    AtlasSpace& operator=(const AtlasSpace&) = delete;

    virtual Atlas* GetAtlas() { return m_atlas; }
    virtual const Atlas* GetAtlas() const { return m_atlas; }
    // The annotation on the view grid; when no view grid can be built, the full-size annotation. A volume
    // that cannot be read throws an AtlasFileError naming it.
    virtual Image3d* GetAnnotationImage();
    // The annotation on a grid of that spacing (only the x spacing tells grids apart), cached in Local.
    virtual Image3d* GetAnnotationImage(const unsigned int* dims, const float* res);
    virtual Image3d* GetFullSizeAnnotationImage();
    virtual Image3d* GetAtlasImage();
    virtual BrainMeshSet* GetBrainMeshes();
    virtual const std::string& GetPath() const { return m_path; }
    virtual const std::string& GetName() const { return m_name; }
    // The Info.xml space id (a donor's id in microarray atlases).
    int GetSpaceId() const { return m_spaceId; }
    // The position of the space in its atlas.
    virtual int GetIndex() const { return m_index; }
    virtual const float* GetTransform() const { return m_transform; }
    virtual const float* GetMNITransform() const { return m_mniTransform; }
    // Empty when the file is absent or unreadable; tried again on the next call.
    virtual std::shared_ptr<PointSet> GetSampleGrid();
    virtual std::shared_ptr<PointSet> GetSurfaceSampleGrid();
    virtual const unsigned int* GetViewDimensions() const { return m_viewDimensions; }
    virtual const unsigned int* GetAtlasDimensions() const { return m_atlasDimensions; }
    virtual const float* GetViewResolution() const { return m_viewResolution; }
    virtual const float* GetAtlasResolution() const { return m_atlasResolution; }
    virtual const float* GetMeshResolution() const { return m_meshResolution; }
    virtual const int* GetAtlasBregma() const { return m_atlasBregma; }
    virtual const float* GetViewBregma() const { return m_viewBregma; }
    virtual const float* GetAtlasOffset() const { return m_atlasOffset; }
    virtual const float* GetViewOffset() const { return m_viewOffset; }
    // Frees the Nissl image, the full-size annotation and the mesh set; they reload on demand.
    virtual void ReleaseMemory();
    virtual bool FullAtlasIsLoaded() const;
    // Loads the Nissl image and the full-size annotation as asked. Throws an AtlasFileError naming the
    // volume that cannot be read, UserCancelledOperationException when the progress was cancelled.
    virtual void LoadFullAtlas(TaskProgress* progress, bool atlasImage, bool annotation);
    // Builds the Nissl volume from its JPEG slices when needed and caches the view grid in Local.
    // False when the slices could not be imported or the import was cancelled.
    virtual bool InstallAtlas(TaskProgress* progress);
    virtual bool CoronalImagesAvailable() const { return m_coronalImagesAvailable; }
    virtual bool SagittalImagesAvailable() const { return m_sagittalImagesAvailable; }
    // The nearest reference section to a view point, with the point's place (u, v) in it; null when the
    // space has no such sections.
    virtual const ImageSeries::ImageInfo* ClosestCoronalAtlasSection(float x, float y, float z, unsigned int& seriesId,
                                                                     float& u, float& v);
    virtual const ImageSeries::ImageInfo* ClosestSagittalAtlasSection(float x, float y, float z, unsigned int& seriesId,
                                                                      float& u, float& v);
    // The correlation-grid coordinates (µm) of a view voxel; false outside the grid or without a mapping.
    // Throws std::runtime_error "The KEST mapping file could not be opened.".
    virtual bool KestCoordinates(float x, float y, float z, int& a, int& b, int& c);
    // 8 or 16 (or any other multiple of 8), from the size of the "Annotation" file.
    virtual unsigned int AnnotationBitDepth();
    virtual void LoadImageSeries(const std::string& fileName, ImageSeries& series);

private:
    std::unique_ptr<Image3d> CreateAnnotation() const;
    std::string SpaceFile(const std::string& name) const;
    std::string LocalFile(const std::string& name) const;
    std::string ViewGridFile() const;
    Image3d* FullSizeAnnotation();
    void LoadFullSizeAnnotation(TaskProgress* progress);
    void LoadAtlasImage(TaskProgress* progress);
    bool ImportAtlasSlices(TaskProgress* progress);
    void BuildViewGrid();
    const ImageSeries::ImageInfo* ClosestSection(ImageSeries& series, bool available, const char* fileName, float x,
                                                 float y, float z, unsigned int& seriesId, float& u, float& v);
    std::shared_ptr<PointSet> LoadPointSet(std::shared_ptr<PointSet>& pointSet, const char* fileName, bool inSpace);

    Atlas* m_atlas;
    std::unique_ptr<BrainMeshSet> m_meshes;
    std::shared_ptr<Image3d> m_annotation;
    std::map<float, std::shared_ptr<Image3d>> m_annotationGrids;
    std::shared_ptr<Image3d> m_fullAnnotation;
    std::shared_ptr<Image3d> m_atlasImage;
    std::shared_ptr<PointSet> m_sampleGrid;
    std::shared_ptr<PointSet> m_surfaceSampleGrid;
    ImageSeries m_coronalSeries;
    ImageSeries m_sagittalSeries;
    bool m_coronalImagesAvailable = false;
    bool m_sagittalImagesAvailable = false;
    std::string m_path;
    std::string m_name;
    std::ifstream m_mappingFile;
    unsigned int m_viewDimensions[3];
    unsigned int m_atlasDimensions[3];
    int m_spaceId;
    int m_index;
    int m_atlasBregma[3];
    float m_viewBregma[3];
    float m_viewResolution[3];
    float m_atlasResolution[3];
    float m_meshResolution[3];
    float m_viewOffset[3];
    float m_atlasOffset[3];
    float m_transform[16];
    float m_mniTransform[16];
    bool m_invert;
    unsigned int m_bitDepth = 8;

    // The view grid, the grids by spacing, the sample points and the mesh set.
    mutable std::recursive_mutex m_viewMutex;
    mutable std::recursive_mutex m_fullAnnotationMutex;
    mutable std::recursive_mutex m_atlasImageMutex;
    // Whether the full-size volumes are open, readable without waiting for a load in progress.
    std::atomic<bool> m_fullAnnotationOpen{false};
    std::atomic<bool> m_atlasImageOpen{false};
};
