#include "app/ColorSwatchShapeCell.h"

#include "app/ColorSwatchCell.h"
#include "app/ColorSwatchShapeCellValue.h"

#include <QApplication>
#include <QPainter>

void ColorSwatchShapeCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.features &= ~QStyleOptionViewItem::HasDisplay;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, widget);

    const QVariant variant = index.data(Qt::DisplayRole);
    if (variant.metaType() != QMetaType::fromType<ColorSwatchShapeCellValue>())
        return;
    const ColorSwatchShapeCellValue value = variant.value<ColorSwatchShapeCellValue>();
    if (!value.color.isValid())
        return;
    const QRect swatch = ColorSwatchCell::SwatchRect(option.rect);
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
