#include "app/BookmarksDataSource.h"

#include "app/BookmarkNode.h"
#include "app/BookmarksController.h"
#include "app/BookmarksOutlineView.h"
#include "app/ImageAndTextCell.h"
#include "app/Notifications.h"

#include <QItemSelectionModel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

namespace
{

// The drag's data: empty bytes under the pasteboard type, and the data source that holds the nodes.
class NodeDrag : public QMimeData
{
public:
    QPointer<const BookmarksDataSource> source;
};

QPixmap GroupIcon()
{
    QPixmap icon(ImageAndTextCell::kIconSize, ImageAndTextCell::kIconSize);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setPen(QColor(0x6a, 0x8c, 0xb8));
    painter.setBrush(QColor(0x9c, 0xc3, 0xee));
    painter.drawRect(1, 4, 13, 10);
    painter.drawRect(1, 2, 6, 2);
    return icon;
}

QPixmap LeafIcon()
{
    QPixmap icon(ImageAndTextCell::kIconSize, ImageAndTextCell::kIconSize);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath ribbon;
    ribbon.moveTo(4, 1);
    ribbon.lineTo(12, 1);
    ribbon.lineTo(12, 15);
    ribbon.lineTo(8, 11);
    ribbon.lineTo(4, 15);
    ribbon.closeSubpath();
    painter.setPen(QColor(0x9a, 0x2a, 0x2a));
    painter.setBrush(QColor(0xd9, 0x4c, 0x4c));
    painter.drawPath(ribbon);
    return icon;
}

// A node's rows from the root down: comparing these orders nodes as the outline shows them.
std::vector<int> PathOf(const BookmarkNode* node)
{
    std::vector<int> path;
    for (; node && node->nodeParent(); node = node->nodeParent())
        path.push_back(node->nodeParent()->indexOfChild(node));
    std::reverse(path.begin(), path.end());
    return path;
}

bool InTree(const BookmarkNode* node)
{
    return node && node != BookmarksController::rootNode() && node->isDescendantOfNode(BookmarksController::rootNode());
}

} // namespace

const char* const BookmarksDataSource::kPasteboardType = "CorvaneBookmarksPboardType";

BookmarksDataSource::BookmarksDataSource(QObject* parent)
    : QAbstractItemModel(parent)
{
    connect(&BookmarksController::Instance(), &BookmarksController::AboutToChange, this,
            &BookmarksDataSource::aboutToChange);
    connect(Notifications::Instance(), &Notifications::BookmarksChanged, this, &BookmarksDataSource::bookmarksChanged);
    connect(&BookmarksController::Instance(), &BookmarksController::Renamed, this, [this](const BookmarkNode* node) {
        const QModelIndex row = indexOfNode(node);
        if (row.isValid())
            emit dataChanged(row, row);
    });
}

BookmarksDataSource::~BookmarksDataSource() = default;

void BookmarksDataSource::registerOutlineView(BookmarksOutlineView* outline, CorvaneDoc* document)
{
    m_outlineView = outline;
    m_parent = document;
    outline->setModel(this);
    outline->setItemDelegateForColumn(0, new ImageAndTextCell(outline));
    outline->setSelectionMode(QAbstractItemView::ExtendedSelection);
    outline->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::SelectedClicked);
    outline->setDragEnabled(true);
    outline->setAcceptDrops(true);
    outline->setDropIndicatorShown(true);
    outline->setDragDropMode(QAbstractItemView::DragDrop);
    outline->setDefaultDropAction(Qt::MoveAction);
    const auto expansionChanged = [this] {
        if (!m_restoring)
            m_userModified = true;
    };
    connect(outline, &QTreeView::expanded, this, expansionChanged);
    connect(outline, &QTreeView::collapsed, this, expansionChanged);
}

template <typename Edit>
void BookmarksDataSource::change(Edit edit)
{
    {
        BookmarksController::Change scope;
        edit();
    }
    m_userModified = true;
}

void BookmarksDataSource::aboutToChange()
{
    m_expandedBefore.clear();
    m_selectedBefore = selectedNodes();
    std::vector<const BookmarkNode*> pending{BookmarksController::rootNode()};
    while (!pending.empty() && m_outlineView)
    {
        const BookmarkNode* node = pending.back();
        pending.pop_back();
        for (int i = 0; i < node->numberOfChildren(); ++i)
        {
            const BookmarkNode* child = node->childAtIndex(i);
            if (child->isGroup() && isNodeExpanded(child))
            {
                m_expandedBefore.insert(child);
                pending.push_back(child);
            }
        }
    }
    m_resetting = true;
    beginResetModel();
}

void BookmarksDataSource::bookmarksChanged()
{
    if (!m_resetting)
    {
        beginResetModel();
        endResetModel();
        return;
    }
    m_resetting = false;
    endResetModel();
    if (!m_outlineView)
        return;
    // Expanding a group again is no change of the user's.
    m_restoring = true;
    std::vector<const BookmarkNode*> pending{BookmarksController::rootNode()};
    while (!pending.empty())
    {
        const BookmarkNode* node = pending.back();
        pending.pop_back();
        for (int i = 0; i < node->numberOfChildren(); ++i)
        {
            const BookmarkNode* child = node->childAtIndex(i);
            if (m_expandedBefore.count(child) != 0)
            {
                expandNode(child);
                pending.push_back(child);
            }
        }
    }
    std::vector<BookmarkNode*> kept;
    std::copy_if(m_selectedBefore.begin(), m_selectedBefore.end(), std::back_inserter(kept), InTree);
    selectItems(kept, false);
    m_restoring = false;
    m_expandedBefore.clear();
    m_selectedBefore.clear();
}

std::vector<BookmarkNode*> BookmarksDataSource::selectedNodes() const
{
    std::vector<BookmarkNode*> nodes;
    if (!m_outlineView || m_outlineView->model() != this)
        return nodes;
    for (const QModelIndex& row : m_outlineView->selectionModel()->selectedRows(0))
        if (BookmarkNode* node = nodeAt(row))
            nodes.push_back(node);
    std::sort(nodes.begin(), nodes.end(),
              [](const BookmarkNode* a, const BookmarkNode* b) { return PathOf(a) < PathOf(b); });
    return nodes;
}

void BookmarksDataSource::addNewDataToSelection(std::unique_ptr<BookmarkNode> node)
{
    const std::vector<BookmarkNode*> selected = selectedNodes();
    BookmarkNode* reference = selected.empty() ? BookmarksController::rootNode() : selected.front();
    BookmarkNode* added = node.get();
    change([&] {
        BookmarkNode* parent = reference->nodeParent();
        if (reference->isLeaf() && parent)
            parent->insertChild(std::move(node), parent->indexOfChild(reference) + 1);
        else
            reference->appendChild(std::move(node));
    });
    selectItems({added}, false);
    if (m_outlineView && m_outlineView->isVisible() && added->isGroup())
    {
        const QModelIndex row = indexOfNode(added);
        m_outlineView->scrollTo(row);
        m_outlineView->edit(row);
    }
}

void BookmarksDataSource::addGroup()
{
    addNewDataToSelection(BookmarkNode::Group("New Group"));
}

void BookmarksDataSource::addBookmark(std::unique_ptr<Bookmark> bookmark)
{
    if (bookmark)
        addNewDataToSelection(BookmarkNode::Leaf(std::move(bookmark)));
}

void BookmarksDataSource::deleteSelection()
{
    const std::vector<BookmarkNode*> selected = selectedNodes();
    if (m_outlineView)
        m_outlineView->clearSelection();
    change([&] {
        for (BookmarkNode* node : selected)
            BookmarksController::Instance().Discard(node->removeFromParent());
    });
}

bool BookmarksDataSource::canDelete() const
{
    return !selectedNodes().empty();
}

void BookmarksDataSource::selectItems(const std::vector<BookmarkNode*>& nodes, bool extend)
{
    if (!m_outlineView || m_outlineView->model() != this)
        return;
    QItemSelectionModel* selection = m_outlineView->selectionModel();
    if (!extend)
        selection->clearSelection();
    for (const BookmarkNode* node : nodes)
    {
        const QModelIndex row = indexOfNode(node);
        bool shown = row.isValid();
        for (QModelIndex parent = row.parent(); shown && parent.isValid(); parent = parent.parent())
            shown = m_outlineView->isExpanded(parent);
        if (shown)
            selection->select(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void BookmarksDataSource::sortData()
{
    const std::vector<BookmarkNode*> selected = selectedNodes();
    change([] { BookmarksController::rootNode()->recursiveSortChildren(); });
    selectItems(selected, false);
}

BookmarkNode* BookmarksDataSource::nodeAt(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this ? static_cast<BookmarkNode*>(index.internalPointer()) : nullptr;
}

QModelIndex BookmarksDataSource::indexOfNode(const BookmarkNode* node) const
{
    if (!InTree(node))
        return QModelIndex();
    return createIndex(node->nodeParent()->indexOfChild(node), 0, const_cast<BookmarkNode*>(node));
}

bool BookmarksDataSource::isNodeExpanded(const BookmarkNode* node) const
{
    const QModelIndex row = indexOfNode(node);
    return m_outlineView && row.isValid() && m_outlineView->isExpanded(row);
}

void BookmarksDataSource::expandNode(const BookmarkNode* node)
{
    const QModelIndex row = indexOfNode(node);
    if (m_outlineView && row.isValid())
        m_outlineView->expand(row);
}

QModelIndex BookmarksDataSource::index(int row, int column, const QModelIndex& parent) const
{
    const BookmarkNode* owner = parent.isValid() ? nodeAt(parent) : BookmarksController::rootNode();
    BookmarkNode* child = owner && column == 0 ? owner->childAtIndex(row) : nullptr;
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex BookmarksDataSource::parent(const QModelIndex& child) const
{
    const BookmarkNode* node = nodeAt(child);
    return node ? indexOfNode(node->nodeParent()) : QModelIndex();
}

int BookmarksDataSource::rowCount(const QModelIndex& parent) const
{
    const BookmarkNode* owner = parent.isValid() ? nodeAt(parent) : BookmarksController::rootNode();
    return owner && (!parent.isValid() || parent.column() == 0) ? owner->numberOfChildren() : 0;
}

int BookmarksDataSource::columnCount(const QModelIndex&) const
{
    return 1;
}

bool BookmarksDataSource::hasChildren(const QModelIndex& parent) const
{
    const BookmarkNode* owner = parent.isValid() ? nodeAt(parent) : BookmarksController::rootNode();
    return owner && owner->isGroup();
}

QVariant BookmarksDataSource::data(const QModelIndex& index, int role) const
{
    const BookmarkNode* node = nodeAt(index);
    if (!node)
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return QString::fromStdString(node->name());
    if (role == Qt::DecorationRole)
    {
        static const QPixmap kGroup = GroupIcon();
        static const QPixmap kLeaf = LeafIcon();
        return node->isGroup() ? kGroup : kLeaf;
    }
    return QVariant();
}

QVariant BookmarksDataSource::headerData(int section, Qt::Orientation orientation, int role) const
{
    return section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole ? QString("Bookmarks") : QVariant();
}

bool BookmarksDataSource::setData(const QModelIndex& index, const QVariant& value, int role)
{
    BookmarkNode* node = nodeAt(index);
    if (!node || role != Qt::EditRole)
        return false;
    const std::string name = value.toString().toStdString();
    if (name != node->name())
    {
        BookmarksController::Instance().Rename(node, name);
        m_userModified = true;
    }
    return true;
}

Qt::ItemFlags BookmarksDataSource::flags(const QModelIndex& index) const
{
    const BookmarkNode* node = nodeAt(index);
    if (!node)
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
    if (node->isGroup())
        flags |= Qt::ItemIsDropEnabled;
    return flags;
}

Qt::DropActions BookmarksDataSource::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions BookmarksDataSource::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

QStringList BookmarksDataSource::mimeTypes() const
{
    return {kPasteboardType};
}

QMimeData* BookmarksDataSource::mimeData(const QModelIndexList& indexes) const
{
    m_draggedNodes.clear();
    for (const QModelIndex& index : indexes)
    {
        BookmarkNode* node = nodeAt(index);
        if (node && std::find(m_draggedNodes.begin(), m_draggedNodes.end(), node) == m_draggedNodes.end())
            m_draggedNodes.push_back(node);
    }
    std::sort(m_draggedNodes.begin(), m_draggedNodes.end(),
              [](const BookmarkNode* a, const BookmarkNode* b) { return PathOf(a) < PathOf(b); });
    m_dragGeneration = BookmarksController::Instance().Generation();
    auto* data = new NodeDrag;
    data->source = this;
    data->setData(kPasteboardType, QByteArray());
    return data;
}

std::vector<BookmarkNode*> BookmarksDataSource::draggedNodesOf(const QMimeData* data)
{
    const auto* drag = dynamic_cast<const NodeDrag*>(data);
    if (!drag || !drag->source || !data->hasFormat(kPasteboardType))
        return {};
    // A change since the drag began may have freed the nodes.
    if (drag->source->m_dragGeneration != BookmarksController::Instance().Generation())
        return {};
    return drag->source->m_draggedNodes;
}

bool BookmarksDataSource::canDropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                                          const QModelIndex& parent) const
{
    const BookmarkNode* target = parent.isValid() ? nodeAt(parent) : BookmarksController::rootNode();
    if (!target || (row < 0 && (!parent.isValid() || target->isLeaf())))
        return false;
    const std::vector<BookmarkNode*> dragged = draggedNodesOf(data);
    // Every window shows the one tree: a group dropped into its own subtree would leave the tree.
    return !dragged.empty() && !target->isDescendantOfNodeInArray(dragged);
}

bool BookmarksDataSource::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                       const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    BookmarkNode* target = parent.isValid() ? nodeAt(parent) : BookmarksController::rootNode();
    int at = row;
    if (target->isLeaf())
    {
        // Onto a leaf: right after it.
        if (row != -1 || !target->nodeParent())
            return false;
        at = target->nodeParent()->indexOfChild(target) + 1;
        target = target->nodeParent();
    }
    else if (at < 0)
        at = 0;
    const std::vector<BookmarkNode*> cover = BookmarkNode::MinimumNodeCover(draggedNodesOf(data));
    if (action == Qt::CopyAction)
    {
        std::vector<BookmarkNode*> copies;
        change([&] {
            std::vector<std::unique_ptr<BookmarkNode>> made;
            for (const BookmarkNode* node : cover)
            {
                made.push_back(BookmarkNode::Copy(*node, target));
                copies.push_back(made.back().get());
            }
            target->insertChildren(std::move(made), at);
        });
        selectItems(copies, false);
        for (std::size_t i = 0; i < cover.size(); ++i)
            if (isNodeExpanded(cover[i]))
                expandNode(copies[i]);
        return true;
    }
    const std::vector<BookmarkNode*> selected = selectedNodes();
    change([&] {
        std::vector<std::unique_ptr<BookmarkNode>> moved;
        for (BookmarkNode* node : cover)
        {
            // Each node taken from before the drop place moves that place up by one.
            if (node->nodeParent() == target && target->indexOfChild(node) < at)
                --at;
            moved.push_back(node->removeFromParent());
        }
        target->insertChildren(std::move(moved), at);
    });
    selectItems(selected, false);
    return true;
}
