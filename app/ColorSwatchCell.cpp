#include "app/ColorSwatchCell.h"

#include <QApplication>
#include <QPainter>

QRect ColorSwatchCell::SwatchRect(const QRect& cell)
{
    return cell.adjusted(2, 2, -2, -2);
}

QSize ColorSwatchCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // 20 points wide: a 16 point swatch inside the cell's margins.
    constexpr int kWidth = 20;
    return QSize(kWidth, QStyledItemDelegate::sizeHint(option, index).height());
}

void ColorSwatchCell::PaintBackground(QPainter* painter, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.features &= ~QStyleOptionViewItem::HasDisplay;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, widget);
}

void ColorSwatchCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    PaintBackground(painter, option, index);
    const QVariant value = index.data(Qt::DisplayRole);
    if (value.metaType() != QMetaType::fromType<QColor>())
        return;
    painter->fillRect(SwatchRect(option.rect), value.value<QColor>());
}
