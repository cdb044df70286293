#include "app/ItemViewFocus.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

void ItemViewFocus::KeepCurrentInColumn(QAbstractItemView* view, int column)
{
    QItemSelectionModel* selection = view->selectionModel();
    // Only the current cell moves: the selection, made by rows, stays as the click or the keys made it.
    QObject::connect(selection, &QItemSelectionModel::currentChanged, view,
                     [selection, column](const QModelIndex& current) {
                         if (current.isValid() && current.column() != column)
                             selection->setCurrentIndex(current.siblingAtColumn(column), QItemSelectionModel::NoUpdate);
                     });
}
