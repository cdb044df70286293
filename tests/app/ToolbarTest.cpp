// The document window's toolbar, the sliders under the 3D view, the thread that loads the atlas volumes
// before a section plane is shown, and the window title, on a real window over the demo server's atlas.

#include "ShellTestSupport.h"

#include "app/AtlasLoadingThread.h"
#include "app/BrainDocTab.h"
#include "app/CorvaneWindowController.h"
#include "app/DocumentToolbar.h"
#include "app/Notifications.h"
#include "app/SegmentedControl.h"
#include "app/ToolbarImages.h"
#include "app/ViewController3d.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasFileError.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/Image3dPlane.h"
#include "core/TaskProgress.h"
#include "core/UserCancelledOperationException.h"
#include "expression/BrainExpressionModel.h"
#include "gl/TabControlRenderer.h"
#include "scene/BrainSceneRenderer.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QSlider>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

namespace
{

class ToolbarTest : public DocumentFixture
{
protected:
    CorvaneWindowController& Window() { return *doc->windowController(); }
    DocumentToolbar& Toolbar() { return *doc->documentToolbar(); }
    BrainExpressionModel& Model() { return *doc->expressionModel(); }
    SegmentedControl& Planes() { return *Window().atlasPlaneToggleBar; }
    bool PlaneShown(Image3dPlane::Plane plane) { return Model().UIGetMPRPlaneVisible(plane); }
    bool SegmentShown(Image3dPlane::Plane plane) { return Planes().IsSelected(Planes().SegmentForTag(plane)); }
    std::vector<AtlasSpace*> Spaces()
    {
        std::vector<AtlasSpace*> spaces;
        for (int i = 0; i < doc->detailRenderer()->GetNumVisibleAtlasSpaces(); ++i)
            spaces.push_back(doc->detailRenderer()->GetVisibleAtlasSpace(i));
        return spaces;
    }
    bool AllLoaded()
    {
        const std::vector<AtlasSpace*> spaces = Spaces();
        return std::all_of(spaces.begin(), spaces.end(), [](AtlasSpace* s) { return s->FullAtlasIsLoaded(); });
    }
    bool WaitForLoad()
    {
        return RunEventsUntil([&] { return !doc->atlasLoading(); }, 60000);
    }
};

TEST_F(ToolbarTest, SlidersSetTheModelAndFollowItWithoutEchoing)
{
    QSlider& zoom = *Window().zoomSlider;
    QSlider& blend = *Window().imageBlendSlider;
    // A new window's sliders show the model's values before anything moved them.
    ASSERT_EQ(40.0f, Model().GetZoom());
    EXPECT_EQ(40, zoom.value());
    EXPECT_EQ(static_cast<int>(Model().GetImageAlpha() * 100.0f), blend.value());
    int zoomNotes = 0;
    QObject::connect(Notifications::Instance(), &Notifications::ZoomChanged, doc, [&] { ++zoomNotes; });
    struct Case
    {
        QSlider* slider;  // moved by the user when set
        int position;     // the slider's new position
        float modelValue; // set elsewhere when no slider is given
        float zoom, alpha;
        int zoomShown, blendShown;
    };
    const float startAlpha = Model().GetImageAlpha();
    const int startBlend = blend.value();
    const Case cases[] = {
        {&zoom, 73, 0, 73.0f, startAlpha, 73, startBlend},
        {nullptr, 0, 40.6f, 40.6f, startAlpha, 40, startBlend},
        {&blend, 35, 0, 40.6f, 0.35f, 40, 35},
    };
    for (const Case& c : cases)
    {
        if (c.slider)
            c.slider->setValue(c.position);
        else
            Model().SetZoom(c.modelValue, true);
        EXPECT_EQ(c.zoom, Model().GetZoom()) << c.position;
        EXPECT_FLOAT_EQ(c.alpha, Model().GetImageAlpha()) << c.position;
        EXPECT_EQ(c.zoomShown, zoom.value()) << c.position;
        EXPECT_EQ(c.blendShown, blend.value()) << c.position;
    }
    // Each zoom change was announced once, and the slider's own did not move it back.
    EXPECT_EQ(2, zoomNotes);
    Model().SetImageAlpha(0.5f, true);
    EXPECT_EQ(50, blend.value());
    EXPECT_EQ(0.5f, Model().GetImageAlpha());
    // Outside the scene the zoom slider is off.
    Wrapper().CreateNewTab(true, kTabList);
    EXPECT_FALSE(zoom.isEnabled());
}

TEST_F(ToolbarTest, SectionPlanesWaitForTheAtlasVolumesOnlyWhenOneIsMissing)
{
    ASSERT_FALSE(Spaces().empty());
    ASSERT_FALSE(AllLoaded());
    std::vector<int> progress;
    QObject::connect(doc->progressBar(), &QProgressBar::valueChanged, doc, [&](int v) { progress.push_back(v); });
    // Hiding a shown plane while a space lacks its volumes loads them first, then hides it.
    Model().UISetMPRPlaneVisible(Image3dPlane::CORONAL, true, false);
    doc->setMPRPlaneVisibility(Image3dPlane::CORONAL, false);
    EXPECT_TRUE(doc->atlasLoading());
    EXPECT_TRUE(PlaneShown(Image3dPlane::CORONAL));
    EXPECT_FALSE(Planes().isEnabled());
    // Meanwhile the section control and the command do nothing.
    Planes().GetSegmentButton(Planes().SegmentForTag(Image3dPlane::HORIZONTAL))->click();
    doc->setMPRPlaneVisibility(Image3dPlane::SAGITTAL, true);
    ASSERT_TRUE(WaitForLoad());
    EXPECT_TRUE(AllLoaded());
    EXPECT_FALSE(PlaneShown(Image3dPlane::CORONAL));
    EXPECT_FALSE(PlaneShown(Image3dPlane::HORIZONTAL));
    EXPECT_FALSE(PlaneShown(Image3dPlane::SAGITTAL));
    EXPECT_TRUE(Planes().isEnabled());
    EXPECT_EQ("", doc->statusText());
    EXPECT_FALSE(doc->progressBar()->isVisibleTo(&Window()));
    // The bar counts a percentage times 100, up to the whole. The scene draws the shown plane meanwhile and
    // reads its volumes itself: it may have read them all before the worker looks, which then has nothing to
    // load and shows no bar (the failed load below always shows it).
    for (int v : progress)
        EXPECT_TRUE(v >= 0 && v <= 10000 && v % 100 == 0) << v;
    EXPECT_EQ(10000, doc->progressBar()->maximum());
    for (const float percent : {0.0f, 37.0f, 100.0f})
    {
        AtlasLoadingThread::UpdateProgress(doc, percent);
        EXPECT_EQ(static_cast<int>(percent) * 100, doc->progressBar()->value());
    }
    // With every space loaded the plane shows at once, without a thread; so does the segment.
    progress.clear();
    Planes().GetSegmentButton(Planes().SegmentForTag(Image3dPlane::SAGITTAL))->click();
    EXPECT_FALSE(doc->atlasLoading());
    EXPECT_TRUE(PlaneShown(Image3dPlane::SAGITTAL));
    EXPECT_TRUE(SegmentShown(Image3dPlane::SAGITTAL));
    EXPECT_TRUE(progress.empty());
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(ToolbarTest, FailedLoadAlertsAndTheControlShowsTheModelAgain)
{
    for (AtlasSpace* space : Spaces())
    {
        std::ofstream(space->GetPath() + "/Atlas", std::ios::trunc) << "no volume";
        std::filesystem::remove(space->GetAtlas()->GetLocalPath() + "/Atlas");
    }
    ASSERT_FALSE(AllLoaded());
    std::vector<int> progress;
    QObject::connect(doc->progressBar(), &QProgressBar::valueChanged, doc, [&](int v) { progress.push_back(v); });
    Planes().GetSegmentButton(Planes().SegmentForTag(Image3dPlane::CORONAL))->click();
    EXPECT_TRUE(SegmentShown(Image3dPlane::CORONAL));
    ASSERT_TRUE(doc->atlasLoading());
    // A result tab shown meanwhile keeps the control off after the load; the scene turns it on again.
    Wrapper().CreateNewTab(true, kTabList);
    Tabs().SwitchTab(0);
    EXPECT_FALSE(Planes().isEnabled());
    Tabs().SwitchTab(1);
    ASSERT_TRUE(WaitForLoad());
    EXPECT_FALSE(Planes().isEnabled());
    Tabs().SwitchTab(0);
    ASSERT_EQ(1u, alerts.alerts.size());
    // The alert names the atlas and the damaged file beside the reason.
    const AtlasSpace* space = Spaces().front();
    EXPECT_EQ(AtlasFileError::Describe(space->GetAtlas()->GetName(), space->GetPath() + "/Atlas",
                                       "Could not load 3D Nissl image."),
              alerts.alerts[0]);
    EXPECT_FALSE(PlaneShown(Image3dPlane::CORONAL));
    EXPECT_FALSE(SegmentShown(Image3dPlane::CORONAL));
    EXPECT_TRUE(Planes().isEnabled());
    EXPECT_EQ("", doc->statusText());
    EXPECT_FALSE(doc->progressBar()->isVisibleTo(&Window()));
    // Nothing but the worker reads the Nissl image of a plane not shown, so it always had that to load: the
    // bar showed the annotation read before the image failed, then went back to nothing.
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(5000, *std::max_element(progress.begin(), progress.end()));
    EXPECT_EQ(0, progress.back());
}

TEST_F(ToolbarTest, ClosingTheWindowDuringALoadCancelsItAndChangesNothing)
{
    // A load that runs until it is cancelled: whatever it would report must not reach the document.
    std::atomic<bool> started{false};
    auto thread = std::make_unique<AtlasLoadingThread>(
        doc, Spaces(), MPRVisibilityInfo(Image3dPlane::CORONAL, true), [&](AtlasSpace*, TaskProgress* progress) {
            started = true;
            progress->SetProgress(50.0f);
            while (!progress->ShouldCancel())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            throw UserCancelledOperationException();
        });
    while (!started)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    thread.reset();
    RunEventsFor(50);
    EXPECT_FALSE(PlaneShown(Image3dPlane::CORONAL));
    EXPECT_EQ("", doc->statusText());
    // Not even the progress it made is shown.
    EXPECT_NE(5000, doc->progressBar()->value());
    EXPECT_FALSE(doc->progressBar()->isVisibleTo(&Window()));

    // The window closes while the document's own load runs; the document goes afterwards.
    doc->setMPRPlaneVisibility(Image3dPlane::CORONAL, true);
    EXPECT_TRUE(doc->atlasLoading());
    doc->performClose();
    EXPECT_FALSE(doc->atlasLoading());
    RunEventsFor(50);
    EXPECT_FALSE(PlaneShown(Image3dPlane::CORONAL));
    EXPECT_TRUE(alerts.alerts.empty());
    // A load still running when the document itself goes is joined too.
    CorvaneDoc* other = Open(310);
    ASSERT_NE(nullptr, other);
    other->setMPRPlaneVisibility(Image3dPlane::HORIZONTAL, true);
    opened.erase(std::find(opened.begin(), opened.end(), other));
    delete other;
    RunEventsFor(50);
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(ToolbarTest, ItemsHaveTheirLabelsTagsAndImages)
{
    EXPECT_EQ(QStringList({"Tool Mode", "Atlas Sections", "Search", "Expand View", "Cutting Planes", "Center View"}),
              Toolbar().PaletteLabels());
    struct Segments
    {
        SegmentedControl* control;
        std::vector<int> tags;
        QStringList toolTips;
    };
    for (const Segments& s :
         {Segments{Window().selectionTools, {0, 1, 2}, {"Rotation Tool", "Panning Tool", "Selection Tool"}},
          Segments{Window().atlasPlaneToggleBar, {2, 0, 1}, {"Sagittal Nissl", "Coronal Nissl", "Horizontal Nissl"}}})
    {
        EXPECT_EQ(QSize(94, 25), s.control->size());
        ASSERT_EQ(3, s.control->GetSegmentCount());
        for (int i = 0; i < 3; ++i)
        {
            EXPECT_EQ(s.tags[i], s.control->GetTag(i));
            EXPECT_EQ(s.toolTips[i], s.control->GetSegmentButton(i)->toolTip());
            EXPECT_EQ(27, s.control->GetSegmentButton(i)->width());
            EXPECT_FALSE(s.control->GetSegmentButton(i)->icon().isNull());
        }
    }
    // The tool segments choose one; the section segments any.
    Window().selectionTools->GetSegmentButton(2)->click();
    EXPECT_EQ(2, static_cast<int>(Model().GetToolMode()));
    EXPECT_EQ(2, Window().selectionTools->GetSelectedSegment());
    EXPECT_FALSE(Window().selectionTools->IsSelected(0));
    struct Button
    {
        QString identifier, toolTip;
    };
    for (const Button& b : {Button{DocumentToolbar::kCenterViewItem, "Center View"},
                            Button{DocumentToolbar::kCuttingPlanesItem, "Move Cutting Planes"},
                            Button{DocumentToolbar::kExpandViewItem, "Expand View"}})
    {
        ASSERT_NE(nullptr, Toolbar().Item(b.identifier));
        EXPECT_EQ(b.toolTip, Toolbar().Item(b.identifier)->toolTip());
        EXPECT_FALSE(Toolbar().Item(b.identifier)->icon().isNull());
    }
    EXPECT_EQ(Window().searchField->parentWidget(), Window().toolbar);
    EXPECT_EQ(nullptr, Toolbar().itemForItemIdentifier("No Such Item Identifier"));
    for (const char* name : {"RotationTool", "Hand", "SelectionTool", "SagittalPlane", "CoronalPlane", "AxialPlane",
                             "CenterViewOnSelection", "CuttingPlanes", "ExpandView"})
    {
        // Each image is drawn: some pixels are not transparent.
        const QImage image = ToolbarImages::Image(name).pixmap(20, 20).toImage();
        int inked = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                inked += qAlpha(image.pixel(x, y)) > 0;
        EXPECT_GT(inked, 20) << name;
    }
    EXPECT_TRUE(ToolbarImages::Image("Nothing").isNull());
    // The expand-view button hides the lists.
    Toolbar().Item(DocumentToolbar::kExpandViewItem)->trigger();
    EXPECT_FALSE(Window().listContainerView->isVisibleTo(&Window()));
}

TEST_F(ToolbarTest, ItemsFollowTheViewAndTheSelection)
{
    QAction* cutting = Toolbar().Item(DocumentToolbar::kCuttingPlanesItem);
    QAction* center = Toolbar().Item(DocumentToolbar::kCenterViewItem);
    EXPECT_TRUE(cutting->isEnabled());
    EXPECT_FALSE(center->isEnabled());
    // A structure that is drawn can be centred on; one that is not cannot.
    const AnnotationLabel* label = Model().GetAtlas()->GetOntology()->GetAnnotationLabelByIndex(2);
    Model().SelectStructure(label, true);
    EXPECT_FALSE(center->isEnabled());
    auto drawn = Model().GetStructureSelector();
    drawn.Merge(label->selector);
    Model().SetStructureSelector(drawn, true);
    EXPECT_TRUE(center->isEnabled());
    Wrapper().CreateNewTab(true, kTabList);
    EXPECT_FALSE(cutting->isEnabled());
    EXPECT_FALSE(center->isEnabled());
    Tabs().SwitchTab(0);
    EXPECT_TRUE(cutting->isEnabled());
    EXPECT_TRUE(center->isEnabled());
}

TEST_F(ToolbarTest, CustomisingKeepsTheMenusWorkingAndIsRemembered)
{
    // The toolbar's context menu lists the palette, each item checked while shown.
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), Window().toolbar->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(Window().toolbar, &click);
    QMenu* menu = Window().findChild<QMenu*>("toolbarCustomizeMenu");
    ASSERT_NE(nullptr, menu);
    EXPECT_TRUE(RunEventsUntil([&] { return menu->isVisible(); }, 5000));
    QStringList labels;
    for (QAction* entry : menu->actions())
    {
        labels << entry->text();
        EXPECT_TRUE(entry->isChecked()) << entry->text().toStdString();
    }
    EXPECT_EQ(Toolbar().PaletteLabels(), labels);
    // Unchecking "Search" takes the field out of the toolbar.
    menu->actions()[labels.indexOf("Search")]->setChecked(false);
    menu->close();
    RunEventsFor(20);
    EXPECT_FALSE(Toolbar().IsItemShown(DocumentToolbar::kSearchFieldItem));
    EXPECT_FALSE(Window().searchField->isVisible());
    EXPECT_TRUE(Toolbar().IsItemShown(DocumentToolbar::kToolModeItem));
    // The menus go on working without it.
    for (QMenu* m : Window().menus)
        emit m->aboutToShow();
    Window().newTabAction->trigger();
    EXPECT_EQ(2, Tabs().GetNumTabs());
    Window().closeTabAction->trigger();
    Window().searchAction->trigger();
    Window().expandedViewAction->trigger();
    EXPECT_FALSE(Window().listContainerView->isVisibleTo(&Window()));
    // A new window has the toolbar as it was left.
    const std::string saved = root.Store().GetValue(DocumentToolbar::kToolbarIdentifier.toStdString());
    EXPECT_EQ(std::string::npos, saved.find("Search Field")) << saved;
    CorvaneDoc* again = Open(310);
    ASSERT_NE(nullptr, again);
    EXPECT_FALSE(again->documentToolbar()->IsItemShown(DocumentToolbar::kSearchFieldItem));
    EXPECT_TRUE(again->documentToolbar()->IsItemShown(DocumentToolbar::kCenterViewItem));
    again->documentToolbar()->SetItemShown(DocumentToolbar::kSearchFieldItem, true);
    RunEventsFor(20);
    EXPECT_TRUE(again->windowController()->searchField->isVisible());
}

// Answers no atlas, as a document's model without one would.
class ModelWithoutAtlas : public BrainExpressionModel
{
public:
    using BrainExpressionModel::BrainExpressionModel;
    const Atlas* GetAtlas() const override { return nullptr; }
    Atlas* GetAtlas() override { return nullptr; }
};

TEST_F(ToolbarTest, WindowTitleIsTheAtlasName)
{
    EXPECT_EQ("Ostrel Adult Mouse", Window().windowTitle().toStdString());
    EXPECT_EQ("Ostrel Brain Atlas", CorvaneWindowController::windowTitleForDocumentDisplayName(nullptr).toStdString());
    const ModelWithoutAtlas model(AtlasSet::GetAtlasWithId(310));
    EXPECT_EQ("Ostrel Brain Atlas", CorvaneWindowController::windowTitleForDocumentDisplayName(&model).toStdString());
}

} // namespace
