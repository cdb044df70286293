#include "app/ProgressAndTextCell.h"

#include <QApplication>
#include <QPainter>

ProgressAndTextCell::ProgressAndTextCell(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

ProgressAndTextCell* ProgressAndTextCell::copyWithZone(QObject* parent) const
{
    auto* copy = new ProgressAndTextCell(parent);
    copy->setProgress(m_progress);
    return copy;
}

QRectF ProgressAndTextCell::BarRect(const QRectF& frame, float progress)
{
    if (!(progress > 0.0f && progress < 1.0f))
        return QRectF();
    const qreal half = frame.width() / 2.0;
    return QRectF(frame.x() + half, frame.y(), progress * half, frame.height() - 2.0);
}

void ProgressAndTextCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    const QRectF bar = BarRect(option.rect, m_progress);
    if (bar.isEmpty())
        return;
    // The control tint of the palette, as the selection and focus rings use it.
    painter->fillRect(bar, option.palette.color(QPalette::Active, QPalette::Highlight));
}
