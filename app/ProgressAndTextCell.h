#pragma once

#include <QStyledItemDelegate>

// A text cell that draws a download's progress as a bar over the right half of the cell, growing from the
// middle to the right edge; no bar at 0 or 1. Main thread only.
class ProgressAndTextCell : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit ProgressAndTextCell(QObject* parent = nullptr);

    void setProgress(float progress) { m_progress = progress; }
    float progress() const { return m_progress; }
    // A cell with the same progress.
    ProgressAndTextCell* copyWithZone(QObject* parent) const;
    // The bar drawn in a cell of that frame; empty when none is drawn.
    static QRectF BarRect(const QRectF& frame, float progress);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    float m_progress = 0.0f;
};
