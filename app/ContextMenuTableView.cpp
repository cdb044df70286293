#include "app/ContextMenuTableView.h"

#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QMenu>

ContextMenuTableView::ContextMenuTableView(QWidget* parent)
    : QTableView(parent)
{
}

QMenu* ContextMenuTableView::menuForEvent(const QPoint& viewportPosition)
{
    const int row = rowAt(viewportPosition.y());
    if (row < 0)
    {
        clearSelection();
        return nullptr;
    }
    if (selectionModel() && model())
    {
        const QModelIndex index = model()->index(row, 0);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    return m_menu;
}

void ContextMenuTableView::contextMenuEvent(QContextMenuEvent* event)
{
    // Item views receive their viewport's context menu events with the viewport's coordinates.
    if (QMenu* shown = menuForEvent(event->pos()))
        shown->popup(event->globalPos());
    event->accept();
}
