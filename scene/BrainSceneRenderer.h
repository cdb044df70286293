#pragma once

#include "atlas/ImageSeries.h"
#include "core/UserPreferencesListener.h"
#include "expression/BrainExpressionModelListener.h"
#include "gl/BrainSceneServices.h"
#include "gl/GLInteractiveRenderer.h"
#include "gl/TimerListener.h"
#include "gl/Trackball.h"
#include "scene/ImageControlBar.h"
#include "scene/MovePlaneMouseTool.h"
#include "scene/OverlayLayout.h"
#include "scene/OverlayRect.h"
#include "scene/PanMouseTool.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class AnnotationLabel;
class AtlasSpace;
class Bookmark;
class BookmarkInterpolator;
class BrainExpressionModel;
class BrainSceneView;
class ExpressionLevelThresholdControl;
class ExpressionThresholdControl;
class GeneExpression;
class GLDisplay;
class GLTextBox;
class SearchController;
class TabControlRenderer;
class TiledImage;
class VolumeThresholdControl;

// The 3D scene of a document's first tab: one BrainSceneView per atlas space laid out in a grid, the
// orientation compass, the text overlays, the section image with its control bar and the threshold
// controls. It follows the document's model and the preferences, runs the 40 ms timer of trackball spin
// and bookmark animation, and routes the mouse and keys.
//
// The display, model, tab bar and search controller are not owned and outlive the renderer; the views,
// controls, text boxes and compass list are. Construction and destruction make and free GL objects, so
// they run with the display's context current. Main thread only; the timer ticks on the main loop.
class BrainSceneRenderer : public GLInteractiveRenderer,
                           public BrainExpressionModelListener,
                           public TimerListener,
                           public UserPreferencesListener,
                           public BrainSceneServices
{
public:
    BrainSceneRenderer(GLDisplay* display, BrainExpressionModel* model, TabControlRenderer* tabs,
                       SearchController* searchController);
    ~BrainSceneRenderer() override;
    BrainSceneRenderer(const BrainSceneRenderer&) = delete;
    BrainSceneRenderer& operator=(const BrainSceneRenderer&) = delete;

    void Initialize() override;
    // Throws std::runtime_error when the GL gives no display list for the compass.
    void Display() override;
    void Reshape(int width, int height) override;
    void SetActive(bool active) override;
    void ResetCursorRects() override;
    void ModelChanged(int code, BrainExpressionModel* model, int argument) override;
    virtual void GoToBookmark(const Bookmark& bookmark, bool immediate);
    virtual void CenterViewAt(const float* point, bool immediate, AtlasSpace* space);
    virtual void CenterViewAt(const AnnotationLabel* label, bool immediate, AtlasSpace* space);
    virtual int GetNumVisibleAtlasSpaces() const;
    virtual bool AllSpacesVisible() const;
    virtual AtlasSpace* GetVisibleAtlasSpace(int index) const;
    // Null shows every view; a view shows that one alone.
    virtual void ZoomToSubview(BrainSceneView* view);
    virtual void LayoutSubViews();
    virtual void RemoveSubViewFocus();
    virtual void TranslateOrigin(int dx, int dy);
    virtual void PositionLights();
    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;
    bool OnMouseWheel(int x, int y, int flags, int delta, unsigned int time) override;
    bool OnDoubleClick(int button, int x, int y, int flags, unsigned int time) override;
    bool OnKeyDown(unsigned int key, int flags, unsigned int time) override;
    bool OnSpecialKeyDown(int code, int flags, unsigned int time) override;
    void TimerElapsed() override;
    void PreferenceChanged(int code) override;
    void Animate(bool on) override;
    virtual BrainExpressionModel* GetModel() { return m_model; }
    virtual const BrainExpressionModel* GetModel() const { return m_model; }
    GLDisplay* GetContext() override { return m_display; }
    virtual void Invalidate();
    virtual Trackball* GetTrackball() { return &m_trackball; }
    virtual TiledImage* GetSectionImage() { return m_sectionImage.get(); }
    virtual bool IsSavingFrames() const { return m_saveEveryFrame; }
    virtual SearchController* GetSearchController() { return m_searchController; }
    virtual bool CanShowImageInBrowser();
    virtual void ShowImageInBrowser();
    virtual void ShowAtlasImage();
    virtual void HideImage();
    virtual void DeselectAll();
    virtual void RegenerateExpressionDisplays();
    // Glyphs and meshes of every view, into files named prefix + ...: a folder ending in "/".
    virtual void ExportPOVRay(const char* prefix);
    int GetWidth() const override { return m_width; }
    int GetHeight() const override { return m_height; }
    // The first visible view holding the point (y from the top), or null.
    virtual BrainSceneView* FindSubView(int x, int y);
    virtual void AddGene(GeneExpression* gene);
    virtual void RemoveGene(GeneExpression* gene);
    virtual void HideOtherGenes(GeneExpression* gene, bool show);
    virtual void DrawCompass();
    virtual void DrawText();
    virtual void UpdateSelection();
    virtual void ShowImage(const ImageSeries::ImageInfo* info, unsigned int id, const AtlasSpace* space, int x, int y,
                           ImageSeries::PlaneOfSection plane, float scale, const char* a, const char* b, const char* c);
    virtual void ResetView();
    virtual void CheckSelectionVisibility();
    virtual ExpressionThresholdControl* GetActiveThresholdControl();
    virtual ExpressionLevelThresholdControl* GetActiveLevelThresholdControl();
    virtual VolumeThresholdControl* GetActiveVolumeThresholdControl();
    virtual void UpdateVolumeRenderThresholdControl();
    virtual void UpdateExpressionThresholdControls();
    virtual void SaveFrameImage();
    virtual bool ProbeVisible();
    virtual void UpdateProbe();

    void SetModelRotation(const float* quaternion) override;

    // The grid of the view layout: for n views in a width x height area the row count with the cell
    // shape nearest to square (the first of equals); rows whose cells would have no height are never
    // chosen. 0 rows when nothing fits.
    struct Grid
    {
        int rows = 0;
        int columns = 0;
        int cellWidth = 0;
        int cellHeight = 0;
    };
    static Grid LayoutGrid(int views, int width, int height);

    // The overlay's pieces as last laid out: on every reshape, frame, press and move, so that presses go to
    // the pieces drawn.
    const OverlayLayout& GetLayout() const { return m_layout; }
    // A visible view's place among the layout's views; -1 for a hidden one.
    int GetLayoutIndex(const BrainSceneView* view) const;
    // The compass's square (empty unless it shows in the corner) and what the threshold control covers
    // (empty without one), as laid out.
    OverlayRect GetCompassRect() const { return m_layout.GetCompass(); }
    OverlayRect GetControlRect() const { return m_layout.GetControl(); }

    const std::vector<std::shared_ptr<BrainSceneView>>& GetViews() const { return m_views; }
    BrainSceneView* GetFocusedView() const { return m_focusedView; }
    float GetCompassSize() const { return m_compassSize; }
    bool IsAnimating() const { return m_animating; }
    bool HasBookmarkAnimation() const { return static_cast<bool>(m_bookmarkAnimation); }
    GLTextBox* GetInfoBox() const { return m_infoBox.get(); }
    GLTextBox* GetFrameRateBox() const { return m_frameRateBox.get(); }
    void ShowFrameRate(bool show) { m_showFrameRate = show; }
    void ShowWindowSize(bool show) { m_showWindowSize = show; }
    bool CompassHovered() const { return m_compassHover; }
    unsigned int GetCompassList() const { return m_compassList; }
    const std::map<const GeneExpression*, std::shared_ptr<ExpressionThresholdControl>>& GetThresholdControls() const
    {
        return m_thresholdControls;
    }
    const std::map<const GeneExpression*, std::shared_ptr<ExpressionLevelThresholdControl>>& GetLevelThresholdControls()
        const
    {
        return m_levelControls;
    }
    VolumeThresholdControl* GetVolumeThresholdControl() const { return m_volumeControl.get(); }
    MouseListener* GetMouseCapture() const { return m_mouseCapture; }
    const BookmarkInterpolator* GetBookmarkAnimation() const { return m_bookmarkAnimation.get(); }
    // The clock of the animations started from now on; null for the steady clock (tests step their own).
    void SetAnimationClock(std::function<double()> clock) { m_animationClock = std::move(clock); }
    // Starts or ends the frame-rate clock's history (tests measure from a clean start).
    static void ResetFrameRateClock();

private:
    void CompileCompass();
    void DrawCompassAxes();
    void DrawFrameRate();
    void DrawThresholdControl();
    void DrawAttribution();
    void SetInfoText(const std::string& text);
    void DrawInfoBox();
    // Lays the overlay out again for what the scene shows now.
    void UpdateLayout();
    OverlayLayout::Shown WhatIsShown();
    int MeasureText(const std::string& text);
    int ChartTitleWidth(const std::string& title);
    int TabHeight() const;
    // A press or move at (x, y), y from the top, is the compass's.
    bool OverCompass(int x, int y);
    bool StructureHasDatabaseId(const AnnotationLabel* label, unsigned long id) const;
    bool HasVolumeGrid(const GeneExpression* gene) const;
    void ForwardInViewSpace(const std::function<bool()>& call, bool& result);
    MouseListener* ChooseTool(int button, int flags);
    void StopBookmarkAnimation();
    bool WantsAnimation(const Bookmark& target, bool immediate) const;
    void StartBookmarkAnimation(const Bookmark& target, float duration);
    void DropBookmarkAnimation();
    void ShowStructureAncestry(const AnnotationLabel* label);

    BrainExpressionModel* m_model;
    GLDisplay* m_display;
    std::vector<std::shared_ptr<BrainSceneView>> m_views;
    BrainSceneView* m_focusedView = nullptr;
    ImageControlBar m_imageControlBar;
    std::shared_ptr<TiledImage> m_sectionImage;
    TabControlRenderer* m_tabs;
    SearchController* m_searchController;
    std::map<const GeneExpression*, std::shared_ptr<ExpressionThresholdControl>> m_thresholdControls;
    ExpressionThresholdControl* m_activeThresholdControl = nullptr;
    std::map<const GeneExpression*, std::shared_ptr<ExpressionLevelThresholdControl>> m_levelControls;
    ExpressionLevelThresholdControl* m_activeLevelControl = nullptr;
    std::shared_ptr<VolumeThresholdControl> m_volumeControl;
    bool m_refreshThresholdControl = true;
    bool m_refreshLevelControl = true;
    bool m_animating = false;
    std::shared_ptr<BookmarkInterpolator> m_bookmarkAnimation;
    std::function<double()> m_animationClock;
    int m_originX = 0;
    int m_originY = 0;
    int m_width = 0;
    int m_height = 0;
    float m_compassSize = 180.0f;
    bool m_showFrameRate = false;
    bool m_showWindowSize = false;
    std::unique_ptr<GLTextBox> m_infoBox;
    // The selection's text again, in a box of the width and lines that the layout leaves it where that is
    // less than the whole text; null otherwise.
    std::unique_ptr<GLTextBox> m_narrowInfoBox;
    std::string m_infoText;
    // The widths of the selection's lines unwrapped, and of the attribution.
    std::vector<int> m_infoLineWidths;
    int m_attributionWidth = 0;
    int m_characterWidth = 7;
    std::pair<std::string, int> m_chartTitle;
    // Measures texts: a box without width shows them whole.
    std::unique_ptr<GLTextBox> m_measureBox;
    OverlayLayout m_layout;
    std::unique_ptr<GLTextBox> m_frameRateBox;
    std::unique_ptr<GLTextBox> m_sizeBox;
    std::unique_ptr<GLTextBox> m_attributionBox;
    MouseListener* m_mouseCapture = nullptr;
    PanMouseTool m_panTool;
    MovePlaneMouseTool m_movePlaneTool;
    Trackball m_trackball;
    bool m_compassHover = false;
    unsigned int m_compassList = 0;
    bool m_tick = false;
    bool m_saveEveryFrame = false;
};
