#pragma once

#include "expression/BrainExpressionModelListener.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <map>

class CorvaneDoc;
class CorvaneWindowController;
class QAction;
class QMenu;
class QToolBar;
class SegmentedControl;

// The document window's toolbar: the tool-mode and atlas-section segmented controls, the center-view,
// cutting-planes and expand-view buttons and the window's search field, icons only. The user shows or
// hides each item from the toolbar's context menu; the items shown are saved under the toolbar's
// identifier. It follows the model to enable its items and to keep the section segments on the planes
// shown. Owned by the document, which it must not outlive (it listens to the document's model); the
// widgets belong to the window. Main thread only.
class DocumentToolbar : public QObject, public BrainExpressionModelListener
{
    Q_OBJECT

public:
    static const QString kToolbarIdentifier;
    static const QString kToolModeItem;
    static const QString kAtlasSectionsItem;
    static const QString kCenterViewItem;
    static const QString kCuttingPlanesItem;
    static const QString kExpandViewItem;
    static const QString kSearchFieldItem;
    static const QString kSeparatorItem;
    static const QString kSpaceItem;
    static const QString kFlexibleSpaceItem;
    static const QString kCustomizeItem;
    static constexpr int kControlWidth = 94;
    static constexpr int kControlHeight = 25;
    static constexpr int kSegmentWidth = 27;

    DocumentToolbar(CorvaneDoc* doc, CorvaneWindowController* window);
    ~DocumentToolbar() override;
    DocumentToolbar(const DocumentToolbar&) = delete;
    DocumentToolbar& operator=(const DocumentToolbar&) = delete;

    // Builds the toolbar with the default items, shows those the user kept and installs it on the window;
    // also fills the window's selectionTools, atlasPlaneToggleBar and toolbar.
    void setupToolbar();
    // A new item for the identifier, appended to the toolbar; null for an identifier that names none.
    QAction* itemForItemIdentifier(const QString& identifier);
    static QStringList toolbarDefaultItemIdentifiers();
    static QStringList toolbarAllowedItemIdentifiers();
    // Enables the items that depend on the view and the selection.
    void validateToolbarItems();

    // The palette: the label of each item the user may show or hide, in the allowed order.
    QStringList PaletteLabels() const;
    QAction* Item(const QString& identifier) const;
    bool IsItemShown(const QString& identifier) const;
    // Shows or hides the item and saves the items shown.
    void SetItemShown(const QString& identifier, bool shown);
    // The customisation menu that the toolbar's context menu shows; the caller owns it.
    QMenu* NewCustomizeMenu();
    // The atlas-section segments as the model's planes are shown.
    void ShowModelPlanes();

    void ModelChanged(int code, BrainExpressionModel* model, int argument) override;

signals:
    void toolModeClicked(int segment);
    void atlasSectionClicked(int segment);
    void centerViewTriggered();
    void cuttingPlanesTriggered();
    void expandViewTriggered();

private:
    struct ItemInfo
    {
        const char* label;
        const char* toolTip;
        const char* image;
    };
    static const std::map<QString, ItemInfo>& Items();
    QAction* ImageItem(const QString& identifier, const ItemInfo& info);
    struct Segment
    {
        const char* image;
        int tag;
        const char* toolTip;
    };
    SegmentedControl* NewSegmentedControl(bool selectOne, const Segment (&segments)[3]);
    QAction* ControlItem(QWidget* control, const QString& label);
    void RestoreShownItems();

    CorvaneDoc* m_doc;
    QPointer<CorvaneWindowController> m_window;
    QPointer<QToolBar> m_toolbar;
    std::map<QString, QPointer<QAction>> m_items;
};
