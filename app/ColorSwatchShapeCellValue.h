#pragma once

#include <QColor>
#include <QMetaType>

// What a shape swatch shows: a colour, filled as a circle or as a square. A default value has no colour
// and is square.
struct ColorSwatchShapeCellValue
{
    QColor color;
    bool isCircle = false;
};

Q_DECLARE_METATYPE(ColorSwatchShapeCellValue)
