#include "app/StructureComboBox.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>

StructureComboBox::StructureComboBox(QWidget* parent)
    : QComboBox(parent)
{
}

void StructureComboBox::paintEvent(QPaintEvent*)
{
    // As QComboBox paints itself, with the label's text alone changed.
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    // The style draws the label one pixel in from each side of the field; the items have no icons.
    const QRect label = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText =
        fontMetrics().elidedText(option.currentText.trimmed(), Qt::ElideRight, std::max(0, label.width() - 2));
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}
