#pragma once

#include <QRect>
#include <QStyledItemDelegate>

// Draws a cell's ColorSwatchShapeCellValue (under the display role) 2 pixels inside the cell on every side:
// a filled square, or the filled circle inscribed in that square's rectangle.
class ColorSwatchShapeCell : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
