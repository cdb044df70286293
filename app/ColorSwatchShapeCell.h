#pragma once

#include "app/ColorSwatchCell.h"

// Draws a cell's ColorSwatchShapeCellValue (under the display role) 2 pixels inside the cell on every side:
// a filled square, or the filled circle inscribed in that square's rectangle.
class ColorSwatchShapeCell : public ColorSwatchCell
{
    Q_OBJECT

public:
    using ColorSwatchCell::ColorSwatchCell;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
