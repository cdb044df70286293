#pragma once

class QAbstractItemView;

// A focused item view frames its current cell's text. A cell that shows only a check box has none, and the
// frame would stand as an empty box beside the box: the views whose rows carry check boxes keep the current
// cell, which a click or the keys move, in the column of the row's name. Main thread only.
class ItemViewFocus
{
public:
    // Follows the view's selection model of now: call it after the view has its model.
    static void KeepCurrentInColumn(QAbstractItemView* view, int column);
};
