#include "app/CorvaneWindowController.h"

#include "app/BookmarksOutlineView.h"
#include "app/CorvaneAppDelegate.h"
#include "app/ContextMenuTableView.h"
#include "app/CorvaneDoc.h"
#include "app/PreferencesController.h"
#include "app/SegmentedControl.h"
#include "app/SingleDocumentController.h"
#include "atlas/Atlas.h"
#include "core/Alerts.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "gl/GLView.h"
#include "platform/WindowActivationTracker.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace
{
constexpr int kDividerTop = 120;
constexpr int kDividerBottomMargin = 105;
constexpr int kDefaultWidth = 1120;
constexpr int kDefaultHeight = 700;
constexpr int kListWidth = 440;
constexpr int kZoomSliderWidth = 160;
// A slider's groove stays several handles long.
constexpr int kLeastSliderWidth = 80;
const char* const kActionProperty = "corvaneAction";
} // namespace

CorvaneWindowController::CorvaneWindowController(CorvaneDoc* doc)
    : m_doc(doc)
{
    setObjectName("mainWindow");
    WindowActivationTracker::MarkDocumentWindow(this);
    setAttribute(Qt::WA_DeleteOnClose, false);
    // A pointer resting on a toolbar item shows its tooltip even while another window has the focus (a
    // dialog of another program, the launch that handed a URL on): Qt's default shows them only in the
    // active window.
    setAttribute(Qt::WA_AlwaysShowToolTips);

    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(4, 4, 4, 4);
    auto* columns = new QSplitter(Qt::Horizontal, central);
    columns->setChildrenCollapsible(false);

    auto* sceneColumn = new QWidget(columns);
    auto* sceneLayout = new QVBoxLayout(sceneColumn);
    sceneLayout->setContentsMargins(0, 0, 0, 0);
    sceneView = new GLView(sceneColumn);
    sceneView->setObjectName("sceneView");
    sceneView->setMinimumSize(320, 240);
    sceneView->setFocusPolicy(Qt::StrongFocus);
    sceneLayout->addWidget(sceneView, 1);
    // Under the scene: the image controls on the left, shown on demand, and the zoom control at the right.
    // The two sliders share the row's room, the zoom's up to its full width and the image's the rest; in a
    // narrow scene both shorten alike to a length that can still be dragged.
    auto* controlsRow = new QHBoxLayout();
    viewSettingsContainer = BuildViewSettings();
    viewSettingsContainer->setParent(sceneColumn);
    viewSettingsContainer->setVisible(false);
    controlsRow->addWidget(viewSettingsContainer, 1);
    controlsRow->addStretch(0);
    QWidget* zoomContainer = BuildZoomControl();
    zoomContainer->setParent(sceneColumn);
    controlsRow->addWidget(zoomContainer, 1);
    sceneLayout->addLayout(controlsRow);
    columns->addWidget(sceneColumn);

    listContainerView = BuildListContainer();
    columns->addWidget(listContainerView);
    // The outlines keep the width that shows their names whole; a larger window gives the rest to the scene.
    columns->setStretchFactor(0, 1);
    columns->setStretchFactor(1, 0);
    columns->setSizes({kDefaultWidth - kListWidth, kListWidth});
    outer->addWidget(columns, 1);

    auto* statusRow = new QHBoxLayout();
    statusField = new QLabel(central);
    statusField->setObjectName("statusField");
    progressBar = new QProgressBar(central);
    progressBar->setObjectName("progressBar");
    progressBar->setMaximumWidth(160);
    // The atlas loading thread reports a percentage times 100.
    progressBar->setRange(0, 10000);
    progressBar->setTextVisible(false);
    progressBar->setVisible(false);
    stopButton = new QPushButton(tr("Stop"), central);
    stopButton->setObjectName("stopButton");
    stopButton->setVisible(false);
    statusRow->addWidget(statusField, 1);
    statusRow->addWidget(progressBar);
    statusRow->addWidget(stopButton);
    outer->addLayout(statusRow);
    setCentralWidget(central);

    // The document's toolbar takes the search field out of the window's content.
    searchField = new QLineEdit(this);
    searchField->setObjectName("searchField");
    searchField->setPlaceholderText(tr("Search"));
    searchField->setClearButtonEnabled(true);
    searchField->setFixedWidth(200);
    searchField->hide();

    BuildMenus();
    resize(kDefaultWidth, kDefaultHeight);
}

QWidget* CorvaneWindowController::BuildViewSettings()
{
    auto* container = new QWidget();
    container->setObjectName("viewSettingsContainer");
    auto* layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->addWidget(new QLabel(tr("Image Blending"), container));
    imageBlendSlider = new QSlider(Qt::Horizontal, container);
    imageBlendSlider->setObjectName("imageBlendSlider");
    imageBlendSlider->setRange(0, 100);
    imageBlendSlider->setMinimumWidth(kLeastSliderWidth);
    layout->addWidget(imageBlendSlider, 1);
    return container;
}

QWidget* CorvaneWindowController::BuildZoomControl()
{
    auto* container = new QWidget();
    container->setObjectName("zoomContainer");
    auto* layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 2, 0, 2);
    // No wider than the label and the slider at full length: the row's room left over stays beside it.
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    auto* label = new QLabel(tr("Zoom"), container);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    layout->addWidget(label);
    zoomSlider = new QSlider(Qt::Horizontal, container);
    zoomSlider->setObjectName("zoomSlider");
    // The model's zoom range.
    zoomSlider->setRange(15, 250);
    zoomSlider->setMinimumWidth(kLeastSliderWidth);
    zoomSlider->setMaximumWidth(kZoomSliderWidth);
    layout->addWidget(zoomSlider);
    return container;
}

QString CorvaneWindowController::windowTitleForDocumentDisplayName(const BrainExpressionModel* model)
{
    const Atlas* atlas = model ? model->GetAtlas() : nullptr;
    return atlas ? QString::fromStdString(atlas->GetName()) : QStringLiteral("Ostrel Brain Atlas");
}

QWidget* CorvaneWindowController::BuildListContainer()
{
    auto* container = new QWidget();
    container->setObjectName("listContainerView");
    container->setMinimumWidth(220);
    auto* layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    listSplitter = new QSplitter(Qt::Vertical, container);
    listSplitter->setObjectName("listSplitter");
    listSplitter->setChildrenCollapsible(false);

    auto* upper = new QWidget(listSplitter);
    upper->setMinimumHeight(60);
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    ontologyViewStyle = new SegmentedControl(true, upper);
    ontologyViewStyle->setObjectName("ontologyViewStyle");
    ontologyViewStyle->AddSegment(tr("A-Z"), 0, tr("Alphabetical"));
    ontologyViewStyle->AddSegment(tr("Tree"), 1, tr("Hierarchy"));
    ontologyViewStyle->AddSegment(tr("Bookmarks"), 2, tr("Bookmarks"));
    ontologyViewStyle->SetSelectedSegment(1);
    upperLayout->addWidget(ontologyViewStyle);
    ontologySearchField = new QLineEdit(upper);
    ontologySearchField->setObjectName("ontologySearchField");
    ontologySearchField->setPlaceholderText(tr("Filter"));
    upperLayout->addWidget(ontologySearchField);
    auto place = [upperLayout](QTreeView* outline, const char* name) {
        outline->setObjectName(name);
        outline->setUniformRowHeights(true);
        outline->setSelectionBehavior(QAbstractItemView::SelectRows);
        upperLayout->addWidget(outline, 1);
        return outline;
    };
    hierOntologyView = place(new QTreeView(upper), "hierOntologyView");
    alphaOntologyView = place(new QTreeView(upper), "alphaOntologyView");
    for (QTreeView* outline : {hierOntologyView, alphaOntologyView})
    {
        outline->setSelectionMode(QAbstractItemView::SingleSelection);
        outline->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    bookmarksView = new BookmarksOutlineView(upper);
    place(bookmarksView, "bookmarksView");
    alphaOntologyView->setVisible(false);
    bookmarksView->setVisible(false);

    geneListView = new ContextMenuTableView(listSplitter);
    geneListView->setObjectName("geneListView");
    geneListView->setMinimumHeight(60);
    geneListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    geneListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    geneListView->verticalHeader()->setVisible(false);
    geneListView->horizontalHeader()->setStretchLastSection(false);
    listSplitter->addWidget(upper);
    listSplitter->addWidget(geneListView);
    connect(listSplitter, &QSplitter::splitterMoved, this, [this] { KeepDividerInLimits(); });
    layout->addWidget(listSplitter);
    return container;
}

void CorvaneWindowController::BuildMenus()
{
    BuildFileMenu();
    BuildEditMenu();
    BuildViewMenu();
    BuildStructureMenu();
    BuildGeneMenu();
    BuildBookmarksMenu();
    QMenu* help = menuBar()->addMenu(tr("Help"));
    helpAction = help->addAction(tr("Corvane Help"), [] { CorvaneAppDelegate::Instance()->showHelp(); });
    checkForAtlasesAction =
        help->addAction(tr("Check for Atlases..."), [] { CorvaneAppDelegate::Instance()->checkForAtlases(); });
    menus.append(help);

    for (QMenu* menu : menus)
        connect(menu, &QMenu::aboutToShow, this, [this] { m_doc->validateMenuItem(); });
    // An empty menu never shows, so the recent files are filled in as the File menu opens: with none, Open
    // Recent is dimmed rather than an item that does nothing.
    connect(menus.front(), &QMenu::aboutToShow, this,
            [this] { SingleDocumentController::Instance()->FillRecentMenu(recentMenu); });

    geneContextMenu = new QMenu(geneListView);
    geneContextMenu->addAction(FindAction("findSimilarGenes:imageSeries:"));
    geneContextMenu->addAction(FindAction("findSimilarGenes:"));
    geneContextMenu->addAction(FindAction("showGeneInfo:"));
    geneContextMenu->addAction(FindAction("copyGeneInfo:"));
    geneContextMenu->addAction(FindAction("closeGene:"));
    geneContextMenu->setObjectName("geneListMenu");
    connect(geneContextMenu, &QMenu::aboutToShow, this, [this] { m_doc->validateMenuItem(); });
    static_cast<ContextMenuTableView*>(geneListView)->setMenu(geneContextMenu);
    BuildOutlineMenus();
}

void CorvaneWindowController::BuildOutlineMenus()
{
    ontologyContextMenu = new QMenu(this);
    ontologyContextMenu->setObjectName("ontologyOutlineMenu");
    for (const char* search : {"findGenesByAnatomy:", "findProjectionsFromStructure:", "findProjectionsToStructure:"})
        ontologyContextMenu->addAction(FindAction(search));
    ontologyContextMenu->addSeparator();
    siblingsAction = AddCommand(ontologyContextMenu, tr("Show or Hide Siblings"),
                                "toggleOntologyStructureSiblings:", [this](QAction*) {
                                    m_doc->toggleOntologyStructureSiblings(m_doc->clickedStructure());
                                });
    for (QTreeView* outline : {hierOntologyView, alphaOntologyView})
    {
        outline->viewport()->installEventFilter(this);
        outline->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(outline, &QWidget::customContextMenuRequested, this,
                [this, outline](const QPoint& at) { m_doc->showOntologyMenu(outline, at); });
    }

    bookmarksContextMenu = new QMenu(bookmarksView);
    bookmarksContextMenu->setObjectName("bookmarksOutlineMenu");
    for (const char* command : {"addBookmark:", "addBookmarkGroup:", "sortData:"})
        bookmarksContextMenu->addAction(FindAction(command));
    bookmarksContextMenu->addSeparator();
    bookmarksContextMenu->addAction(FindAction("delete:"));
    connect(bookmarksContextMenu, &QMenu::aboutToShow, this, [this] { m_doc->validateMenuItem(); });
    bookmarksView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(bookmarksView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { bookmarksContextMenu->popup(bookmarksView->viewport()->mapToGlobal(at)); });
}

void CorvaneWindowController::BuildFileMenu()
{
    QMenu* file = menuBar()->addMenu(tr("File"));
    newAction = CorvaneAppDelegate::NewCommand(file);
    file->addAction(newAction);
    openAction = file->addAction(tr("Open..."), QKeySequence::Open,
                                 [] { SingleDocumentController::Instance()->openDocument(); });
    recentMenu = file->addMenu(tr("Open Recent"));
    file->addSeparator();
    AddCommand(file, tr("Import Gene List..."), "importGeneList:", [this](QAction*) { m_doc->importGeneList(); });
    AddCommand(file, tr("Import Gene Relations..."),
               "importGeneRelations:", [this](QAction*) { m_doc->importGeneRelations(); });
    AddCommand(file, tr("Export Data Set..."), "exportGene:", [this](QAction*) { m_doc->exportGene(); });
    file->addSeparator();
    closeWindowAction = file->addAction(tr("Close Window"), [this] { m_doc->performClose(); });
    closeTabAction = AddCommand(file, tr("Close Tab"), "closeTab:", [this](QAction*) { m_doc->closeTab(); });
    file->addSeparator();
    quitAction = CorvaneAppDelegate::QuitCommand(file);
    file->addAction(quitAction);
    menus.append(file);
}

void CorvaneWindowController::BuildEditMenu()
{
    QMenu* edit = menuBar()->addMenu(tr("Edit"));
    AddCommand(
        edit, tr("Copy"), "copy:", [this](QAction*) { m_doc->copy(); }, 0, QKeySequence::Copy);
    AddCommand(edit, tr("Copy Image"), "copyImage:", [this](QAction*) { m_doc->copyImage(); });
    AddCommand(edit, tr("Delete"), "delete:", [this](QAction*) { m_doc->deleteSelection(); });
    edit->addSeparator();
    preferencesAction =
        edit->addAction(tr("Preferences..."), [] { PreferencesController::Instance()->showPreferences(); });
    menus.append(edit);
}

void CorvaneWindowController::BuildViewMenu()
{
    QMenu* view = menuBar()->addMenu(tr("View"));
    newTabAction = AddCommand(
        view, tr("New Tab"), "newTab:", [this](QAction*) { m_doc->newTab(); }, 0, Qt::CTRL | Qt::Key_T);
    AddCommand(
        view, tr("Next Tab"), "cycleNextTab:", [this](QAction*) { m_doc->cycleNextTab(); }, 0,
        Qt::CTRL | Qt::Key_BraceRight);
    AddCommand(
        view, tr("Previous Tab"), "cyclePreviousTab:", [this](QAction*) { m_doc->cyclePreviousTab(); }, 0,
        Qt::CTRL | Qt::Key_BraceLeft);
    view->addSeparator();
    AddCommand(view, tr("Reset View"), "resetView:", [this](QAction*) { m_doc->resetView(); });
    AddCommand(view, tr("Show All Views"), "showAllViews:", [this](QAction*) { m_doc->showAllViews(); });
    AddCommand(view, tr("Center View on Selection"),
               "centerViewOnSelection:", [this](QAction*) { m_doc->centerViewOnSelection(); });
    view->addSeparator();
    const auto tool = [this](QAction* item) { m_doc->changeToolMode(ActionTag(item)); };
    AddCheckedCommand(view, tr("Rotation Tool"), "changeToolMode:", tool, 0);
    AddCheckedCommand(view, tr("Panning Tool"), "changeToolMode:", tool, 1);
    AddCheckedCommand(view, tr("Selection Tool"), "changeToolMode:", tool, 2);
    view->addSeparator();
    const auto plane = [this](QAction* item) { m_doc->changeAtlasPlaneVisibility(ActionTag(item)); };
    AddCheckedCommand(view, tr("Coronal Section"), "changeAtlasPlaneVisibility:", plane, 0);
    AddCheckedCommand(view, tr("Horizontal Section"), "changeAtlasPlaneVisibility:", plane, 1);
    AddCheckedCommand(view, tr("Sagittal Section"), "changeAtlasPlaneVisibility:", plane, 2);
    AddCommand(view, tr("Full Resolution Atlas Image"),
               "showFullResolutionAtlasImage:", [this](QAction*) { m_doc->showFullResolutionAtlasImage(); });
    view->addSeparator();
    AddCheckedCommand(view, tr("Cutting Planes"),
                      "toggleCuttingPlanes:", [this](QAction*) { m_doc->toggleCuttingPlanes(); });
    AddCheckedCommand(view, tr("Threshold Controls"),
                      "setExpressionThresholds:", [this](QAction*) { m_doc->setExpressionThresholds(); });
    QMenu* compass = view->addMenu(tr("Compass"));
    const auto place = [this](QAction* item) { m_doc->changeCompassMode(ActionTag(item)); };
    AddCheckedCommand(compass, tr("In the Corner"), "changeCompassMode:", place, 0);
    AddCheckedCommand(compass, tr("At Bregma"), "changeCompassMode:", place, 1);
    AddCheckedCommand(compass, tr("Hidden"), "changeCompassMode:", place, 2);
    view->addSeparator();
    showViewSettingsAction = AddCheckedCommand(view, tr("Show View Settings"),
                                               "showViewSettings:", [this](QAction*) { m_doc->showViewSettings(); });
    expandedViewAction = AddCheckedCommand(view, tr("Expand View"),
                                           "toggleExpandedView:", [this](QAction*) { m_doc->toggleExpandedView(); });
    menus.append(view);
}

void CorvaneWindowController::BuildStructureMenu()
{
    QMenu* structure = menuBar()->addMenu(tr("Structure"));
    AddCommand(structure, tr("Find Data Sets Enriched in Structure"),
               "findGenesByAnatomy:", [this](QAction*) { m_doc->findGenesByAnatomy(); });
    anatomicSearchAction = AddCommand(structure, tr("Anatomic Search..."),
                                      "showAnatomicSearch:", [this](QAction*) { m_doc->showAnatomicSearch(); });
    AddCommand(structure, tr("Find Projections from Structure"),
               "findProjectionsFromStructure:", [this](QAction*) { m_doc->findProjectionsFromStructure(); });
    AddCommand(structure, tr("Find Projections to Structure"),
               "findProjectionsToStructure:", [this](QAction*) { m_doc->findProjectionsToStructure(); });
    structure->addSeparator();
    showSearchableAction =
        AddCommand(structure, tr("Show Searchable Structures"),
                   "showSearchableStructures:", [this](QAction*) { m_doc->showSearchableStructures(); });
    showInnerAction = AddCommand(structure, tr("Show Inner Structures"),
                                 "showInnerStructures:", [this](QAction*) { m_doc->showInnerStructures(); });
    AddCommand(structure, tr("Deselect Structures"),
               "deselectStructures:", [this](QAction*) { m_doc->deselectStructures(); });
    AddCommand(structure, tr("Show Enclosing Structure"),
               "showEnclosingStructure:", [this](QAction*) { m_doc->showEnclosingStructure(); });
    structure->addSeparator();
    AddCheckedCommand(structure, tr("Transparent Structures"),
                      "toggleTransparentStructures:", [this](QAction*) { m_doc->toggleTransparentStructures(); });
    AddCheckedCommand(structure, tr("Blend Atlas Annotation"),
                      "blendAtlasAnnotation:", [this](QAction*) { m_doc->blendAtlasAnnotation(); });
    structure->addSeparator();
    AddCommand(structure, tr("Show Data in All Structures"),
               "showAllExpression:", [this](QAction*) { m_doc->showAllExpression(); });
    AddCommand(structure, tr("Hide Data in All Structures"),
               "hideAllExpression:", [this](QAction*) { m_doc->hideAllExpression(); });
    AddCommand(structure, tr("Invert Data Structures"),
               "toggleAllExpression:", [this](QAction*) { m_doc->toggleAllExpression(); });
    menus.append(structure);
}

void CorvaneWindowController::BuildGeneMenu()
{
    QMenu* gene = menuBar()->addMenu(tr("Gene"));
    searchAction = gene->addAction(tr("Search for Data Sets"), QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
        searchField->setFocus();
        searchField->selectAll();
    });
    AddCommand(gene, tr("Find Similar Data Sets"),
               "findSimilarGenes:", [this](QAction*) { m_doc->findSimilarGenes(); });
    similarSearchAction =
        AddCommand(gene, tr("Similar Data Set Search..."),
                   "findSimilarGenes:imageSeries:", [this](QAction*) { m_doc->FindSimilarGenesOfSelection(); });
    gene->addSeparator();
    AddCommand(gene, tr("Show Data Set Info"), "showGeneInfo:", [this](QAction*) { m_doc->showGeneInfo(); });
    AddCommand(gene, tr("View Images"), "viewGeneImages:", [this](QAction*) { m_doc->viewGeneImages(); });
    AddCommand(gene, tr("Copy Data Set Info"), "copyGeneInfo:", [this](QAction*) { m_doc->copyGeneInfo(); });
    AddCommand(gene, tr("Choose Color..."), "chooseGeneColor:", [this](QAction*) { m_doc->chooseGeneColor(); });
    AddCommand(gene, tr("Remove Data Set"), "closeGene:", [this](QAction*) { m_doc->closeGene(); });
    gene->addSeparator();
    const auto mode = [this](QAction* item) { m_doc->changeGeneColorMode(ActionTag(item)); };
    AddCheckedCommand(gene, tr("Constant Color"), "changeGeneColorMode:", mode, 0);
    AddCheckedCommand(gene, tr("Atlas Colors"), "changeGeneColorMode:", mode, 1);
    AddCheckedCommand(gene, tr("Expression Colors"), "changeGeneColorMode:", mode, 2);
    AddCheckedCommand(gene, tr("Jet Colors"), "changeGeneColorMode:", mode, 3);
    QMenu* zScores = gene->addMenu(tr("Z-Score Colors"));
    zScoreAction = zScores->menuAction();
    zScoreAction->setData(101);
    AddCheckedCommand(zScores, tr("Red-Green"), "changeGeneColorMode:", mode, 4);
    AddCheckedCommand(zScores, tr("Blue-Red"), "changeGeneColorMode:", mode, 5);
    AddCheckedCommand(zScores, tr("Red-Yellow-Blue"), "changeGeneColorMode:", mode, 6);
    menus.append(gene);
}

void CorvaneWindowController::BuildBookmarksMenu()
{
    QMenu* bookmarks = menuBar()->addMenu(tr("Bookmarks"));
    AddCommand(
        bookmarks, tr("Add Bookmark..."), "addBookmark:", [this](QAction*) { m_doc->addBookmark(); }, 0,
        Qt::CTRL | Qt::Key_D);
    AddCommand(bookmarks, tr("Add Bookmark Group"),
               "addBookmarkGroup:", [this](QAction*) { m_doc->addBookmarkGroup(); });
    AddCommand(bookmarks, tr("Sort Bookmarks"), "sortData:", [this](QAction*) { m_doc->sortBookmarks(); });
    bookmarks->addSeparator();
    AddCommand(bookmarks, tr("Mark Snap-back View"),
               "markSnapbackBookmark:", [this](QAction*) { m_doc->markSnapbackBookmark(); });
    AddCommand(bookmarks, tr("Snap Back"),
               "goToSnapbackBookmark:", [this](QAction*) { m_doc->goToSnapbackBookmark(); });
    menus.append(bookmarks);
}

QAction* CorvaneWindowController::AddCommand(QMenu* menu, const QString& title, const char* action,
                                             std::function<void(QAction*)> run, int tag, const QKeySequence& key)
{
    QAction* item = menu->addAction(title);
    item->setProperty(kActionProperty, QString::fromLatin1(action));
    m_commands.append(item);
    item->setData(tag);
    if (!key.isEmpty())
        item->setShortcut(key);
    connect(item, &QAction::triggered, this, [this, item, run = std::move(run)] {
        const QPointer<CorvaneWindowController> alive(this);
        try
        {
            run(item);
        }
        catch (const std::exception& e)
        {
            ShowAlertBox(e.what());
        }
        catch (...)
        {
            ShowAlertBox("The command failed.");
        }
        if (alive)
            m_doc->validateMenuItem();
    });
    return item;
}

QAction* CorvaneWindowController::AddCheckedCommand(QMenu* menu, const QString& title, const char* action,
                                                    std::function<void(QAction*)> run, int tag)
{
    QAction* item = AddCommand(menu, title, action, std::move(run), tag);
    item->setCheckable(true);
    return item;
}

QString CorvaneWindowController::ActionName(const QAction* item)
{
    return item ? item->property(kActionProperty).toString() : QString();
}

int CorvaneWindowController::ActionTag(const QAction* item)
{
    return item ? item->data().toInt() : 0;
}

QList<QAction*> CorvaneWindowController::CommandActions() const
{
    QList<QAction*> commands;
    for (const QPointer<QAction>& item : m_commands)
        if (item)
            commands.append(item);
    return commands;
}

QAction* CorvaneWindowController::FindAction(const QString& action, int tag) const
{
    for (QAction* item : CommandActions())
        if (ActionName(item) == action && ActionTag(item) == tag)
            return item;
    return nullptr;
}

int CorvaneWindowController::ConstrainDivider(int position, int contentHeight)
{
    return std::max(kDividerTop, std::min(position, contentHeight - kDividerBottomMargin));
}

void CorvaneWindowController::KeepDividerInLimits()
{
    const QList<int> sizes = listSplitter->sizes();
    if (sizes.size() != 2)
        return;
    const int contentHeight = centralWidget()->height();
    const int wanted = ConstrainDivider(sizes[0], contentHeight);
    if (wanted != sizes[0])
        listSplitter->setSizes({wanted, sizes[0] + sizes[1] - wanted});
}

void CorvaneWindowController::closeEvent(QCloseEvent* event)
{
    m_doc->windowWillClose();
    event->accept();
}

void CorvaneWindowController::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange)
    {
        if (isActiveWindow())
        {
            m_doc->windowDidBecomeKey();
            if (std::exchange(m_panelsOnActivation, false))
                KeepPanelsInFront();
        }
        else
            m_doc->windowDidResignKey();
    }
    QMainWindow::changeEvent(event);
}

void CorvaneWindowController::BringToFront()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    // The window system tells of the activation later; what comes before it (an alert) belongs here.
    WindowActivationTracker::NoteActivated(this);
    m_panelsOnActivation = !isActiveWindow();
    KeepPanelsInFront();
}

void CorvaneWindowController::KeepPanelsInFront()
{
    for (QWidget* window : QApplication::topLevelWidgets())
    {
        const Qt::WindowType type = window->windowType();
        if (window != this && !window->parentWidget() && window->isVisible() && !window->isMinimized() &&
            !WindowActivationTracker::IsDocumentWindow(window) && type != Qt::Popup && type != Qt::ToolTip)
            window->raise();
    }
    QWidget* panel = WindowActivationTracker::PanelInFront(this);
    if (panel != this)
    {
        panel->raise();
        panel->activateWindow();
    }
}

void CorvaneWindowController::HandleLaunch(const QStringList& arguments)
{
    QWidget* question = WindowActivationTracker::ApplicationModalPanel();
    if (arguments.isEmpty() && question)
    {
        QWidget* panel = WindowActivationTracker::PanelInFront(question);
        panel->raise();
        panel->activateWindow();
        return;
    }
    CorvaneAppDelegate::Instance()->HandleArguments(arguments, false);
}

void CorvaneWindowController::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    KeepDividerInLimits();
}

bool CorvaneWindowController::eventFilter(QObject* watched, QEvent* event)
{
    // Compared, not asked: the outlines may be going while their viewports still hear events.
    const QObject* owner = watched->parent();
    const bool outline = owner == hierOntologyView || owner == alphaOntologyView;
    const bool rightPress =
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
    return (outline && rightPress) || QMainWindow::eventFilter(watched, event);
}

void CorvaneWindowController::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    KeepDividerInLimits();
    // A window manager keeps the window at its minimum size; without one the window system may size it
    // below, where the controls under the scene would cover it. The window asks for its minimum again.
    if (event->size().expandedTo(LeastSize()) != event->size())
        QTimer::singleShot(0, this, [this] { resize(size().expandedTo(LeastSize())); });
}

QSize CorvaneWindowController::LeastSize() const
{
    return minimumSize().expandedTo(minimumSizeHint());
}
