#pragma once

#include <QObject>

#include <map>

class QAbstractItemView;
class QHeaderView;

// The column widths of a view whose rows are named (a structure outline, the data-set table). A narrow view
// keeps its names readable first: the name column never gets less than about ten characters, the other
// columns (boxes, swatches) take what is left, down to what their cells draw with their titles shortened,
// and when even that does not fit the view scrolls sideways. A wide view gives the others their titles'
// width and the names the rest. Follows the view's width from now on; lives as long as its header. Main
// thread only.
class NameColumnFit : public QObject
{
    Q_OBJECT

public:
    // Call it once the view has its model. `leastWidths` holds each other column's least width.
    static void Apply(QAbstractItemView* view, QHeaderView* header, int nameColumn, std::map<int, int> leastWidths);
    // The least width of the view's name column.
    static int LeastNameWidth(const QAbstractItemView& view);
    // The width of a cell that shows a check box only.
    static int CheckBoxWidth(const QAbstractItemView& view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    NameColumnFit(QAbstractItemView* view, QHeaderView* header, int nameColumn, std::map<int, int> leastWidths);
    void Fit();
    void FitLater();
    // The other columns' widths with the given room for them all.
    std::map<int, int> OtherWidths(int room) const;

    QAbstractItemView* m_view;
    QHeaderView* m_header;
    int m_nameColumn;
    std::map<int, int> m_leastWidths;
    bool m_fitting = false;
    bool m_fitPending = false;
};
