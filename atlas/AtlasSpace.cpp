#include "atlas/AtlasSpace.h"

#include "atlas/Atlas.h"
#include "atlas/AtlasFileError.h"
#include "atlas/BrainMeshSet.h"
#include "atlas/DevMouseMetaReader.h"
#include "atlas/PointSet.h"
#include "core/Image3d.h"
#include "core/TaskProgress.h"
#include "core/UserCancelledOperationException.h"

#include <boost/filesystem/operations.hpp>
#include <boost/format.hpp>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace fs = boost::filesystem;

namespace
{

const char* const ANNOTATION_FILE = "Annotation";
const char* const ATLAS_FILE = "Atlas";
const char* const ATLAS_SLICES_FOLDER = "AtlasSlices";
const char* const VIEW_GRID_PREFIX = "Annotation_Grid_";

bool Exists(const std::string& path)
{
    boost::system::error_code error;
    return fs::exists(path, error);
}

// A user cancel must not read as a broken file: nothing is deleted and no error is shown.
void ThrowIfCancelled(TaskProgress* progress)
{
    if (progress && progress->ShouldCancel())
        throw UserCancelledOperationException();
}

std::int16_t LittleEndianInt16(const unsigned char* bytes)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8));
}

} // namespace

AtlasSpace::AtlasSpace(Atlas* atlas, const std::string& spacesFolder, const AtlasConfigReader::AtlasSpaceInfo& info,
                       int index)
    : m_atlas(atlas)
    , m_path((fs::path(spacesFolder) / info.name).string())
    , m_name(info.name)
    , m_spaceId(info.id)
    , m_index(index)
    , m_invert(info.invert)
{
    for (int k = 0; k < 3; ++k)
    {
        m_viewDimensions[k] = static_cast<unsigned int>(std::max(info.viewDimensions[k], 0));
        m_atlasDimensions[k] = static_cast<unsigned int>(std::max(info.atlasDimensions[k], 0));
        m_viewResolution[k] = info.viewResolution[k];
        m_atlasResolution[k] = info.atlasResolution[k];
        m_meshResolution[k] = info.meshResolution[k];
        m_viewOffset[k] = info.viewOffset[k];
        m_atlasOffset[k] = info.atlasOffset[k];
        m_atlasBregma[k] = info.origin[k];
        m_viewBregma[k] = static_cast<float>(info.origin[k]) * info.atlasResolution[k] / info.viewResolution[k];
    }
    std::copy_n(info.transform, 16, m_transform);
    std::copy_n(info.mniTransform, 16, m_mniTransform);

    m_bitDepth = AnnotationBitDepth();
    if (m_bitDepth != 8 && m_bitDepth != 16)
        throw AtlasFileError(SpaceFile(ANNOTATION_FILE), "Annotation bit depth not supported.");

    m_annotation = CreateAnnotation();
    m_fullAnnotation = CreateAnnotation();
    m_atlasImage = Image3d::CreateImage(typeid(unsigned char));

    m_coronalImagesAvailable = Exists(SpaceFile("coronal_images.xml"));
    m_sagittalImagesAvailable = Exists(SpaceFile("sagittal_images.xml"));
}

AtlasSpace::~AtlasSpace() = default;

std::unique_ptr<Image3d> AtlasSpace::CreateAnnotation() const
{
    return Image3d::CreateImage(m_bitDepth == 16 ? typeid(unsigned short) : typeid(unsigned char));
}

std::string AtlasSpace::SpaceFile(const std::string& name) const
{
    return (fs::path(m_path) / name).string();
}

std::string AtlasSpace::LocalFile(const std::string& name) const
{
    return (fs::path(m_atlas->GetLocalPath()) / name).string();
}

std::string AtlasSpace::ViewGridFile() const
{
    return LocalFile(VIEW_GRID_PREFIX + m_name);
}

unsigned int AtlasSpace::AnnotationBitDepth()
{
    const std::string path = SpaceFile(ANNOTATION_FILE);
    boost::system::error_code error;
    std::ifstream file;
    if (fs::is_regular_file(path, error))
        file.open(path, std::ios::in | std::ios::binary | std::ios::ate);
    if (!file.is_open() || !file)
        throw AtlasFileError(path, "Annotation file could not be opened.");
    const std::streamoff length = file.tellg();
    // 64-bit, so that a large grid cannot wrap to a count that happens to divide the file.
    const std::uint64_t voxels = std::uint64_t(m_atlasDimensions[0]) * m_atlasDimensions[1] * m_atlasDimensions[2];
    if (length < 0 || voxels == 0 || std::uint64_t(length) % voxels != 0)
        throw AtlasFileError(path, "Annotation file size does not correspond to the atlas space dimensions.");
    const std::uint64_t bytesPerVoxel = std::min<std::uint64_t>(std::uint64_t(length) / voxels, 1u << 28);
    return static_cast<unsigned int>(8 * bytesPerVoxel);
}

Image3d* AtlasSpace::GetAnnotationImage()
{
    const std::lock_guard<std::recursive_mutex> lock(m_viewMutex);
    // The full-size annotation may stand in for the view grid; the loading thread may be filling it, so
    // its flag, not the image, tells whether it is open.
    const bool open = m_annotation == m_fullAnnotation ? m_fullAnnotationOpen.load() : m_annotation->IsOpen();
    if (open)
        return m_annotation.get();

    const std::string file = ViewGridFile();
    if (!Exists(file))
        InstallAtlas(nullptr);
    if (!Exists(file))
    {
        m_annotation = m_fullAnnotation;
        return GetFullSizeAnnotationImage();
    }
    if (m_annotation == m_fullAnnotation)
        m_annotation = CreateAnnotation();
    if (!m_annotation->Load(file.c_str(), m_viewDimensions, m_viewResolution, false, nullptr))
        throw AtlasFileError(file, "Could not load 3D annotation image.");
    return m_annotation.get();
}

Image3d* AtlasSpace::GetAnnotationImage(const unsigned int* dims, const float* res)
{
    if (res[0] == m_viewResolution[0])
        return GetAnnotationImage();
    if (res[0] == m_atlasResolution[0])
        return GetFullSizeAnnotationImage();

    const std::lock_guard<std::recursive_mutex> lock(m_viewMutex);
    const auto found = m_annotationGrids.find(res[0]);
    if (found != m_annotationGrids.end())
        return found->second.get();

    std::shared_ptr<Image3d> image = CreateAnnotation();
    const std::string file = LocalFile((boost::format("Annotation_Grid_%1%_%2%") % m_name % res[0]).str());
    if (!Exists(file) || !image->Load(file.c_str(), dims, res, false, nullptr))
    {
        image->Allocate(dims, res);
        image->SetCachableProcessedFilePath(file.c_str());
        const std::lock_guard<std::recursive_mutex> fullLock(m_fullAnnotationMutex);
        image->ResampleFromImage(*GetFullSizeAnnotationImage());
    }
    m_annotationGrids[res[0]] = image;
    return image.get();
}

Image3d* AtlasSpace::GetFullSizeAnnotationImage()
{
    const std::lock_guard<std::recursive_mutex> lock(m_fullAnnotationMutex);
    if (!m_fullAnnotationOpen)
        LoadFullAtlas(nullptr, false, true);
    return m_fullAnnotation.get();
}

Image3d* AtlasSpace::GetAtlasImage()
{
    const std::lock_guard<std::recursive_mutex> lock(m_atlasImageMutex);
    if (!m_atlasImageOpen)
        LoadFullAtlas(nullptr, true, false);
    return m_atlasImage.get();
}

BrainMeshSet* AtlasSpace::GetBrainMeshes()
{
    const std::lock_guard<std::recursive_mutex> lock(m_viewMutex);
    if (!m_meshes)
        m_meshes = std::make_unique<BrainMeshSet>(this);
    return m_meshes.get();
}

std::shared_ptr<PointSet> AtlasSpace::GetSampleGrid()
{
    return LoadPointSet(m_sampleGrid, "samples_columns.csv", true);
}

std::shared_ptr<PointSet> AtlasSpace::GetSurfaceSampleGrid()
{
    return LoadPointSet(m_surfaceSampleGrid, "inflated_surface_samples", false);
}

std::shared_ptr<PointSet> AtlasSpace::LoadPointSet(std::shared_ptr<PointSet>& pointSet, const char* fileName,
                                                   bool inSpace)
{
    const std::lock_guard<std::recursive_mutex> lock(m_viewMutex);
    const std::string file = SpaceFile(fileName);
    if (!pointSet && Exists(file))
    {
        try
        {
            pointSet = std::make_shared<PointSet>(file.c_str(), inSpace ? this : nullptr);
        }
        catch (...)
        {
            // Without its points the space still works; the next request tries again.
        }
    }
    return pointSet;
}

void AtlasSpace::ReleaseMemory()
{
    const std::lock_guard<std::recursive_mutex> viewLock(m_viewMutex);
    m_meshes.reset();
    {
        const std::lock_guard<std::recursive_mutex> lock(m_fullAnnotationMutex);
        m_fullAnnotationOpen = false;
        m_fullAnnotation->Unload();
    }
    const std::lock_guard<std::recursive_mutex> lock(m_atlasImageMutex);
    m_atlasImageOpen = false;
    m_atlasImage->Unload();
}

bool AtlasSpace::FullAtlasIsLoaded() const
{
    return m_atlasImageOpen && m_fullAnnotationOpen;
}

void AtlasSpace::LoadFullAtlas(TaskProgress* progress, bool atlasImage, bool annotation)
{
    const int stages = int(atlasImage) + int(annotation);
    if (stages == 0)
        return;
    if (progress)
        progress->SetNumStages(stages);

    if (annotation)
    {
        const std::lock_guard<std::recursive_mutex> lock(m_fullAnnotationMutex);
        if (!m_fullAnnotationOpen)
            LoadFullSizeAnnotation(progress);
    }
    if (progress && stages == 2)
        progress->IncrementStage();

    if (!atlasImage)
        return;
    const std::lock_guard<std::recursive_mutex> lock(m_atlasImageMutex);
    if (!m_atlasImageOpen)
        LoadAtlasImage(progress);
}

void AtlasSpace::LoadFullSizeAnnotation(TaskProgress* progress)
{
    const std::string file = SpaceFile(ANNOTATION_FILE);
    if (!m_fullAnnotation->Load(file.c_str(), m_atlasDimensions, m_atlasResolution, false, progress))
    {
        ThrowIfCancelled(progress);
        throw AtlasFileError(file, "Could not load full scale 3D annotation image. Please try reinstalling Corvane.");
    }
    m_fullAnnotationOpen = true;
}

void AtlasSpace::LoadAtlasImage(TaskProgress* progress)
{
    const std::string installed = SpaceFile(ATLAS_FILE);
    if (!m_atlasImage->Load(installed.c_str(), m_atlasDimensions, m_atlasResolution, m_invert, progress))
    {
        ThrowIfCancelled(progress);
        const std::string local = LocalFile(ATLAS_FILE);
        if (!m_atlasImage->Load(local.c_str(), m_atlasDimensions, m_atlasResolution, m_invert, progress))
        {
            ThrowIfCancelled(progress);
            boost::system::error_code ignored;
            fs::remove(local, ignored);
            throw AtlasFileError(installed, "Could not load 3D Nissl image.");
        }
    }
    m_atlasImage->SetCachableProcessedFilePath(LocalFile(std::string("Atlas_") + m_name).c_str());
    m_atlasImageOpen = true;
}

bool AtlasSpace::InstallAtlas(TaskProgress* progress)
{
    if (!ImportAtlasSlices(progress))
        return false;
    LoadFullAtlas(nullptr, true, true);
    BuildViewGrid();
    return true;
}

bool AtlasSpace::ImportAtlasSlices(TaskProgress* progress)
{
    const std::string installed = SpaceFile(ATLAS_FILE);
    const std::string slices = SpaceFile(ATLAS_SLICES_FOLDER);
    boost::system::error_code error;
    if (Exists(installed) || !fs::is_directory(slices, error))
        return true;

    const std::lock_guard<std::recursive_mutex> lock(m_atlasImageMutex);
    m_atlasImageOpen = false;
    try
    {
        // A cancelled import holds only some of the slices: it must never become the installed volume.
        if (m_atlasImage->ImportSlices(slices.c_str(), m_atlasDimensions, m_atlasResolution, progress) &&
            m_atlasImage->Save(installed.c_str(), progress))
        {
            m_atlasImage->SetCachableProcessedFilePath(installed.c_str());
            m_atlasImageOpen = true;
            return true;
        }
    }
    catch (...)
    {
    }
    m_atlasImage->Unload();
    return false;
}

void AtlasSpace::BuildViewGrid()
{
    const std::lock_guard<std::recursive_mutex> viewLock(m_viewMutex);
    // The view grid may stand in for the full-size annotation; it must not be resized in its place.
    if (!m_annotation || m_annotation == m_fullAnnotation)
        m_annotation = CreateAnnotation();
    m_annotation->Allocate(m_viewDimensions, m_viewResolution);
    m_annotation->SetCachableProcessedFilePath(ViewGridFile().c_str());
    const std::lock_guard<std::recursive_mutex> lock(m_fullAnnotationMutex);
    m_annotation->ResampleFromImage(*GetFullSizeAnnotationImage());
}

const ImageSeries::ImageInfo* AtlasSpace::ClosestCoronalAtlasSection(float x, float y, float z, unsigned int& seriesId,
                                                                     float& u, float& v)
{
    return ClosestSection(m_coronalSeries, m_coronalImagesAvailable, "coronal_images.xml", x, y, z, seriesId, u, v);
}

const ImageSeries::ImageInfo* AtlasSpace::ClosestSagittalAtlasSection(float x, float y, float z, unsigned int& seriesId,
                                                                      float& u, float& v)
{
    return ClosestSection(m_sagittalSeries, m_sagittalImagesAvailable, "sagittal_images.xml", x, y, z, seriesId, u, v);
}

const ImageSeries::ImageInfo* AtlasSpace::ClosestSection(ImageSeries& series, bool available, const char* fileName,
                                                         float x, float y, float z, unsigned int& seriesId, float& u,
                                                         float& v)
{
    if (!available)
        return nullptr;
    if (series.GetNumImages() == 0)
        LoadImageSeries(fileName, series);
    seriesId = series.GetAtlasId() != 0 ? series.GetAtlasId() : series.GetImageSeriesId();
    return series.FindImageFromPoint(x, y, z, u, v);
}

void AtlasSpace::LoadImageSeries(const std::string& fileName, ImageSeries& series)
{
    const std::string file = SpaceFile(fileName);
    if (!Exists(file))
        return;
    const DevMouseMetaReader reader(file.c_str());
    series.Load(reader);
}

bool AtlasSpace::KestCoordinates(float x, float y, float z, int& a, int& b, int& c)
{
    if (!m_mappingFile.is_open())
    {
        m_mappingFile.open((fs::path(m_path) / "Transforms" / "Mapping").string(), std::ios::in | std::ios::binary);
        if (!m_mappingFile.is_open())
            throw std::runtime_error("The KEST mapping file could not be opened.");
    }
    const float dims[3] = {float(m_viewDimensions[0]), float(m_viewDimensions[1]), float(m_viewDimensions[2])};
    if (!(x > 0 && x < dims[0] && y > 0 && y < dims[1] && z > 0 && z < dims[2]))
        return false;

    const std::uint64_t record =
        (std::uint64_t(z) * m_viewDimensions[1] + std::uint64_t(y)) * m_viewDimensions[0] + std::uint64_t(x);
    // A short read earlier leaves the stream failed; every query starts from a clean state.
    m_mappingFile.clear();
    unsigned char bytes[6];
    if (!m_mappingFile.seekg(std::streamoff(record * 6)) || !m_mappingFile.read(reinterpret_cast<char*>(bytes), 6))
        return false;
    const std::int16_t values[3] = {LittleEndianInt16(bytes), LittleEndianInt16(bytes + 2),
                                    LittleEndianInt16(bytes + 4)};
    if (values[0] < 0 || values[1] < 0 || values[2] < 0)
        return false;
    a = values[0] * 200;
    b = values[1] * 200;
    c = values[2] * 200;
    return true;
}
