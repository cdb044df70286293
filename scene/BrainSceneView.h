#pragma once

#include "atlas/GeneralAnnotationSelector.h"
#include "gl/GLTextureButton.h"
#include "gl/MouseListener.h"
#include "scene/OverlayRect.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

class AtlasSpace;
class BrainExpressionModel;
class BrainSceneRenderer;
class ColoredMeshExpressionRenderer;
class CuttingPlaneRenderer;
class ExpressionRenderer;
class ExpressionStructureControl;
class GeneExpression;
class GLTextBox;
class KestRenderer;
class MouseListener;
class MovePlaneMouseTool;
class MPRRenderer;
class PointSetRenderer;
class ProbeMouseTool;
class ProjectionMapRenderer;
class VolumeRenderer;

// One cell of the 3D scene: one atlas space of the document's atlas with everything that lives in it.
// It owns the space's layers (the glyphs of each data set placed there, slices, cutting planes, probe
// marker and, depending on the atlas and its ontology, the correlation, projection, volume and
// point-set layers), sets up its viewport, camera and clip planes, draws the layers in a fixed order,
// draws its title band (name, zoom and close buttons) and routes presses on it.
//
// Rectangles are logical pixels with the origin at the bottom left; mouse positions arrive from the top
// left. The renderer owns the view and outlives it; the space belongs to the atlas. GL calls (drawing,
// construction and destruction, which make and free textures and lists) need the scene's context
// current. Main thread only.
class BrainSceneView : public MouseListener
{
public:
    using Selector = GeneralAnnotationSelector<unsigned long long>;

    // Database ids of the ontology's pseudo-structures that switch layers on.
    static constexpr unsigned long CORRELATION_STRUCTURE_ID = 9999;
    static constexpr unsigned long POINT_SET_STRUCTURE_ID = 10000;
    static constexpr unsigned long PROJECTION_STRUCTURE_ID = 10001;

    BrainSceneView(BrainSceneRenderer* renderer, AtlasSpace* space);
    ~BrainSceneView() override;
    BrainSceneView(const BrainSceneView&) = delete;
    BrainSceneView& operator=(const BrainSceneView&) = delete;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;
    bool OnMouseLeave(unsigned int time) override;

    virtual AtlasSpace* GetAtlasSpace() const { return m_space; }
    virtual BrainSceneRenderer* GetRenderer() const { return m_renderer; }
    virtual BrainExpressionModel* GetModel() const;
    virtual void Display();
    virtual void Reshape(int x, int y, int width, int height);
    virtual void Invalidate();
    virtual void SetupViewPort();
    virtual void DoViewTransforms();
    virtual bool IsVisible() const { return m_visible; }
    virtual void SetVisible(bool visible);
    // Pans by a distance in pixels; nothing while the view spans less than one voxel.
    virtual void TranslateOrigin(int dx, int dy);
    // The listener that drags what lies under the pointer (y from the top), or null.
    virtual MouseListener* PickObject(int x, int y, bool command, MovePlaneMouseTool* tool);
    virtual void RegenerateExpressionDisplays();
    virtual void ReloadMPR();
    virtual void CheckSelectionVisibility();
    virtual int GetOriginX() const { return m_originX; }
    virtual int GetOriginY() const { return m_originY; }
    virtual int GetWidth() const { return m_width; }
    virtual int GetHeight() const { return m_height; }
    virtual void SetupClipping(bool on);
    // False when the data set has no placement in this space.
    virtual bool AddGene(GeneExpression* gene);
    virtual void RemoveGene(GeneExpression* gene);
    virtual void GeneColorChanged();
    virtual void ExpressionColorModeChanged();
    virtual void ShowGene(GeneExpression* gene);
    virtual void HideGene(GeneExpression* gene);
    virtual void SetVolumeRenderWindow(float low, float high);
    virtual void SetMIPWindow(float low, float high);
    // Glyphs and meshes go to files named path + ...: path is a folder ending in "/".
    virtual void ExportPOVRay(const char* path);
    virtual bool ProbeVisible();
    virtual void UpdateProbe();
    virtual void Draw2DOverlays();
    // The lower left corner of the name's box as the scene's layout places it; false where the name is not
    // drawn.
    virtual bool GetNamePanelOrigin(int& x, int& y);
    // Moves the buttons beside the name and the data set's chart to where the scene's layout puts them.
    virtual void PlaceOverlays();
    // A microarray data set's chart of samples is drawn under the view, with this title.
    bool HasChart() const;
    std::string GetChartTitle() const;
    virtual void DoProjectionTransforms(int width, int height);
    // Both 0 for normal drawing; otherwise names for GL selection.
    virtual void DrawExpression(unsigned int selectionBase, unsigned int probeName);
    virtual void DrawBregma();

    void SetActiveExpressionStructureControl(GeneExpression* gene);
    ExpressionStructureControl* GetActiveExpressionStructureControl(bool refresh);

    // Whether the ontology has the structure of that database id, and whether the model's structure
    // selector holds it (a structure the ontology lacks is never selected).
    bool StructureExists(unsigned long databaseId) const;
    bool StructureSelected(unsigned long databaseId) const;
    // The visible extent in view voxels of a viewport (integers, as the projection uses them).
    void VisibleExtent(int width, int height, int& extentX, int& extentY) const;

    bool ButtonsShown() const { return m_buttonsShown; }
    unsigned int GetExpressorStride() const { return m_expressorStride; }
    const std::multimap<GeneExpression*, std::shared_ptr<ExpressionRenderer>>& GetExpressionRenderers() const
    {
        return m_renderers;
    }
    const std::shared_ptr<ColoredMeshExpressionRenderer>& GetColoredMeshRenderer() const { return m_coloredMesh; }
    GLTextureButton& GetZoomButton() { return m_zoomButton; }
    GLTextureButton& GetCloseButton() { return m_closeButton; }
    const std::shared_ptr<ProbeMouseTool>& GetProbeTool() const { return m_probeTool; }
    const std::shared_ptr<MPRRenderer>& GetSliceRenderer() const { return m_slices; }
    const std::shared_ptr<CuttingPlaneRenderer>& GetCuttingPlaneRenderer() const { return m_cuttingPlanes; }
    const std::shared_ptr<VolumeRenderer>& GetAtlasVolumeRenderer() const { return m_atlasVolume; }
    const std::shared_ptr<KestRenderer>& GetCorrelationLayer() const { return m_correlation; }
    const std::shared_ptr<ProjectionMapRenderer>& GetProjectionLayer() const { return m_projection; }
    const std::shared_ptr<VolumeRenderer>& GetVolumeRenderer() const { return m_volume; }
    const std::shared_ptr<PointSetRenderer>& GetPointSetLayer() const { return m_pointSet; }
    GLTextBox* GetNameLabel() const { return m_nameLabel.get(); }
    const std::map<GeneExpression*, std::shared_ptr<ExpressionStructureControl>>& GetStructureControls() const
    {
        return m_structureControls;
    }

private:
    void CreateLayers(unsigned int atlasId);
    // Names the file or library a layer reads, for the log; empty when there is none to name.
    using Source = std::function<std::string()>;
    template <typename Layer, typename Make>
    void MakeLayer(std::shared_ptr<Layer>& layer, const char* what, const Source& source, const Make& make);
    void DisplayVolumes();
    void AddMicroarrayRenderers(GeneExpression* gene);
    void RekeyColoredMesh(GeneExpression* gene);
    bool Placed(const GeneExpression* gene) const;
    bool HoldsVolumeGrid(const GeneExpression* gene) const;
    void LoadVolumeGrid(const GeneExpression* gene, bool replace);
    Selector MeshSelector() const;
    bool IsIndexOneSelected() const;
    // The pick's projection-line and point tests: true when one of them ended the pick.
    bool PickLayers(const float* origin, const float* direction);
    // Places the probe at the volumes' depth under the pointer when that is nearer than the other hits.
    bool PickVolumeDepth(int x, float row, const float* inverse, const int* viewport, float nearest);
    int ToGLRow(int y) const;
    // The chart's strip as the scene's layout places it; empty where it is not drawn.
    OverlayRect ChartStrip() const;
    // The active data set's chart has a place in the layout: it is drawn and takes presses.
    bool ChartPlaced() const;

    BrainSceneRenderer* m_renderer;
    AtlasSpace* m_space;
    int m_originX = 0;
    int m_originY = 0;
    int m_width = 0;
    int m_height = 0;
    bool m_visible = false;
    bool m_buttonsShown = false;
    // The layout leaves the name a place: its buttons show beside it on hover.
    bool m_named = false;
    unsigned int m_expressorStride = 0;
    std::multimap<GeneExpression*, std::shared_ptr<ExpressionRenderer>> m_renderers;
    std::shared_ptr<ColoredMeshExpressionRenderer> m_coloredMesh;
    GLTextureButton m_zoomButton;
    GLTextureButton m_closeButton;
    GLTextureButton* m_pressedButton = nullptr;
    std::shared_ptr<ProbeMouseTool> m_probeTool;
    std::shared_ptr<MPRRenderer> m_slices;
    std::shared_ptr<CuttingPlaneRenderer> m_cuttingPlanes;
    std::shared_ptr<VolumeRenderer> m_atlasVolume;
    std::shared_ptr<KestRenderer> m_correlation;
    std::shared_ptr<ProjectionMapRenderer> m_projection;
    std::shared_ptr<VolumeRenderer> m_volume;
    std::shared_ptr<PointSetRenderer> m_pointSet;
    std::shared_ptr<GLTextBox> m_nameLabel;
    ExpressionStructureControl* m_activeStructureControl = nullptr;
    std::map<GeneExpression*, std::shared_ptr<ExpressionStructureControl>> m_structureControls;
};
