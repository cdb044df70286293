#pragma once

#include "atlas/GeneralAnnotationSelector.h"
#include "atlas/SampleColoringState.h"
#include "core/Image3dPlane.h"
#include "expression/BrainExpressionModelListener.h"
#include "expression/ModelChangeCode.h"
#include "expression/Range.h"

#include <memory>
#include <string>
#include <vector>

class AnnotationLabel;
class Atlas;
class AtlasSpace;
class Colormap;
class GeneExpression;
struct Expressor;

// The state of one open document: the loaded data sets, the selectors, planes, probe, camera and display
// settings, and the current selection. Every change goes through a setter; with notify set the setter
// announces it to the listeners with a ModelChangeCode. Seven display settings persist in the preferences
// store. User-interface thread only.
//
// It is also what colours microarray samples on the atlas's surfaces (SampleColoringState).
class BrainExpressionModel : public SampleColoringState
{
public:
    using Selector = GeneralAnnotationSelector<unsigned long long>;

    // The gene colour-mode numbers of GeneColorModes; NO_MODE means none.
    using GeneColorMode = int;
    static constexpr GeneColorMode NO_MODE = 7;

    enum ToolMode
    {
        ROTATE_TOOL = 0,
        PAN_TOOL = 1,
        PICK_TOOL = 2
    };

    enum MeshDisplayStyle
    {
        OPAQUE_MESHES = 0,
        TRANSLUCENT_MESHES = 1
    };

    enum CompassLocation
    {
        COMPASS_IN_CORNER = 0,
        COMPASS_AT_BREGMA = 1,
        COMPASS_HIDDEN = 2
    };

    enum ImageDisplayMode
    {
        CORONAL_PLATE = 0,
        SAGITTAL_PLATE = 1,
        SECTION_IMAGE = 2
    };

    static const Range DEFAULT_VOLUME_RENDER_WINDOW;
    static const Range DEFAULT_MIP_WINDOW;
    static const Range DEFAULT_MOX_EXPRESSION_LEVEL_WINDOW;
    static const Range DEFAULT_EXPRESSION_ZSCORE_WINDOW;
    static const Range DEFAULT_EXPRESSION_LEVEL_WINDOW;
    static const Range DEFAULT_EXPRESSION_ZSCORE_RANGE;
    static constexpr float DEFAULT_ZOOM = 40.0f;

    // Retains the atlas, resets the view and applies the saved display settings. Throws when the atlas's
    // ontology cannot be loaded.
    explicit BrainExpressionModel(std::shared_ptr<Atlas> atlas);
    // Saves the display settings and releases the atlas.
    ~BrainExpressionModel() override;

    BrainExpressionModel(const BrainExpressionModel&) = delete;
    BrainExpressionModel& operator=(const BrainExpressionModel&) = delete;

    virtual void SaveSettings();
    virtual const Atlas* GetAtlas() const { return m_atlas.get(); }
    virtual Atlas* GetAtlas() { return m_atlas.get(); }
    // The atlas in shared ownership, for what outlives the model (bookmarks).
    const std::shared_ptr<Atlas>& GetSharedAtlas() const { return m_atlas; }

    virtual bool GetLiveUpdate() const { return m_liveUpdate; }
    virtual void SetLiveUpdate(bool on) { m_liveUpdate = on; }

    const Selector& GetExpressionSelector() const override { return m_expressionSelector; }
    virtual void SetExpressionSelector(const Selector& selector, bool notify);
    // The structures in which the listed data sets have dense expressors; indices out of range are skipped.
    virtual void SetStructureSelectorForGenes(const int* indices, int count);
    virtual const Selector& GetStructureSelector() const { return m_structureSelector; }
    virtual void SetStructureSelector(const Selector& selector, bool notify);
    virtual void ShowInnerStructures();
    virtual void ShowSearchableStructures();

    // Throws std::runtime_error for a data set of another atlas or of none. False, adding nothing, when a
    // data set of the same experiment is already held.
    virtual bool AddGeneExpression(std::shared_ptr<GeneExpression> gene, bool assignColor);
    virtual int GetNumGenes() const { return static_cast<int>(m_genes.size()); }
    // Null for an index outside the list.
    virtual std::shared_ptr<GeneExpression> GetGene(int index) const;
    // Throw std::invalid_argument for an index outside the list.
    virtual void RemoveGene(int index);
    virtual void SetGeneColor(int index, float red, float green, float blue);
    virtual void SetGeneVisible(int index, bool visible);

    virtual ToolMode GetToolMode() const { return m_toolMode; }
    virtual void SetToolMode(ToolMode mode);

    // The plane operations throw std::invalid_argument for a value outside the three planes.
    virtual void SetMPRSliceLocation(Image3dPlane::Plane plane, float location, bool notify);
    virtual float GetMPRSliceLocation(Image3dPlane::Plane plane) const;
    virtual bool GetMPRPlaneVisible(Image3dPlane::Plane plane) const;
    virtual void SetMPRPlaneVisible(Image3dPlane::Plane plane, bool visible, bool notify);
    // The same through the atlas's plane mapping.
    virtual bool UIGetMPRPlaneVisible(Image3dPlane::Plane plane) const;
    virtual void UISetMPRPlaneVisible(Image3dPlane::Plane plane, bool visible, bool notify);

    virtual const float* GetProbeLocation() const { return m_probeLocation; }
    virtual AtlasSpace* GetProbeAtlasSpace() const { return m_probeAtlasSpace; }
    virtual void SetProbeLocation(const float* location, AtlasSpace* space, bool notify);
    virtual bool GetProbeVisible() const { return m_probeVisible; }
    virtual void SetProbeVisible(bool visible, bool notify);

    // low selects the low side of the plane's pair, else the high side.
    virtual void SetCuttingPlaneLocation(Image3dPlane::Plane plane, float location, bool low, bool notify);
    virtual float GetCuttingPlaneLocation(Image3dPlane::Plane plane, bool low) const;
    virtual void SetCuttingPlanesVisible(bool visible, bool notify);
    virtual bool GetCuttingPlanesVisible() const { return m_cuttingPlanesVisible; }

    virtual const float* GetRotation() const { return m_rotation; }
    virtual void SetRotation(const float* quaternion, bool notify);
    virtual const float* GetOrigin() const { return m_origin; }
    virtual void SetOrigin(const float* origin, bool notify);
    virtual float GetZoom() const { return m_zoom; }
    virtual void SetZoom(float zoom, bool notify);
    virtual void ResetView();
    virtual void StopAnimations();

    virtual MeshDisplayStyle GetMeshDisplayStyle() const { return m_meshDisplayStyle; }
    virtual void SetMeshDisplayStyle(MeshDisplayStyle style, bool notify);
    virtual void SetGeneColorMode(GeneColorMode mode, bool notify);
    virtual void SetGeneColorMode(const std::string& name, bool notify);
    GeneColorMode GetGeneColorMode() const override { return m_geneColorMode; }
    // Null when the mode has no usable colormap.
    const Colormap* GetGeneColormap() const override;
    virtual void SetCompassLocation(CompassLocation location, bool notify);
    virtual CompassLocation GetCompassLocation() const { return m_compassLocation; }
    virtual float GetAnnotationAlpha() const { return m_annotationAlpha; }
    virtual void SetAnnotationAlpha(float alpha, bool notify);

    virtual void SelectExpressor(GeneExpression* gene, AtlasSpace* space, Expressor* expressor, bool notify);
    virtual AtlasSpace* GetSelectedExpressorsSpace() { return m_selectedExpressorsSpace; }
    const AtlasSpace* GetSelectedExpressorsSpace() const override { return m_selectedExpressorsSpace; }
    virtual GeneExpression* GetSelectedExpressorsGene() const { return m_selectedExpressorsGene; }
    // -1 when no expressor is selected.
    virtual int GetSelectedExpressorsGeneIndex() const;
    virtual Expressor* GetSelectedExpressor() { return m_selectedExpressor; }
    virtual const Expressor* GetSelectedExpressor() const { return m_selectedExpressor; }
    const AnnotationLabel* GetSelectedExpressorLabel() const override;
    virtual bool GetSelectedExpressorImageUrl(std::string& url) const;
    virtual void SelectGene(GeneExpression* gene, bool notify);
    virtual GeneExpression* GetSelectedGene() const { return m_selectedGene; }
    virtual void SelectStructure(const AnnotationLabel* label, bool notify);
    virtual const AnnotationLabel* GetSelectedStructure() const { return m_selectedStructure; }
    unsigned int GetSelectedSampleId() const { return m_selectedSampleId; }
    AtlasSpace* GetSelectedSampleSpace() const { return m_selectedSampleSpace; }

    virtual float GetImageAlpha() const { return m_imageAlpha; }
    virtual void SetImageAlpha(float alpha, bool notify);

    // A maximum of -1 means no upper limit.
    virtual Range GetExpressionLevelVisibilityThreshold() const { return m_levelThreshold; }
    void GetExpressionLevelVisibilityThreshold(float& low, float& high) const override;
    virtual void SetExpressionLevelVisibilityThreshold(float low, float high, bool notify);
    virtual Range GetExpressionDensityVisibilityThreshold() const { return m_densityThreshold; }
    virtual void GetExpressionDensityVisibilityThreshold(float& low, float& high) const;
    virtual void SetExpressionDensityVisibilityThreshold(float low, float high, bool notify);
    virtual void ShowThresholdControls(bool visible, bool notify);
    virtual bool ThresholdControlsVisible() const { return m_thresholdControlsVisible; }
    virtual Range GetVolumeRenderWindow() const { return m_volumeRenderWindow; }
    virtual void SetVolumeRenderWindow(float low, float high, bool notify);
    virtual Range GetMIPWindow() const { return m_mipWindow; }
    virtual void SetMIPWindow(float low, float high, bool notify);
    // The z-score window while z-scores are shown, else the expression window.
    virtual Range GetExpressionWindow() const;
    void GetExpressionWindow(float& low, float& high) const override;
    virtual void SetExpressionWindow(float low, float high, bool notify);
    virtual void SetImageDisplayMode(ImageDisplayMode mode, bool notify);
    virtual ImageDisplayMode GetImageDisplayMode() const { return m_imageDisplayMode; }
    virtual void SetNextProbeLocation(const float* location);
    virtual const float* GetNextProbeLocation() const { return m_nextProbeLocation; }

    // One web page per data set: the atlas's multi-experiment viewer for the projection data sets (first),
    // each other data set's own page.
    virtual void GetExperimentURLs(const std::vector<GeneExpression*>& genes, std::vector<std::string>& urls) const;

    // Null and repeated listeners are ignored. Listeners may add or remove listeners while they are told.
    virtual void AddListener(BrainExpressionModelListener* listener);
    virtual void RemoveListener(BrainExpressionModelListener* listener);
    virtual void NotifyListeners(int code, int argument);

    virtual void ShowZScores(bool show, bool notify);
    bool ZScoresVisible() const override { return m_zScoresVisible; }
    virtual void Reset();

    // The palette position of the next coloured data set, shared by every model.
    static int GetColorCounter() { return m_colorCounter; }
    static void SetColorCounter(int counter) { m_colorCounter = counter; }

private:
    // Applies the window rule; true when the stored pair changed.
    static bool ApplyWindowRule(Range& range, float low, float high);
    void SetWindow(Range& range, float low, float high, bool notify, int code);
    void LoadSettings();
    void ClearExpressorSelection(bool notify);
    void CheckGeneIndex(int index, const char* message) const;
    bool IsPresetLabel(const AnnotationLabel* label) const;
    const AnnotationLabel* LabelByDatabaseId(unsigned long id) const;
    void ShowAtlas351Searchable();
    void ShowInnerSelection();

    static int m_colorCounter;

    std::shared_ptr<Atlas> m_atlas;
    std::vector<BrainExpressionModelListener*> m_listeners;
    std::vector<std::shared_ptr<GeneExpression>> m_genes;
    float m_mprSliceLocation[3] = {0.5f, 0.5f, 0.5f};
    float m_probeLocation[3] = {0.5f, 0.5f, 0.5f};
    float m_cuttingPlanes[3][2] = {{0.0f, 1.0f}, {0.0f, 1.0f}, {0.0f, 1.0f}};
    bool m_mprPlaneVisible[3] = {false, false, false};
    bool m_probeVisible = false;
    AtlasSpace* m_probeAtlasSpace = nullptr;
    bool m_cuttingPlanesVisible = false;
    bool m_liveUpdate = false;
    bool m_thresholdControlsVisible = true;
    float m_zoom = DEFAULT_ZOOM;
    float m_rotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float m_origin[3] = {0.0f, 0.0f, 0.0f};
    float m_annotationAlpha = 0.15f;
    float m_imageAlpha = 0.5f;
    Range m_levelThreshold{0.0f, -1.0f};
    Range m_densityThreshold{15.0f, -1.0f};
    Range m_volumeRenderWindow = DEFAULT_VOLUME_RENDER_WINDOW;
    Range m_mipWindow = DEFAULT_MIP_WINDOW;
    Range m_expressionWindow = DEFAULT_EXPRESSION_LEVEL_WINDOW;
    Range m_zScoreWindow = DEFAULT_EXPRESSION_ZSCORE_WINDOW;
    ToolMode m_toolMode = ROTATE_TOOL;
    MeshDisplayStyle m_meshDisplayStyle = OPAQUE_MESHES;
    GeneColorMode m_geneColorMode = 3;
    GeneColorMode m_savedGeneColorMode = 3;
    ImageDisplayMode m_imageDisplayMode = SECTION_IMAGE;
    CompassLocation m_compassLocation = COMPASS_IN_CORNER;
    Selector m_expressionSelector;
    Selector m_structureSelector;
    const AnnotationLabel* m_selectedStructure = nullptr;
    GeneExpression* m_selectedGene = nullptr;
    float m_nextProbeLocation[3] = {0.0f, 0.0f, 0.0f};
    bool m_zScoresVisible = false;
    AtlasSpace* m_selectedExpressorsSpace = nullptr;
    GeneExpression* m_selectedExpressorsGene = nullptr;
    Expressor* m_selectedExpressor = nullptr;
    // Microarray data only.
    unsigned int m_selectedSampleId = 0;
    AtlasSpace* m_selectedSampleSpace = nullptr;
};
