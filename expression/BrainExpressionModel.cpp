#include "expression/BrainExpressionModel.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "atlas/GeneColorModes.h"
#include "core/UserPreferences.h"
#include "expression/GeneExpression.h"
#include "expression/MicroarrayExpression.h"

#include <boost/format.hpp>

#include <algorithm>
#include <sstream>
#include <stdexcept>

const Range BrainExpressionModel::DEFAULT_VOLUME_RENDER_WINDOW(30.0f, 250.0f);
const Range BrainExpressionModel::DEFAULT_MIP_WINDOW(0.0f, 255.0f);
const Range BrainExpressionModel::DEFAULT_MOX_EXPRESSION_LEVEL_WINDOW(2.0f, 10.0f);
const Range BrainExpressionModel::DEFAULT_EXPRESSION_ZSCORE_WINDOW(-2.5f, 2.5f);
const Range BrainExpressionModel::DEFAULT_EXPRESSION_LEVEL_WINDOW(0.0f, 255.0f);
const Range BrainExpressionModel::DEFAULT_EXPRESSION_ZSCORE_RANGE(-3.0f, 3.0f);

int BrainExpressionModel::m_colorCounter = 0;

namespace
{

const float PALETTE[5][3] = {
    {0.9f, 0.9f, 0.0f}, {0.9f, 0.47f, 0.0f}, {0.0f, 0.6f, 0.7f}, {0.0f, 0.7f, 0.3f}, {0.7f, 0.2f, 0.35f},
};

const unsigned int MICROARRAY_ATLAS = 351;
// Pseudo-structures whose selection shows the probe.
const unsigned long CORRELATION_PROBE_ID = 9999;
const unsigned long PROJECTION_PROBE_ID = 10001;
// The structures that the presets of the microarray atlas name.
const unsigned long PRESET_FIRST_ID = 1001;
const unsigned long PRESET_LAST_ID = 1005;
const unsigned long PRESET_HIPPOCAMPUS_ID = 4697;

const float CUTTING_GAP = 0.0001f;
// Density is stored times 1000.
const float DENSE_EXPRESSOR = 0.25f;

float Clamp01(float value)
{
    return std::min(std::max(value, 0.0f), 1.0f);
}

void CheckPlane(Image3dPlane::Plane plane, const char* message)
{
    if (!Image3dPlane::IsValid(plane))
        throw std::invalid_argument(message);
}

const char* const MPR_PLANE_ERROR = "Invalid MPR plane specified.";
const char* const CUTTING_PLANE_ERROR = "Invalid cutting plane specified.";

bool IsPresent(const AnnotationLabel* label)
{
    return label && label->index != 0;
}

} // namespace

BrainExpressionModel::BrainExpressionModel(std::shared_ptr<Atlas> atlas)
    : m_atlas(std::move(atlas))
    , m_expressionSelector(0, true)
    , m_structureSelector(0, false)
{
    if (!m_atlas)
        throw std::invalid_argument("An atlas is required for an expression model.");
    const unsigned int labels = m_atlas->GetOntology()->GetNumLabels();
    m_expressionSelector = Selector(labels, true);
    m_structureSelector = Selector(labels, false);
    m_atlas->Retain();
    Reset();
    LoadSettings();
}

BrainExpressionModel::~BrainExpressionModel()
{
    try
    {
        SaveSettings();
    }
    catch (...)
    {
        // A settings store that fails on the way out must not take the document with it.
    }
    m_atlas->Release();
}

void BrainExpressionModel::LoadSettings()
{
    int compass = 0, tool = 0, imageAlpha = 0, annotationAlpha = 0, meshStyle = 0, colorMode = 0, controls = 0;
    UserPreferences::GetPreferences()->LoadSettings(compass, tool, imageAlpha, annotationAlpha, meshStyle, colorMode,
                                                    controls);
    // Stored values are trusted no further than their ranges; a negative number is a large one here.
    m_compassLocation = static_cast<unsigned int>(compass) > 2 ? COMPASS_IN_CORNER : CompassLocation(compass);
    m_toolMode = static_cast<unsigned int>(tool) > 2 ? ROTATE_TOOL : ToolMode(tool);
    m_imageAlpha = static_cast<float>(static_cast<unsigned int>(imageAlpha) > 100 ? 50 : imageAlpha) / 100.0f;
    m_annotationAlpha =
        static_cast<float>(static_cast<unsigned int>(annotationAlpha) > 100 ? 15 : annotationAlpha) / 100.0f;
    m_meshDisplayStyle = static_cast<unsigned int>(meshStyle) > 1 ? OPAQUE_MESHES : MeshDisplayStyle(meshStyle);

    const GeneColorModes& modes = m_atlas->GetGeneColorModes();
    GeneColorMode mode = colorMode;
    if (!modes.IsValidMode(mode))
        mode = 0;
    m_savedGeneColorMode = mode;
    const bool microarray = m_atlas->GetAtlasId() == MICROARRAY_ATLAS;
    if (mode == 0 && microarray)
        mode = 3;
    if (modes.GetZScore(mode) && !microarray)
        mode = 2;
    SetGeneColorMode(mode, true);
    m_thresholdControlsVisible = controls != 0;
}

void BrainExpressionModel::SaveSettings()
{
    UserPreferences::GetPreferences()->SaveSettings(m_compassLocation, m_toolMode,
                                                    static_cast<int>(m_imageAlpha * 100.0f),
                                                    static_cast<int>(m_annotationAlpha * 100.0f), m_meshDisplayStyle,
                                                    m_savedGeneColorMode, m_thresholdControlsVisible ? 1 : 0);
}

void BrainExpressionModel::Reset()
{
    for (int p = 0; p < 3; ++p)
    {
        const auto plane = static_cast<Image3dPlane::Plane>(p);
        SetCuttingPlaneLocation(plane, 0.0f, true, true);
        SetCuttingPlaneLocation(plane, 1.0f, false, true);
        m_mprSliceLocation[p] = 0.5f;
        m_rotation[p] = 0.0f;
        if (!m_selectedExpressor)
            m_probeLocation[p] = 0.5f;
    }
    m_rotation[3] = 1.0f;
    SetRotation(m_atlas->GetDefaultRotation(), true);
    std::fill(std::begin(m_origin), std::end(m_origin), 0.0f);
    SetExpressionDensityVisibilityThreshold(15.0f, -1.0f, true);
    SetVolumeRenderWindow(DEFAULT_VOLUME_RENDER_WINDOW.min, DEFAULT_VOLUME_RENDER_WINDOW.max, true);
    SetMIPWindow(DEFAULT_MIP_WINDOW.min, DEFAULT_MIP_WINDOW.max, true);
    if (m_atlas->GetAtlasId() == MICROARRAY_ATLAS)
    {
        SetExpressionLevelVisibilityThreshold(0.0f, 0.0f, true);
        m_expressionWindow = DEFAULT_MOX_EXPRESSION_LEVEL_WINDOW;
    }
    else
    {
        SetExpressionLevelVisibilityThreshold(0.0f, -1.0f, true);
        m_expressionWindow = DEFAULT_EXPRESSION_LEVEL_WINDOW;
    }
    m_zScoreWindow = DEFAULT_EXPRESSION_ZSCORE_WINDOW;
    ShowZScores(m_zScoresVisible, true);
}

void BrainExpressionModel::ResetView()
{
    m_zoom = DEFAULT_ZOOM;
    Reset();
    NotifyListeners(VIEW_RESET, 0);
}

void BrainExpressionModel::StopAnimations()
{
    NotifyListeners(STOP_ANIMATIONS, 0);
}

// Listeners

void BrainExpressionModel::AddListener(BrainExpressionModelListener* listener)
{
    if (listener && std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void BrainExpressionModel::RemoveListener(BrainExpressionModelListener* listener)
{
    if (listener)
        m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

void BrainExpressionModel::NotifyListeners(int code, int argument)
{
    // A listener may add or remove listeners, itself included, while it is told: the ones present at the
    // start are told in order, except those removed meanwhile (they may be gone).
    const std::vector<BrainExpressionModelListener*> snapshot = m_listeners;
    for (BrainExpressionModelListener* listener : snapshot)
        if (std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end())
            listener->ModelChanged(code, this, argument);
}

// Selectors

void BrainExpressionModel::SetExpressionSelector(const Selector& selector, bool notify)
{
    m_expressionSelector = selector;
    if (notify)
        NotifyListeners(EXPRESSION_SELECTOR_CHANGED, 0);
    if (m_selectedExpressor && m_selectedExpressor->label &&
        !m_expressionSelector.Intersects(m_selectedExpressor->label->selector))
        ClearExpressorSelection(true);
}

const AnnotationLabel* BrainExpressionModel::LabelByDatabaseId(unsigned long id) const
{
    const AnnotationLabel* label = m_atlas->GetOntology()->GetAnnotationLabelByDatabaseId(id);
    return IsPresent(label) ? label : nullptr;
}

void BrainExpressionModel::SetStructureSelector(const Selector& selector, bool notify)
{
    m_structureSelector = selector;
    if (notify)
        NotifyListeners(STRUCTURE_SELECTOR_CHANGED, 0);
    const bool anyPlane = m_mprPlaneVisible[0] || m_mprPlaneVisible[1] || m_mprPlaneVisible[2];
    if (m_selectedStructure && !m_structureSelector.Intersects(m_selectedStructure->selector) && !anyPlane)
        SelectStructure(nullptr, true);
    const AnnotationLabel* correlation = LabelByDatabaseId(CORRELATION_PROBE_ID);
    const AnnotationLabel* projection = LabelByDatabaseId(PROJECTION_PROBE_ID);
    if ((correlation && m_structureSelector.Intersects(correlation->selector)) ||
        (projection && m_structureSelector.Intersects(projection->selector)))
    {
        if (!m_probeAtlasSpace && m_atlas->GetNumSpaces() == 1)
            m_probeAtlasSpace = m_atlas->GetSpace(0u);
        SetProbeVisible(true, true);
    }
    else
        SetProbeVisible(false, true);
}

void BrainExpressionModel::SetStructureSelectorForGenes(const int* indices, int count)
{
    m_structureSelector = Selector(m_atlas->GetOntology()->GetNumLabels(), false);
    for (int i = 0; indices && i < count; ++i)
    {
        if (indices[i] < 0 || indices[i] >= GetNumGenes())
            continue;
        GeneExpression& gene = *m_genes[static_cast<size_t>(indices[i])];
        const std::vector<Expressor>* expressors =
            gene.GetNumAtlasSpaces() > 0 ? gene.GetExpressors(gene.GetAtlasSpace(0)) : nullptr;
        if (!expressors)
            continue;
        for (const Expressor& expressor : *expressors)
            if (expressor.density > DENSE_EXPRESSOR && expressor.label)
                m_structureSelector.Merge(expressor.label->selector);
    }
    NotifyListeners(STRUCTURE_SELECTOR_CHANGED, 0);
}

bool BrainExpressionModel::IsPresetLabel(const AnnotationLabel* label) const
{
    return label && label->annotationValue != 0;
}

void BrainExpressionModel::ShowAtlas351Searchable()
{
    Selector selection = m_structureSelector;
    for (unsigned long id = PRESET_FIRST_ID; id <= PRESET_LAST_ID; ++id)
    {
        const AnnotationLabel* label = LabelByDatabaseId(id);
        if (IsPresetLabel(label))
            selection.Set(label->selector, true);
    }
    if (const AnnotationLabel* hippocampus = LabelByDatabaseId(PRESET_HIPPOCAMPUS_ID))
        selection.Merge(hippocampus->selector);
    SetStructureSelector(selection, true);
}

void BrainExpressionModel::ShowSearchableStructures()
{
    const unsigned int id = m_atlas->GetAtlasId();
    if (id == 310 || id == 378)
        m_structureSelector = m_atlas->GetOntology()->SelectorForLevel(100);
    else if (id == MICROARRAY_ATLAS)
        ShowAtlas351Searchable();
    else
        m_structureSelector = m_atlas->GetOntology()->SelectorForLevel(1);
    NotifyListeners(STRUCTURE_SELECTOR_CHANGED, 0);
}

void BrainExpressionModel::ShowInnerSelection()
{
    const std::shared_ptr<BrainOntology> ontology = m_atlas->GetOntology();
    Selector selection(ontology->GetNumLabels(), true);
    const AnnotationLabel* first = ontology->GetAnnotationLabelByIndex(1);
    if (IsPresent(first))
        selection.Set(first->selector, false);
    selection.Merge(m_structureSelector);
    if (m_atlas->GetAtlasId() == MICROARRAY_ATLAS)
    {
        for (unsigned long id = PRESET_FIRST_ID; id <= PRESET_LAST_ID; ++id)
        {
            const AnnotationLabel* label = LabelByDatabaseId(id);
            if (IsPresetLabel(label))
                selection.Set(label->selector, false);
        }
        if (const AnnotationLabel* hippocampus = LabelByDatabaseId(PRESET_HIPPOCAMPUS_ID))
            selection.Set(hippocampus->selector, false);
    }
    SetStructureSelector(selection, true);
}

void BrainExpressionModel::ShowInnerStructures()
{
    const unsigned int id = m_atlas->GetAtlasId();
    if (id == 310 || id == 378)
        m_structureSelector = m_atlas->GetOntology()->SelectorForLevel(200);
    else if (id == 350)
        m_structureSelector = m_atlas->GetOntology()->SelectorForLevel(5);
    else
        ShowInnerSelection();
    NotifyListeners(STRUCTURE_SELECTOR_CHANGED, 0);
}

// Data sets

bool BrainExpressionModel::AddGeneExpression(std::shared_ptr<GeneExpression> gene, bool assignColor)
{
    if (!gene)
        throw std::invalid_argument("No data set given.");
    const AtlasSpace* space = gene->GetNumAtlasSpaces() > 0 ? gene->GetAtlasSpace(0) : nullptr;
    if (!space || !space->GetAtlas())
        throw std::runtime_error("Atlas not available for this data set");
    if (space->GetAtlas() != m_atlas.get())
        throw std::runtime_error(
            (boost::format("The atlas meta-data (%1%) does not match the current open atlas (%2%).") %
             space->GetAtlas()->GetName() % m_atlas->GetName())
                .str());
    if (gene->GetExperimentId() != 0)
    {
        for (int k = 0; k < GetNumGenes(); ++k)
        {
            if (m_genes[static_cast<size_t>(k)]->GetExperimentId() != gene->GetExperimentId())
                continue;
            if (!assignColor)
            {
                const float* color = gene->GetColor();
                SetGeneColor(k, color[0], color[1], color[2]);
            }
            return false;
        }
    }
    if (assignColor)
    {
        const float* color = PALETTE[m_colorCounter];
        gene->SetColor(color[0], color[1], color[2]);
        m_colorCounter = m_colorCounter <= 3 ? m_colorCounter + 1 : 0;
    }
    if (m_zScoresVisible)
        gene->SetDisplayRange(DEFAULT_EXPRESSION_ZSCORE_RANGE);
    m_genes.push_back(std::move(gene));
    NotifyListeners(GENE_ADDED, GetNumGenes() - 1);
    return true;
}

std::shared_ptr<GeneExpression> BrainExpressionModel::GetGene(int index) const
{
    return index >= 0 && index < GetNumGenes() ? m_genes[static_cast<size_t>(index)] : nullptr;
}

void BrainExpressionModel::CheckGeneIndex(int index, const char* message) const
{
    if (index < 0 || index >= GetNumGenes())
        throw std::invalid_argument(message);
}

void BrainExpressionModel::RemoveGene(int index)
{
    CheckGeneIndex(index, "RemoveGene index out of range.");
    // Held here too: a listener told of the removal may change the list.
    const std::shared_ptr<GeneExpression> gene = m_genes[static_cast<size_t>(index)];
    NotifyListeners(GENE_REMOVING, index);
    if (gene.get() == m_selectedExpressorsGene)
        ClearExpressorSelection(true);
    if (gene.get() == m_selectedGene)
        SelectGene(nullptr, true);
    const auto found = std::find(m_genes.begin(), m_genes.end(), gene);
    if (found != m_genes.end())
        m_genes.erase(found);
}

void BrainExpressionModel::SetGeneColor(int index, float red, float green, float blue)
{
    CheckGeneIndex(index, "SetGeneColor index out of range.");
    GeneExpression& gene = *m_genes[static_cast<size_t>(index)];
    const float* color = gene.GetColor();
    if (color[0] == red && color[1] == green && color[2] == blue)
        return;
    gene.SetColor(red, green, blue);
    NotifyListeners(GENE_COLOR_CHANGED, index);
}

void BrainExpressionModel::SetGeneVisible(int index, bool visible)
{
    CheckGeneIndex(index, "SetGeneVisible index out of range.");
    GeneExpression* gene = m_genes[static_cast<size_t>(index)].get();
    if (gene->IsVisible() != visible)
    {
        gene->SetVisible(visible);
        NotifyListeners(GENE_VISIBILITY_CHANGED, index);
    }
    if (gene == m_selectedExpressorsGene)
        ClearExpressorSelection(true);
}

void BrainExpressionModel::SetToolMode(ToolMode mode)
{
    if (static_cast<unsigned int>(mode) <= PICK_TOOL)
        m_toolMode = mode;
}

// Planes

void BrainExpressionModel::SetMPRSliceLocation(Image3dPlane::Plane plane, float location, bool notify)
{
    CheckPlane(plane, MPR_PLANE_ERROR);
    m_mprSliceLocation[plane] = Clamp01(location);
    if (notify)
        NotifyListeners(MPR_SLICE_LOCATION_CHANGED, plane);
}

float BrainExpressionModel::GetMPRSliceLocation(Image3dPlane::Plane plane) const
{
    CheckPlane(plane, MPR_PLANE_ERROR);
    return m_mprSliceLocation[plane];
}

bool BrainExpressionModel::GetMPRPlaneVisible(Image3dPlane::Plane plane) const
{
    CheckPlane(plane, MPR_PLANE_ERROR);
    return m_mprPlaneVisible[plane];
}

void BrainExpressionModel::SetMPRPlaneVisible(Image3dPlane::Plane plane, bool visible, bool notify)
{
    CheckPlane(plane, MPR_PLANE_ERROR);
    if (m_mprPlaneVisible[plane] == visible)
        return;
    m_mprPlaneVisible[plane] = visible;
    if (notify)
        NotifyListeners(MPR_PLANE_VISIBILITY_CHANGED, 0);
}

bool BrainExpressionModel::UIGetMPRPlaneVisible(Image3dPlane::Plane plane) const
{
    CheckPlane(plane, MPR_PLANE_ERROR);
    return GetMPRPlaneVisible(static_cast<Image3dPlane::Plane>(m_atlas->GetPlane(plane)));
}

void BrainExpressionModel::UISetMPRPlaneVisible(Image3dPlane::Plane plane, bool visible, bool notify)
{
    CheckPlane(plane, MPR_PLANE_ERROR);
    SetMPRPlaneVisible(static_cast<Image3dPlane::Plane>(m_atlas->GetPlane(plane)), visible, notify);
}

void BrainExpressionModel::SetCuttingPlaneLocation(Image3dPlane::Plane plane, float location, bool low, bool notify)
{
    CheckPlane(plane, CUTTING_PLANE_ERROR);
    float value = Clamp01(location);
    float* pair = m_cuttingPlanes[plane];
    // The box keeps a thickness: one side never reaches the other.
    if (low && pair[1] > 0.0f)
        value = std::min(value, pair[1] - CUTTING_GAP);
    if (!low && pair[0] > 0.0f)
        value = std::max(value, pair[0] + CUTTING_GAP);
    float& stored = pair[low ? 0 : 1];
    if (stored == value)
        return;
    stored = value;
    if (notify)
        NotifyListeners(CUTTING_PLANE_LOCATION_CHANGED, plane);
}

float BrainExpressionModel::GetCuttingPlaneLocation(Image3dPlane::Plane plane, bool low) const
{
    CheckPlane(plane, CUTTING_PLANE_ERROR);
    return m_cuttingPlanes[plane][low ? 0 : 1];
}

void BrainExpressionModel::SetCuttingPlanesVisible(bool visible, bool notify)
{
    if (m_cuttingPlanesVisible == visible)
        return;
    m_cuttingPlanesVisible = visible;
    if (notify)
        NotifyListeners(CUTTING_PLANES_VISIBILITY_CHANGED, 0);
}

// Probe

void BrainExpressionModel::SetProbeLocation(const float* location, AtlasSpace* space, bool notify)
{
    for (int a = 0; a < 3; ++a)
        m_probeLocation[a] = Clamp01(location[a]);
    m_probeAtlasSpace = space;
    if (!m_probeVisible)
        SetProbeVisible(true, notify);
    if (notify)
        NotifyListeners(PROBE_CHANGED, 0);
}

void BrainExpressionModel::SetProbeVisible(bool visible, bool notify)
{
    if (m_probeVisible == visible)
        return;
    m_probeVisible = visible;
    if (notify)
        NotifyListeners(PROBE_CHANGED, 0);
}

void BrainExpressionModel::SetNextProbeLocation(const float* location)
{
    std::copy_n(location, 3, m_nextProbeLocation);
}

// Camera

void BrainExpressionModel::SetRotation(const float* quaternion, bool notify)
{
    std::copy_n(quaternion, 4, m_rotation);
    if (notify)
        NotifyListeners(ROTATION_CHANGED, 0);
}

void BrainExpressionModel::SetOrigin(const float* origin, bool notify)
{
    std::copy_n(origin, 3, m_origin);
    if (notify)
        NotifyListeners(ORIGIN_CHANGED, 0);
}

void BrainExpressionModel::SetZoom(float zoom, bool notify)
{
    const float value = std::min(std::max(zoom, 15.0f), 250.0f);
    if (value == m_zoom)
        return;
    m_zoom = value;
    if (notify)
        NotifyListeners(ZOOM_CHANGED, static_cast<int>(m_zoom));
}

// Display settings

void BrainExpressionModel::SetMeshDisplayStyle(MeshDisplayStyle style, bool notify)
{
    if (static_cast<unsigned int>(style) > TRANSLUCENT_MESHES || style == m_meshDisplayStyle)
        return;
    m_meshDisplayStyle = style;
    if (notify)
        NotifyListeners(MESH_DISPLAY_STYLE_CHANGED, style);
}

void BrainExpressionModel::SetCompassLocation(CompassLocation location, bool notify)
{
    if (static_cast<unsigned int>(location) > COMPASS_HIDDEN || location == m_compassLocation)
        return;
    m_compassLocation = location;
    if (notify)
        NotifyListeners(COMPASS_LOCATION_CHANGED, location);
}

void BrainExpressionModel::SetImageDisplayMode(ImageDisplayMode mode, bool notify)
{
    if (static_cast<unsigned int>(mode) > SECTION_IMAGE || mode == m_imageDisplayMode)
        return;
    m_imageDisplayMode = mode;
    if (notify)
        NotifyListeners(IMAGE_DISPLAY_MODE_CHANGED, 0);
}

void BrainExpressionModel::SetImageAlpha(float alpha, bool notify)
{
    if (alpha == m_imageAlpha)
        return;
    m_imageAlpha = alpha;
    if (notify)
        NotifyListeners(IMAGE_ALPHA_CHANGED, 0);
}

void BrainExpressionModel::SetAnnotationAlpha(float alpha, bool notify)
{
    if (alpha == m_annotationAlpha)
        return;
    m_annotationAlpha = alpha;
    if (notify)
        NotifyListeners(ANNOTATION_ALPHA_CHANGED, 0);
}

void BrainExpressionModel::ShowThresholdControls(bool visible, bool notify)
{
    if (visible == m_thresholdControlsVisible)
        return;
    m_thresholdControlsVisible = visible;
    if (notify)
        NotifyListeners(THRESHOLD_CONTROLS_VISIBILITY_CHANGED, 0);
}

void BrainExpressionModel::SetGeneColorMode(GeneColorMode mode, bool notify)
{
    const GeneColorModes& modes = m_atlas->GetGeneColorModes();
    if (mode == m_geneColorMode || !modes.IsValidMode(mode))
        return;
    m_geneColorMode = mode;
    m_savedGeneColorMode = mode;
    ShowZScores(modes.GetZScore(mode), true);
    if (notify)
        NotifyListeners(GENE_COLOR_MODE_CHANGED, mode);
}

void BrainExpressionModel::SetGeneColorMode(const std::string& name, bool notify)
{
    const GeneColorModes& modes = m_atlas->GetGeneColorModes();
    if (modes.IsValidMode(name))
        SetGeneColorMode(modes.GetMode(name), notify);
}

const Colormap* BrainExpressionModel::GetGeneColormap() const
{
    return m_atlas->GetGeneColorModes().GetColormap(m_geneColorMode);
}

void BrainExpressionModel::ShowZScores(bool show, bool notify)
{
    m_zScoresVisible = show;
    for (const std::shared_ptr<GeneExpression>& gene : m_genes)
        gene->SetDisplayRange(show ? DEFAULT_EXPRESSION_ZSCORE_RANGE : gene->GetLevelRange());
    const Range window = show ? m_zScoreWindow : m_expressionWindow;
    SetExpressionWindow(window.min, window.max, notify);
    if (notify)
        NotifyListeners(GENE_COLOR_MODE_CHANGED, 0);
}

// Thresholds and windows

bool BrainExpressionModel::ApplyWindowRule(Range& range, float low, float high)
{
    const float lower = std::max(low, 0.0f);
    // A negative maximum means no upper limit.
    const Range stored = high < 0.0f || high >= lower ? Range(lower, high) : Range(high, high);
    if (stored == range)
        return false;
    range = stored;
    return true;
}

void BrainExpressionModel::SetWindow(Range& range, float low, float high, bool notify, int code)
{
    if (ApplyWindowRule(range, low, high) && notify)
        NotifyListeners(code, 0);
}

void BrainExpressionModel::GetExpressionLevelVisibilityThreshold(float& low, float& high) const
{
    low = m_levelThreshold.min;
    high = m_levelThreshold.max;
}

void BrainExpressionModel::SetExpressionLevelVisibilityThreshold(float low, float high, bool notify)
{
    SetWindow(m_levelThreshold, low, high, notify, VISIBILITY_THRESHOLD_CHANGED);
}

void BrainExpressionModel::GetExpressionDensityVisibilityThreshold(float& low, float& high) const
{
    low = m_densityThreshold.min;
    high = m_densityThreshold.max;
}

void BrainExpressionModel::SetExpressionDensityVisibilityThreshold(float low, float high, bool notify)
{
    SetWindow(m_densityThreshold, low, high, notify, VISIBILITY_THRESHOLD_CHANGED);
}

void BrainExpressionModel::SetVolumeRenderWindow(float low, float high, bool notify)
{
    SetWindow(m_volumeRenderWindow, low, high, notify, VOLUME_RENDER_WINDOW_CHANGED);
}

void BrainExpressionModel::SetMIPWindow(float low, float high, bool notify)
{
    SetWindow(m_mipWindow, low, high, notify, MIP_WINDOW_CHANGED);
}

Range BrainExpressionModel::GetExpressionWindow() const
{
    return m_zScoresVisible ? m_zScoreWindow : m_expressionWindow;
}

void BrainExpressionModel::GetExpressionWindow(float& low, float& high) const
{
    const Range window = GetExpressionWindow();
    low = window.min;
    high = window.max;
}

void BrainExpressionModel::SetExpressionWindow(float low, float high, bool notify)
{
    Range& window = m_zScoresVisible ? m_zScoreWindow : m_expressionWindow;
    const Range stored(std::min(low, high), high);
    if (stored == window)
        return;
    window = stored;
    if (notify)
        NotifyListeners(EXPRESSION_WINDOW_CHANGED, 0);
}

// Selection

void BrainExpressionModel::ClearExpressorSelection(bool notify)
{
    SelectExpressor(nullptr, nullptr, nullptr, notify);
}

void BrainExpressionModel::SelectExpressor(GeneExpression* gene, AtlasSpace* space, Expressor* expressor, bool notify)
{
    if (m_selectedGene == gene && m_selectedExpressor == expressor && m_selectedExpressorsSpace == space)
        return;
    m_selectedExpressorsSpace = space;
    m_selectedExpressor = expressor;
    m_selectedExpressorsGene = gene;
    bool placed = false;
    if (gene && space && expressor)
    {
        // The sample is known before the gene is selected, so that selecting the gene finds this very
        // sample again rather than the one selected before.
        if (const auto* microarray = dynamic_cast<const MicroarrayExpression*>(gene))
        {
            m_selectedSampleId = microarray->GetSampleIdFromGridId(expressor->id, space);
            m_selectedSampleSpace = space;
        }
        SelectGene(gene, true);
        float p[3] = {0.0f, 0.0f, 0.0f};
        gene->GetProbeLocationForExpressor(expressor, space, p);
        const unsigned int* d = space->GetViewDimensions();
        placed = true;
        for (int a = 0; a < 3; ++a)
            placed = placed && p[a] > 0.0f && p[a] < static_cast<float>(d[a]);
        if (placed)
        {
            const float location[3] = {p[0] / static_cast<float>(d[0]), p[1] / static_cast<float>(d[1]),
                                       p[2] / static_cast<float>(d[2])};
            SetProbeLocation(location, space, notify);
        }
    }
    if (!placed)
    {
        const float none[3] = {-1.0f, -1.0f, -1.0f};
        SetProbeLocation(none, nullptr, notify);
        SetProbeVisible(false, notify);
    }
    if (notify)
        NotifyListeners(SELECTED_EXPRESSOR_CHANGED, 0);
}

int BrainExpressionModel::GetSelectedExpressorsGeneIndex() const
{
    for (int i = 0; m_selectedExpressorsGene && i < GetNumGenes(); ++i)
        if (m_genes[static_cast<size_t>(i)].get() == m_selectedExpressorsGene)
            return i;
    return -1;
}

bool BrainExpressionModel::GetSelectedExpressorImageUrl(std::string& url) const
{
    url.clear();
    if (const auto* microarray = dynamic_cast<const MicroarrayExpression*>(m_selectedExpressorsGene))
        url = microarray->GetSelectedExpressorImageUrl(*this);
    else if (m_selectedExpressor && m_selectedExpressorsGene)
        url = m_selectedExpressorsGene->GetSelectedExpressorImageUrl(m_selectedExpressor, m_selectedExpressorsSpace);
    return !url.empty();
}

void BrainExpressionModel::SelectGene(GeneExpression* gene, bool notify)
{
    if (gene == m_selectedGene)
        return;
    m_selectedGene = gene;
    if (notify)
        NotifyListeners(SELECTED_GENE_CHANGED, 0);
    // Donor samples are measured for every probe: the same sample stays selected from probe to probe.
    auto* microarray = dynamic_cast<MicroarrayExpression*>(gene);
    if (!microarray || !m_atlas->HasColocatedSamples() || m_selectedSampleId == 0 || !m_selectedSampleSpace)
        return;
    const unsigned int gridId = microarray->GetGridIdFromSampleId(m_selectedSampleId, m_selectedSampleSpace);
    Expressor* expressor = microarray->GetExpressorAtGrid(gridId, m_selectedSampleSpace);
    if (expressor != m_selectedExpressor)
        SelectExpressor(gene, m_selectedSampleSpace, expressor, notify);
}

const AnnotationLabel* BrainExpressionModel::GetSelectedExpressorLabel() const
{
    return m_selectedExpressor ? m_selectedExpressor->label : nullptr;
}

void BrainExpressionModel::SelectStructure(const AnnotationLabel* label, bool notify)
{
    if (label == m_selectedStructure)
        return;
    m_selectedStructure = label;
    if (notify)
        NotifyListeners(SELECTED_STRUCTURE_CHANGED, 0);
}

// Web pages

void BrainExpressionModel::GetExperimentURLs(const std::vector<GeneExpression*>& genes,
                                             std::vector<std::string>& urls) const
{
    const std::string& pattern = m_atlas->GetMultiExperimentViewerUrl(m_atlas->GetProjectionProjectCode().c_str());
    std::ostringstream ids;
    std::ostringstream colors;
    for (const GeneExpression* gene : genes)
    {
        if (!gene)
            continue;
        if (pattern.empty() || gene->GetDataType() != GeneExpression::PROJECTION)
        {
            urls.push_back(gene->GetInfoLinkUrl());
            continue;
        }
        const float* c = gene->GetColor();
        const char* separator = ids.tellp() > 0 ? "," : "";
        ids << separator << gene->GetExperimentId();
        colors << separator << gene->GetExperimentId() << '(' << static_cast<int>(c[0] * 255.0f) << '/'
               << static_cast<int>(c[1] * 255.0f) << '/' << static_cast<int>(c[2] * 255.0f) << ')';
    }
    if (ids.tellp() <= 0)
        return;
    if (m_selectedExpressor && m_selectedExpressorsSpace)
    {
        const float* resolution = m_selectedExpressorsSpace->GetViewResolution();
        colors << "&coords=";
        for (int a = 0; a < 3; ++a)
            colors << (a ? "," : "") << static_cast<int>(m_selectedExpressor->position[a] * resolution[a]);
    }
    boost::format format(pattern);
    format.exceptions(boost::io::all_error_bits ^ (boost::io::too_many_args_bit | boost::io::too_few_args_bit));
    urls.insert(urls.begin(), (format % ids.str() % colors.str()).str());
}
