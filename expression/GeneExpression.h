#pragma once

#include "atlas/ImageSeries.h"
#include "expression/DataSetEntries.h"
#include "expression/BrainFeature.h"
#include "expression/Expressor.h"
#include "expression/ProjectionStreamLines.h"
#include "expression/Range.h"

#include <map>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

class AdultMouseMetaReader;
class Atlas;
class AtlasSpace;
class Image3d;
class IOStream;
class MouseMetaReader;
class SectionImageLookup;
class ZipReader;

// One data set: a gene-expression experiment, a projection (connectivity) experiment or, through a
// subclass, one microarray probe. It carries the experiment's metadata and section images and, for every
// atlas space it is placed in, its grid cells (expressors) and what they add up to in each structure of
// the atlas ontology (features).
//
// The spaces, their atlases and ontology labels belong to the installed atlas and must outlive the data
// set. Features point into the expressor vectors, so those are never resized once features are filled.
class GeneExpression
{
public:
    enum DataType
    {
        GENE_EXPRESSION = 0,
        PROJECTION = 1
    };

    static const char* const MOUSE_PROJECTION_PROJECT_CODE;
    static constexpr Range DEFAULT_EXPRESSION_LEVEL_RANGE{0.0f, 255.0f};
    // The grid of bare raw grids on atlas 310.
    static const unsigned int TAV_IMAGE_SIZE[3];
    static const float TAV_RESOLUTION[3];

    // Empty, filled later by LoadAtlasSpace.
    GeneExpression();
    // The base of microarray data sets: not loaded.
    GeneExpression(const char* name, const char* symbol);
    // A search result, not loaded; not downloadable when both ids are 0.
    GeneExpression(const char* name, const char* symbol, const char* projectCode, const char* storageDirectory,
                   const char* condition, int planeOfSection, int experimentId, int geneId, float score);
    // A gene-list or relation-graph record, not loaded; not downloadable when both ids are 0.
    GeneExpression(const char* name, const char* symbol, const char* projectCode, int experimentId, int geneId,
                   float score);
    // Decodes downloaded bytes (a data-set zip or a bare grid). Throws std::runtime_error with the reason.
    GeneExpression(const void* bytes, unsigned long size);
    virtual ~GeneExpression();

    GeneExpression(const GeneExpression&) = delete;
    GeneExpression& operator=(const GeneExpression&) = delete;

    // Reads a data-set file and names the data set from a companion ".xml" or the file name. A null atlas
    // means the installed atlas that the data names. Throws std::runtime_error on bad data.
    virtual bool LoadAtlasSpace(const char* path, const Atlas* atlas);
    // Reads a data set's bytes. light reads only the reduced content of a zip and needs the project code
    // set beforehand. Throws std::runtime_error on bad data; the data set must then be discarded.
    virtual bool LoadAtlasSpace(IOStream& stream, bool light, const Atlas* atlas);
    // Adds a space with empty expressors and features; false when it is already there.
    virtual bool AddAtlasSpace(AtlasSpace* space);
    // Data sets are never written.
    virtual void Write(const char* path);
    // Releases the loaded data of a data set that can be downloaded again; the spaces stay.
    virtual void SlimDown();
    virtual int GetExperimentId() const { return m_experimentId; }
    // The experiment's web page: the metadata's URL, else the atlas's template; empty without either.
    virtual std::string GetInfoLinkUrl() const;
    // The section-image page of an expressor of this data set in that space; empty when the expressor has
    // no section image or either argument is null.
    virtual std::string GetSelectedExpressorImageUrl(const Expressor* expressor, const AtlasSpace* space) const;
    virtual int GetDataType() const { return m_dataType; }
    virtual float GetIntensityDisplayScale() const { return m_intensityDisplayScale; }
    // The lines that describe an expressor; nothing when either argument is null.
    virtual void PrintSelectionInfo(std::stringstream& out, const Expressor* expressor, const AtlasSpace* space);
    // The expressor's position, (0, 0, 0) for null.
    virtual void GetProbeLocationForExpressor(const Expressor* expressor, const AtlasSpace* space, float* out);

    // A null space means the first space. Null (empty) when the space holds nothing of this data set.
    std::vector<BrainFeature>* GetBrainFeatures(const AtlasSpace* space);
    const std::vector<BrainFeature>* GetBrainFeatures(const AtlasSpace* space) const;
    std::vector<Expressor>* GetExpressors(const AtlasSpace* space);
    const std::vector<Expressor>* GetExpressors(const AtlasSpace* space) const;
    std::shared_ptr<ProjectionStreamLines> GetProjectionData(const AtlasSpace* space) const;
    // The expressor with exactly that id in that space (not defaulted), or null.
    Expressor* GetExpressorAtGrid(unsigned int id, const AtlasSpace* space);
    const Expressor* GetExpressorAtGrid(unsigned int id, const AtlasSpace* space) const;
    bool HasAtlasSpace(const AtlasSpace* space) const;
    // Null for an index out of range.
    AtlasSpace* GetAtlasSpace(int index);
    const AtlasSpace* GetAtlasSpace(int index) const;
    int GetNumAtlasSpaces() const { return static_cast<int>(m_atlasSpaces.size()); }
    // The query suffix that draws this data set's mask over a section image.
    std::string GetImageMaskFilterParams() const;

    // Stores the colour; the model announces colour changes.
    void SetColor(float red, float green, float blue);
    const float* GetColor() const { return m_color; }
    bool IsVisible() const { return m_visible; }
    void SetVisible(bool visible) { m_visible = visible; }

    const std::string& GetName() const { return m_name; }
    // The display label, composed from the symbol and its qualifiers when the data are read.
    const std::string& GetLabel() const { return m_label; }
    // The title that the result views show: the display label.
    const std::string& GetTitle() const { return m_label; }
    const std::string& GetSymbol() const { return m_symbol; }
    const std::string& GetProjectCode() const { return m_projectCode; }
    // A light read chooses its reader from the project code, so it is set before such a read.
    void SetProjectCode(const std::string& projectCode) { m_projectCode = projectCode; }
    const std::string& GetStorageDirectory() const { return m_storageDirectory; }
    const std::string& GetCondition() const { return m_condition; }
    const std::string& GetInfoUrl() const { return m_infoUrl; }
    // The experiment (image-series) id; 0 for none.
    int GetImageSeriesId() const { return m_experimentId; }
    int GetGeneId() const { return m_geneId; }
    int GetEntrezId() const { return m_entrezId; }
    bool IsLoaded() const { return m_loaded; }
    // Whether the data (and its thumbnail) can be downloaded; the views clear it when a download fails.
    bool IsDownloadable() const { return m_downloadable; }
    void SetDownloadable(bool downloadable) { m_downloadable = downloadable; }
    bool IsCorrelationSearchAvailable() const { return m_correlationSearchAvailable; }
    // Search results carry the flag of their record.
    void SetCorrelationSearchAvailable(bool available) { m_correlationSearchAvailable = available; }
    // Negative: no score.
    float GetScore() const { return m_score; }
    const Range& GetLevelRange() const { return m_levelRange; }
    const Range& GetDisplayRange() const { return m_displayRange; }
    void SetDisplayRange(const Range& range) { m_displayRange = range; }
    // Of the intensities that are not negative; z-score = (value - mean) / deviation.
    float GetMean() const { return m_mean; }
    float GetStandardDeviation() const { return m_standardDeviation; }
    // The image series' plane: -1 none, 0 coronal, 1 sagittal.
    int GetPlaneOfSection() const { return m_imageSeries.GetPlaneOfSection(); }
    const ImageSeries& GetImageSeries() const { return m_imageSeries; }
    ImageSeries& GetImageSeries() { return m_imageSeries; }

    // The grid of a data set read from a bare raw grid: the values (x fastest), empty otherwise, with the
    // size and spacing (µm) of the grid last read and the scale that the grid reader chose.
    const std::vector<float>& GetGridValues() const { return m_gridValues; }
    const unsigned int* GetGridSize() const { return m_gridSize; }
    const float* GetGridSpacing() const { return m_gridSpacing; }
    float GetGridValueScale() const { return m_gridValueScale; }

protected:
    virtual void ReadVersionZip(IOStream& stream, bool light, const Atlas* atlas);
    virtual void ReadRawVolume(IOStream& stream);
    virtual void ReadGeneExpressionZip(ZipReader& zip, bool light);
    virtual void ReadProjectionZip(ZipReader& zip, bool light);
    // Assigns structures to expressors and fills the features of every space that has none yet. Null
    // arguments use the view grid's annotation, else the annotation resampled to that grid.
    virtual void UpdateExpressors(const unsigned int* gridSize, const float* gridSpacing);

private:
    // Take the metadata into the data set and place it; the first answers whether it is a projection.
    bool ReadImageSeriesMetadata(const DataSetEntries::Bytes& bytes, const Atlas* atlas);
    void ReadDataSetMetadata(const DataSetEntries::Bytes& bytes);
    void ReadDataSetMetadata(const AdultMouseMetaReader& reader, AtlasSpace* space);
    // The space of a data set zip's "data_set.xml", null when its atlas is not installed.
    static AtlasSpace* DataSetSpace();
    // A gene zip of the data-set dialect, its metadata parsed while its voxels are inflated; a failure is
    // reported as reading one after the other reports it.
    void ReadDataSetZip(ZipReader& zip, const ZipReader::ZipItem& metadata);
    // A gene zip's voxels on a space's view grid.
    struct GeneVoxels
    {
        DataSetEntries::Bytes density;
        DataSetEntries::Bytes intensity;
    };
    static GeneVoxels ReadGeneVoxels(ZipReader& zip, const AtlasSpace& space);
    void AddGeneVoxelCells(AtlasSpace& space, const GeneVoxels& voxels);
    std::string QualifiedLabel(const MouseMetaReader& reader, const AtlasSpace* space) const;
    AtlasSpace* PrimarySpace() const;
    std::vector<Expressor>& EmptySpace(const AtlasSpace* space);
    // Visits the cells of the data grid, x fastest, with their index.
    template <class Visit>
    void ForEachCell(Visit&& visit) const;
    static Expressor& AddExpressor(std::vector<Expressor>& expressors, float x, float y, float z);
    std::shared_ptr<ProjectionStreamLines> ReadStreamLines(ZipReader& zip, const Image3d* mask,
                                                           const float* resolution);
    void AddStreamLineCells(std::vector<Expressor>& expressors, SectionImageLookup& images,
                            ProjectionStreamLines& lines, const float* resolution);
    void AddProjectionCells(std::vector<Expressor>& expressors, SectionImageLookup& images, const Image3d& density,
                            const Image3d& intensity, const float* ratio);
    void AddInjectionCells(std::vector<Expressor>& expressors, SectionImageLookup& images, const Image3d& mask,
                           const float* ratio);
    void AddDensityCells(std::vector<Expressor>& expressors, const Image3d& density, const float* ratio);
    void AddRawGridCells(AtlasSpace* space, float maximum);

protected:
    ImageSeries m_imageSeries;
    std::vector<float> m_gridValues;
    unsigned int m_gridSize[3] = {0, 0, 0};
    float m_gridSpacing[3] = {0.0f, 0.0f, 0.0f};
    float m_gridValueScale = 1.0f;
    float m_intensityDisplayScale = 255.0f;
    std::vector<AtlasSpace*> m_atlasSpaces;
    std::map<const AtlasSpace*, std::vector<Expressor>> m_expressors;
    std::map<const AtlasSpace*, std::vector<BrainFeature>> m_features;
    std::map<const AtlasSpace*, std::shared_ptr<ProjectionStreamLines>> m_projectionData;
    // Whole-number intensities of the cells of one space: how many, their sum and the sum of their squares.
    struct IntensityTotals
    {
        std::uint64_t count = 0;
        std::uint64_t sum = 0;
        std::uint64_t sumOfSquares = 0;
    };
    // Spaces whose features were filled as their cells were made, with their cells' intensities, for
    // UpdateExpressors to take in.
    std::map<const AtlasSpace*, IntensityTotals> m_listedSpaces;
    int m_experimentId = 0;
    int m_geneId = 0;
    int m_entrezId = 0;
    std::string m_name;
    std::string m_label;
    std::string m_symbol;
    std::string m_storageDirectory;
    std::string m_condition;
    std::string m_projectCode;
    std::string m_infoUrl;
    bool m_loaded = true;
    bool m_downloadable = true;
    bool m_correlationSearchAvailable = true;
    float m_color[3] = {0.9f, 0.9f, 0.0f};
    bool m_visible = true;
    float m_score = -1.0f;
    Range m_levelRange = DEFAULT_EXPRESSION_LEVEL_RANGE;
    Range m_displayRange = DEFAULT_EXPRESSION_LEVEL_RANGE;
    float m_mean = 0.0f;
    float m_standardDeviation = 1.0f;
    int m_dataType = GENE_EXPRESSION;
};
