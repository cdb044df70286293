#pragma once

#include <QTreeView>

// The bookmarks outline: Enter or Return asks for the selected bookmark to be restored, a name edit ended
// with Return leaves the outline focused on the same row, and a drag leaves the source rows to the drop,
// which moves the nodes itself.
class BookmarksOutlineView : public QTreeView
{
    Q_OBJECT

public:
    explicit BookmarksOutlineView(QWidget* parent = nullptr);

signals:
    // Enter or Return on the outline: the document restores the selected bookmark.
    void actionTriggered();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void startDrag(Qt::DropActions supportedActions) override;
};
