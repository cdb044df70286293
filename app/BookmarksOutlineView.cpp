#include "app/BookmarksOutlineView.h"

#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>

BookmarksOutlineView::BookmarksOutlineView(QWidget* parent)
    : QTreeView(parent)
{
}

void BookmarksOutlineView::keyPressEvent(QKeyEvent* event)
{
    if (state() != EditingState &&
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->text() == "\n"))
    {
        emit actionTriggered();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void BookmarksOutlineView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    // Return ends the edit on the row that was edited, not on the next one.
    const bool stay = hint == QAbstractItemDelegate::SubmitModelCache || hint == QAbstractItemDelegate::NoHint;
    QTreeView::closeEditor(editor, stay ? QAbstractItemDelegate::NoHint : hint);
    if (stay)
        setFocus();
}

void BookmarksOutlineView::startDrag(Qt::DropActions supportedActions)
{
    const QModelIndexList rows = selectionModel()->selectedRows(0);
    if (rows.isEmpty() || !model())
        return;
    QMimeData* data = model()->mimeData(rows);
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    // The drop has moved or copied the nodes already; the base would remove the source rows after a move.
    drag->exec(supportedActions, defaultDropAction());
}
