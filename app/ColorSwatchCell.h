#pragma once

#include <QRect>
#include <QStyledItemDelegate>

// Draws a cell's colour (a QColor under the display role) as a filled square, 2 pixels inside the cell on
// every side, with nothing else in the cell.
class ColorSwatchCell : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The part of a cell that a swatch fills.
    static QRect SwatchRect(const QRect& cell);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // A swatch's own width (not that of the colour's name, which the cell does not show) and a row's height.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    // The row's background (selection included) without its text, so that it still shows around the swatch.
    void PaintBackground(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
};
