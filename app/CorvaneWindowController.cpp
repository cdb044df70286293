#include "app/CorvaneWindowController.h"

#include "app/BookmarksOutlineView.h"
#include "app/CorvaneAppDelegate.h"
#include "app/ContextMenuTableView.h"
#include "app/CorvaneDoc.h"
#include "app/PreferencesController.h"
#include "app/SegmentedControl.h"
#include "app/SingleDocumentController.h"
#include "atlas/Atlas.h"
#include "expression/BrainExpressionModel.h"
#include "gl/GLView.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace
{
constexpr int kDividerTop = 120;
constexpr int kDividerBottomMargin = 105;
} // namespace

CorvaneWindowController::CorvaneWindowController(CorvaneDoc* doc)
    : m_doc(doc)
{
    setObjectName("mainWindow");
    setAttribute(Qt::WA_DeleteOnClose, false);

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
    auto* controlsRow = new QHBoxLayout();
    viewSettingsContainer = BuildViewSettings();
    viewSettingsContainer->setParent(sceneColumn);
    viewSettingsContainer->setVisible(false);
    controlsRow->addWidget(viewSettingsContainer, 1);
    controlsRow->addStretch(0);
    QWidget* zoomContainer = BuildZoomControl();
    zoomContainer->setParent(sceneColumn);
    controlsRow->addWidget(zoomContainer, 0, Qt::AlignRight);
    sceneLayout->addLayout(controlsRow);
    columns->addWidget(sceneColumn);

    listContainerView = BuildListContainer();
    columns->addWidget(listContainerView);
    columns->setStretchFactor(0, 3);
    columns->setStretchFactor(1, 1);
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
    resize(1000, 700);
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
    layout->addWidget(imageBlendSlider, 1);
    return container;
}

QWidget* CorvaneWindowController::BuildZoomControl()
{
    auto* container = new QWidget();
    container->setObjectName("zoomContainer");
    auto* layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->addWidget(new QLabel(tr("Zoom"), container));
    zoomSlider = new QSlider(Qt::Horizontal, container);
    zoomSlider->setObjectName("zoomSlider");
    // The model's zoom range.
    zoomSlider->setRange(15, 250);
    zoomSlider->setFixedWidth(160);
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
    geneListView->setSelectionMode(QAbstractItemView::SingleSelection);
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
    QMenu* file = menuBar()->addMenu(tr("File"));
    newAction =
        file->addAction(tr("New"), QKeySequence::New, [] { SingleDocumentController::Instance()->newDocument(); });
    openAction = file->addAction(tr("Open..."), QKeySequence::Open,
                                 [] { SingleDocumentController::Instance()->openDocument(); });
    recentMenu = file->addMenu(tr("Open Recent"));
    file->addSeparator();
    closeWindowAction = file->addAction(tr("Close Window"), [this] { m_doc->performClose(); });
    closeTabAction = file->addAction(tr("Close Tab"), [this] { m_doc->closeTab(); });
    file->addSeparator();
    quitAction = file->addAction(tr("Quit Corvane"), QKeySequence(Qt::CTRL | Qt::Key_Q),
                                 [] { CorvaneAppDelegate::Instance()->terminate(); });

    QMenu* edit = menuBar()->addMenu(tr("Edit"));
    preferencesAction =
        edit->addAction(tr("Preferences..."), [] { PreferencesController::Instance()->showPreferences(); });

    QMenu* view = menuBar()->addMenu(tr("View"));
    newTabAction = view->addAction(tr("New Tab"), QKeySequence(Qt::CTRL | Qt::Key_T), [this] { m_doc->newTab(); });
    showViewSettingsAction = view->addAction(tr("Show View Settings"), [this] { m_doc->showViewSettings(); });
    showViewSettingsAction->setCheckable(true);
    expandedViewAction = view->addAction(tr("Expand View"), [this] { m_doc->toggleExpandedView(); });
    expandedViewAction->setCheckable(true);
    view->addSeparator();
    showSearchableAction =
        view->addAction(tr("Show Searchable Structures"), [this] { m_doc->showSearchableStructures(); });
    showInnerAction = view->addAction(tr("Show Inner Structures"), [this] { m_doc->showInnerStructures(); });

    QMenu* structure = menuBar()->addMenu(tr("Structure"));
    anatomicSearchAction = structure->addAction(tr("Anatomic Search..."), [this] { m_doc->showAnatomicSearch(); });

    QMenu* gene = menuBar()->addMenu(tr("Gene"));
    searchAction = gene->addAction(tr("Search for Data Sets"), QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
        searchField->setFocus();
        searchField->selectAll();
    });
    similarSearchAction =
        gene->addAction(tr("Similar Data Set Search..."), [this] { m_doc->FindSimilarGenesOfSelection(); });
    zScoreAction = gene->addAction(tr("Show Z-Scores"));
    zScoreAction->setData(101);

    QMenu* help = menuBar()->addMenu(tr("Help"));
    helpAction = help->addAction(tr("Corvane Help"), [] { CorvaneAppDelegate::Instance()->showHelp(); });
    checkForAtlasesAction =
        help->addAction(tr("Check for Atlases..."), [] { CorvaneAppDelegate::Instance()->checkForAtlases(); });

    menus = {file, edit, view, structure, gene, help};
    for (QMenu* menu : menus)
        connect(menu, &QMenu::aboutToShow, this, [this] { m_doc->validateMenuItem(); });
    connect(recentMenu, &QMenu::aboutToShow, this,
            [this] { SingleDocumentController::Instance()->FillRecentMenu(recentMenu); });
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
            m_doc->windowDidBecomeKey();
        else
            m_doc->windowDidResignKey();
    }
    QMainWindow::changeEvent(event);
}

void CorvaneWindowController::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    KeepDividerInLimits();
}

void CorvaneWindowController::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    KeepDividerInLimits();
}
