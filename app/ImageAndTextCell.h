#pragma once

#include <QRect>
#include <QStyledItemDelegate>

// A name cell with a 16 by 16 icon (the decoration role) 3 pixels from its left edge, centred vertically,
// and the text 3 pixels after the icon; the name is edited in the text's place.
class ImageAndTextCell : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int kIconSize = 16;
    static constexpr int kGap = 3;

    using QStyledItemDelegate::QStyledItemDelegate;

    // The icon's place in a cell; the null rectangle without an icon.
    static QRect ImageRectForBounds(const QRect& cell, bool hasImage);
    // The text's place in a cell: after the icon when there is one, else the whole cell.
    static QRect TitleRectForBounds(const QRect& cell, bool hasImage);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

private:
    static QPixmap ImageOf(const QModelIndex& index);
    QStyleOptionViewItem TextOption(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    static QStyle* StyleOf(const QStyleOptionViewItem& option);
};
