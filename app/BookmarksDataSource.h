#pragma once

#include "app/BookmarksOutlineView.h"

#include <QAbstractItemModel>
#include <QPointer>

#include <memory>
#include <unordered_set>
#include <vector>

class Bookmark;
class BookmarkNode;
class CorvaneDoc;

// The shared bookmarks tree as the rows of one window's bookmarks outline: one "Name" column with the
// group or bookmark icon; names are edited in place; nodes are added after or into the selection, deleted,
// sorted, and dragged within and between windows' outlines (moved, or copied with the copy modifier). The
// drag carries "CorvaneBookmarksPboardType" with empty data: the nodes themselves stay with the source data
// source, and the drop moves them, so nothing is removed on the source side afterwards. Every change is
// made through BookmarksController, so that every window shows it; the window where it was made marks
// itself modified, and so does expanding or collapsing a group (expansion is saved in the file). Main
// thread only.
class BookmarksDataSource : public QAbstractItemModel
{
    Q_OBJECT

public:
    static const char* const kPasteboardType;

    explicit BookmarksDataSource(QObject* parent = nullptr);
    ~BookmarksDataSource() override;

    // Shows the tree in the outline, with the icon-and-text cell, dragging and dropping.
    void registerOutlineView(BookmarksOutlineView* outline, CorvaneDoc* document);
    BookmarksOutlineView* outlineView() const { return m_outlineView; }

    bool userModified() const { return m_userModified; }
    void clearUserModified() { m_userModified = false; }

    // The nodes of the selected rows, in row order.
    std::vector<BookmarkNode*> selectedNodes() const;
    // A group "New Group" after or into the selection, then its name is edited.
    void addGroup();
    // A leaf with the bookmark after or into the selection.
    void addBookmark(std::unique_ptr<Bookmark> bookmark);
    void deleteSelection();
    bool canDelete() const;
    void selectItems(const std::vector<BookmarkNode*>& nodes, bool extend);
    // Sorts the whole tree, keeping the selection.
    void sortData();

    BookmarkNode* nodeAt(const QModelIndex& index) const;
    QModelIndex indexOfNode(const BookmarkNode* node) const;
    bool isNodeExpanded(const BookmarkNode* node) const;
    void expandNode(const BookmarkNode* node);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

private:
    void addNewDataToSelection(std::unique_ptr<BookmarkNode> node);
    // Runs edit as one change of the shared tree and marks this window modified.
    template <typename Edit>
    void change(Edit edit);
    void aboutToChange();
    void bookmarksChanged();
    // The dragged nodes of a drag that this data source started, when the tree has not changed since.
    static std::vector<BookmarkNode*> draggedNodesOf(const QMimeData* data);

    QPointer<BookmarksOutlineView> m_outlineView;
    CorvaneDoc* m_parent = nullptr;
    mutable std::vector<BookmarkNode*> m_draggedNodes;
    mutable unsigned long m_dragGeneration = 0;
    bool m_userModified = false;
    // What the outline showed before a change, shown again after it.
    std::unordered_set<const BookmarkNode*> m_expandedBefore;
    std::vector<BookmarkNode*> m_selectedBefore;
    bool m_restoring = false;
    bool m_resetting = false;
};
