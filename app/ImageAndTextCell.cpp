#include "app/ImageAndTextCell.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include <cmath>

QRect ImageAndTextCell::ImageRectForBounds(const QRect& cell, bool hasImage)
{
    if (!hasImage)
        return QRect();
    // Rounded up, so an odd leftover puts the icon one pixel lower rather than higher.
    const int top = cell.y() + static_cast<int>(std::ceil((cell.height() - kIconSize) / 2.0));
    return QRect(cell.x() + kGap, top, kIconSize, kIconSize);
}

QRect ImageAndTextCell::TitleRectForBounds(const QRect& cell, bool hasImage)
{
    if (!hasImage)
        return cell;
    const int offset = kIconSize + kGap;
    return QRect(cell.x() + offset, cell.y(), cell.width() - offset, cell.height());
}

QPixmap ImageAndTextCell::ImageOf(const QModelIndex& index)
{
    const QVariant decoration = index.data(Qt::DecorationRole);
    if (decoration.metaType() == QMetaType::fromType<QPixmap>())
        return decoration.value<QPixmap>();
    if (decoration.metaType() == QMetaType::fromType<QIcon>())
        return decoration.value<QIcon>().pixmap(kIconSize, kIconSize);
    return QPixmap();
}

// The cell's option without its icon: the icon is drawn here, at its own place, and the style draws the
// background and the text.
QStyleOptionViewItem ImageAndTextCell::TextOption(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem text = option;
    initStyleOption(&text, index);
    text.features &= ~QStyleOptionViewItem::HasDecoration;
    text.icon = QIcon();
    return text;
}

QStyle* ImageAndTextCell::StyleOf(const QStyleOptionViewItem& option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

void ImageAndTextCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QPixmap image = ImageOf(index);
    QStyleOptionViewItem text = TextOption(option, index);
    const QWidget* widget = option.widget;
    QStyle* style = StyleOf(option);
    if (image.isNull())
    {
        style->drawControl(QStyle::CE_ItemViewItem, &text, painter, widget);
        return;
    }
    // The selection background spans the whole cell, icon included.
    QStyleOptionViewItem background = text;
    background.text.clear();
    background.features &= ~QStyleOptionViewItem::HasDisplay;
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, widget);
    const QRect imageRect = ImageRectForBounds(option.rect, true);
    painter->drawPixmap(imageRect, image);
    text.rect = QRect(QPoint(imageRect.x() + kIconSize + kGap, option.rect.y()), option.rect.bottomRight());
    text.backgroundBrush = QBrush();
    text.state &= ~QStyle::State_HasFocus;
    painter->save();
    painter->setClipRect(text.rect);
    style->drawControl(QStyle::CE_ItemViewItem, &text, painter, widget);
    painter->restore();
}

QSize ImageAndTextCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QStyleOptionViewItem text = TextOption(option, index);
    QSize size = StyleOf(option)->sizeFromContents(QStyle::CT_ItemViewItem, &text, QSize(), option.widget);
    if (!ImageOf(index).isNull())
        size.rwidth() += kIconSize;
    size.rwidth() += kGap;
    return size;
}

void ImageAndTextCell::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) const
{
    editor->setGeometry(TitleRectForBounds(option.rect, !ImageOf(index).isNull()));
}
