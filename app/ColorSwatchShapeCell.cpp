#include "app/ColorSwatchShapeCell.h"

#include "app/ColorSwatchShapeCellValue.h"

#include <QPainter>

void ColorSwatchShapeCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    PaintBackground(painter, option, index);

    const QVariant variant = index.data(Qt::DisplayRole);
    if (variant.metaType() != QMetaType::fromType<ColorSwatchShapeCellValue>())
        return;
    const ColorSwatchShapeCellValue value = variant.value<ColorSwatchShapeCellValue>();
    if (!value.color.isValid())
        return;
    const QRect swatch = SwatchRect(option.rect);
    if (!value.isCircle)
    {
        painter->fillRect(swatch, value.color);
        return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(value.color);
    painter->drawEllipse(QRectF(swatch));
    painter->restore();
}
