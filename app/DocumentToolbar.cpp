#include "app/DocumentToolbar.h"

#include "app/CorvaneDoc.h"
#include "app/CorvaneWindowController.h"
#include "app/SegmentedControl.h"
#include "app/ToolbarImages.h"
#include "core/DefaultsStore.h"
#include "core/Image3dPlane.h"
#include "core/PlatformHooks.h"
#include "expression/BrainExpressionModel.h"
#include "expression/ModelChangeCode.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QToolBar>

const QString DocumentToolbar::kToolbarIdentifier = QStringLiteral("Main Window Toolbar Identifier");
const QString DocumentToolbar::kToolModeItem = QStringLiteral("3D Selection Tools Item Identifier");
const QString DocumentToolbar::kAtlasSectionsItem = QStringLiteral("3D Atlas Plane Toggle Item Identifier");
const QString DocumentToolbar::kCenterViewItem = QStringLiteral("Center View Item Identifier");
const QString DocumentToolbar::kCuttingPlanesItem = QStringLiteral("Cutting Planes Item Identifier");
const QString DocumentToolbar::kExpandViewItem = QStringLiteral("Expand 3D View Item Identifier");
const QString DocumentToolbar::kSearchFieldItem = QStringLiteral("Search Field Item Identifier");
const QString DocumentToolbar::kSeparatorItem = QStringLiteral("Separator Item Identifier");
const QString DocumentToolbar::kSpaceItem = QStringLiteral("Space Item Identifier");
const QString DocumentToolbar::kFlexibleSpaceItem = QStringLiteral("Flexible Space Item Identifier");
const QString DocumentToolbar::kCustomizeItem = QStringLiteral("Customize Toolbar Item Identifier");

DocumentToolbar::DocumentToolbar(CorvaneDoc* doc, CorvaneWindowController* window)
    : m_doc(doc)
    , m_window(window)
{
    m_doc->expressionModel()->AddListener(this);
}

DocumentToolbar::~DocumentToolbar()
{
    m_doc->expressionModel()->RemoveListener(this);
}

const std::map<QString, DocumentToolbar::ItemInfo>& DocumentToolbar::Items()
{
    static const std::map<QString, ItemInfo> items = {
        {kToolModeItem, {"Tool Mode", nullptr, nullptr}},
        {kAtlasSectionsItem, {"Atlas Sections", nullptr, nullptr}},
        {kCenterViewItem, {"Center View", "Center View", "CenterViewOnSelection"}},
        {kCuttingPlanesItem, {"Cutting Planes", "Move Cutting Planes", "CuttingPlanes"}},
        {kExpandViewItem, {"Expand View", "Expand View", "ExpandView"}},
        {kSearchFieldItem, {"Search", nullptr, nullptr}},
    };
    return items;
}

QStringList DocumentToolbar::toolbarDefaultItemIdentifiers()
{
    return {kToolModeItem,      kAtlasSectionsItem, kSeparatorItem,     kCenterViewItem, kSeparatorItem,
            kCuttingPlanesItem, kExpandViewItem,    kFlexibleSpaceItem, kSearchFieldItem};
}

QStringList DocumentToolbar::toolbarAllowedItemIdentifiers()
{
    return {kToolModeItem,   kAtlasSectionsItem, kSearchFieldItem,   kExpandViewItem, kCuttingPlanesItem,
            kCenterViewItem, kCustomizeItem,     kFlexibleSpaceItem, kSpaceItem,      kSeparatorItem};
}

void DocumentToolbar::setupToolbar()
{
    m_toolbar = new QToolBar(m_window);
    m_toolbar->setObjectName(kToolbarIdentifier);
    m_toolbar->setWindowTitle(tr("Toolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolbar->setIconSize(QSize(ToolbarImages::kSize, ToolbarImages::kSize));
    // The toolbar's own context menu customises it instead of the window's list of toolbars.
    m_toolbar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_toolbar, &QToolBar::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = NewCustomizeMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_toolbar->mapToGlobal(at));
    });
    for (const QString& identifier : toolbarDefaultItemIdentifiers())
        if (QAction* item = itemForItemIdentifier(identifier))
            m_items[identifier] = item;
    RestoreShownItems();
    m_window->addToolBar(m_toolbar);
    m_window->toolbar = m_toolbar;
}

QAction* DocumentToolbar::itemForItemIdentifier(const QString& identifier)
{
    if (!m_toolbar)
        return nullptr;
    if (identifier == kSeparatorItem)
        return m_toolbar->addSeparator();
    if (identifier == kSpaceItem || identifier == kFlexibleSpaceItem)
    {
        auto* space = new QWidget(m_toolbar);
        space->setFixedWidth(12);
        if (identifier == kFlexibleSpaceItem)
        {
            space->setMinimumWidth(12);
            space->setMaximumWidth(QWIDGETSIZE_MAX);
            space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        }
        return m_toolbar->addWidget(space);
    }
    const auto found = Items().find(identifier);
    if (found == Items().end())
        return nullptr;
    const QString label = QString::fromUtf8(found->second.label);
    if (identifier == kToolModeItem)
    {
        static const Segment segments[3] = {
            {"RotationTool", 0, "Rotation Tool"}, {"Hand", 1, "Panning Tool"}, {"SelectionTool", 2, "Selection Tool"}};
        SegmentedControl* tools = NewSegmentedControl(true, segments);
        tools->setObjectName("selectionTools");
        tools->SetSelectedSegment(0);
        connect(tools, &SegmentedControl::SegmentClicked, this, &DocumentToolbar::toolModeClicked);
        m_window->selectionTools = tools;
        return ControlItem(tools, label);
    }
    if (identifier == kAtlasSectionsItem)
    {
        static const Segment segments[3] = {{"SagittalPlane", Image3dPlane::SAGITTAL, "Sagittal Nissl"},
                                            {"CoronalPlane", Image3dPlane::CORONAL, "Coronal Nissl"},
                                            {"AxialPlane", Image3dPlane::HORIZONTAL, "Horizontal Nissl"}};
        SegmentedControl* planes = NewSegmentedControl(false, segments);
        planes->setObjectName("atlasPlaneToggleBar");
        connect(planes, &SegmentedControl::SegmentClicked, this, &DocumentToolbar::atlasSectionClicked);
        m_window->atlasPlaneToggleBar = planes;
        return ControlItem(planes, label);
    }
    if (identifier == kSearchFieldItem)
        return ControlItem(m_window->searchField, label);
    return ImageItem(identifier, found->second);
}

SegmentedControl* DocumentToolbar::NewSegmentedControl(bool selectOne, const Segment (&segments)[3])
{
    auto* control = new SegmentedControl(selectOne, m_toolbar);
    for (const Segment& segment : segments)
        control->AddSegment(ToolbarImages::Image(QString::fromUtf8(segment.image)), segment.tag,
                            QString::fromUtf8(segment.toolTip));
    control->SetSegmentSize(kSegmentWidth, kControlHeight);
    control->setFixedSize(kControlWidth, kControlHeight);
    return control;
}

QAction* DocumentToolbar::ControlItem(QWidget* control, const QString& label)
{
    // The item is as large as the control's frame, no more and no less: a side not yet fixed takes the
    // control's preferred length.
    const QSize hint = control->sizeHint();
    control->setFixedSize(control->minimumWidth() == control->maximumWidth() ? control->minimumWidth() : hint.width(),
                          control->minimumHeight() == control->maximumHeight() ? control->minimumHeight()
                                                                               : hint.height());
    QAction* item = m_toolbar->addWidget(control);
    // A widget still hidden outside the toolbar (the search field) would leave its item hidden.
    item->setVisible(true);
    item->setText(label);
    item->setIconText(label);
    return item;
}

QAction* DocumentToolbar::ImageItem(const QString& identifier, const ItemInfo& info)
{
    QAction* item = m_toolbar->addAction(ToolbarImages::Image(QString::fromUtf8(info.image)), info.label);
    item->setIconText(info.label);
    item->setToolTip(QString::fromUtf8(info.toolTip));
    if (identifier == kCenterViewItem)
        connect(item, &QAction::triggered, this, &DocumentToolbar::centerViewTriggered);
    else if (identifier == kCuttingPlanesItem)
        connect(item, &QAction::triggered, this, &DocumentToolbar::cuttingPlanesTriggered);
    else
        connect(item, &QAction::triggered, this, &DocumentToolbar::expandViewTriggered);
    return item;
}

void DocumentToolbar::validateToolbarItems()
{
    if (QAction* cutting = Item(kCuttingPlanesItem))
        cutting->setEnabled(m_doc->detailViewIsActive());
    if (QAction* center = Item(kCenterViewItem))
        center->setEnabled(m_doc->centerViewOnSelectionValid());
}

QStringList DocumentToolbar::PaletteLabels() const
{
    QStringList labels;
    for (const QString& identifier : toolbarAllowedItemIdentifiers())
    {
        const auto found = Items().find(identifier);
        if (found != Items().end())
            labels << QString::fromUtf8(found->second.label);
    }
    return labels;
}

QAction* DocumentToolbar::Item(const QString& identifier) const
{
    const auto found = m_items.find(identifier);
    return found != m_items.end() ? found->second.data() : nullptr;
}

bool DocumentToolbar::IsItemShown(const QString& identifier) const
{
    const QAction* item = Item(identifier);
    return item && item->isVisible();
}

void DocumentToolbar::SetItemShown(const QString& identifier, bool shown)
{
    QAction* item = Item(identifier);
    if (!item || item->isVisible() == shown)
        return;
    item->setVisible(shown);
    QStringList kept;
    for (const QString& allowed : toolbarAllowedItemIdentifiers())
        if (IsItemShown(allowed))
            kept << allowed;
    DefaultsStore& store = PlatformHooks::GetDefaultsStore();
    store.SetValue(kToolbarIdentifier.toStdString(), kept.join(QLatin1Char(',')).toStdString());
}

void DocumentToolbar::RestoreShownItems()
{
    DefaultsStore& store = PlatformHooks::GetDefaultsStore();
    const std::string key = kToolbarIdentifier.toStdString();
    if (!store.HasValue(key))
        return;
    const QStringList kept = QString::fromStdString(store.GetValue(key)).split(QLatin1Char(','));
    for (const auto& [identifier, item] : m_items)
        if (Items().count(identifier) && item)
            item->setVisible(kept.contains(identifier));
}

QMenu* DocumentToolbar::NewCustomizeMenu()
{
    auto* menu = new QMenu(m_window);
    menu->setObjectName("toolbarCustomizeMenu");
    for (const QString& identifier : toolbarAllowedItemIdentifiers())
    {
        const auto found = Items().find(identifier);
        if (found == Items().end())
            continue;
        QAction* entry = menu->addAction(QString::fromUtf8(found->second.label));
        entry->setCheckable(true);
        entry->setChecked(IsItemShown(identifier));
        connect(entry, &QAction::toggled, this, [this, identifier](bool shown) { SetItemShown(identifier, shown); });
    }
    return menu;
}

void DocumentToolbar::ShowModelPlanes()
{
    SegmentedControl* planes = m_window ? m_window->atlasPlaneToggleBar : nullptr;
    if (!planes)
        return;
    const BrainExpressionModel* model = m_doc->expressionModel();
    for (int segment = 0; segment < planes->GetSegmentCount(); ++segment)
        planes->SetSelected(model->UIGetMPRPlaneVisible(static_cast<Image3dPlane::Plane>(planes->GetTag(segment))),
                            segment);
}

void DocumentToolbar::ModelChanged(int code, BrainExpressionModel*, int)
{
    // While a load runs the segments show what the user asked for; the model follows when it ends.
    if (code == MPR_PLANE_VISIBILITY_CHANGED && !m_doc->atlasLoading())
        ShowModelPlanes();
    validateToolbarItems();
}
