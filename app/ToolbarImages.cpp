#include "app/ToolbarImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>
#include <map>

namespace
{
using Drawing = std::function<void(QPainter&)>;

// Coordinates are in a 20 x 20 square.
void Rotation(QPainter& p)
{
    p.drawArc(QRectF(3, 3, 14, 14), 30 * 16, 300 * 16);
    p.drawPolyline(QPolygonF({QPointF(14, 2), QPointF(16.5, 6), QPointF(12, 7)}));
}

void Hand(QPainter& p)
{
    p.drawRoundedRect(QRectF(5, 9, 10, 8), 3, 3);
    for (int finger = 0; finger < 4; ++finger)
        p.drawLine(QPointF(6.5 + finger * 2.5, 9), QPointF(6.5 + finger * 2.5, 3 + (finger % 3)));
    p.drawLine(QPointF(5, 12), QPointF(2.5, 9));
}

void Selection(QPainter& p)
{
    p.drawPolygon(QPolygonF({QPointF(5, 2), QPointF(5, 16), QPointF(8.5, 12.5), QPointF(11, 18), QPointF(13, 17),
                             QPointF(10.5, 11.5), QPointF(15, 11.5)}));
}

void Plane(QPainter& p, const QPolygonF& face)
{
    p.drawEllipse(QRectF(4, 5, 12, 10));
    p.setBrush(QColor(90, 90, 200, 140));
    p.drawPolygon(face);
}

void CenterView(QPainter& p)
{
    p.drawEllipse(QRectF(4, 4, 12, 12));
    p.drawLine(QPointF(10, 1), QPointF(10, 7));
    p.drawLine(QPointF(10, 13), QPointF(10, 19));
    p.drawLine(QPointF(1, 10), QPointF(7, 10));
    p.drawLine(QPointF(13, 10), QPointF(19, 10));
}

void CuttingPlanes(QPainter& p)
{
    p.drawRect(QRectF(4, 6, 10, 10));
    p.drawPolyline(QPolygonF({QPointF(4, 6), QPointF(7, 3), QPointF(17, 3), QPointF(17, 13), QPointF(14, 16)}));
    p.drawLine(QPointF(14, 6), QPointF(17, 3));
    p.setPen(QPen(QColor(200, 60, 60), 1.5));
    p.drawLine(QPointF(9, 4.5), QPointF(9, 16));
}

void ExpandView(QPainter& p)
{
    p.drawRect(QRectF(2, 4, 16, 12));
    p.drawLine(QPointF(13, 4), QPointF(13, 16));
    p.drawPolyline(QPolygonF({QPointF(7, 7), QPointF(10, 10), QPointF(7, 13)}));
}

const std::map<QString, Drawing>& Drawings()
{
    static const std::map<QString, Drawing> drawings = {
        {QStringLiteral("RotationTool"), Rotation},
        {QStringLiteral("Hand"), Hand},
        {QStringLiteral("SelectionTool"), Selection},
        {QStringLiteral("SagittalPlane"),
         [](QPainter& p) {
             Plane(p, QPolygonF({QPointF(2, 10), QPointF(12, 6), QPointF(18, 10), QPointF(8, 14)}));
         }},
        {QStringLiteral("CoronalPlane"),
         [](QPainter& p) {
             Plane(p, QPolygonF({QPointF(8, 2), QPointF(12, 4), QPointF(12, 18), QPointF(8, 16)}));
         }},
        {QStringLiteral("AxialPlane"),
         [](QPainter& p) {
             Plane(p, QPolygonF({QPointF(3, 8), QPointF(17, 8), QPointF(17, 12), QPointF(3, 12)}));
         }},
        {QStringLiteral("CenterViewOnSelection"), CenterView},
        {QStringLiteral("CuttingPlanes"), CuttingPlanes},
        {QStringLiteral("ExpandView"), ExpandView},
    };
    return drawings;
}
} // namespace

QIcon ToolbarImages::Image(const QString& name)
{
    const auto found = Drawings().find(name);
    if (found == Drawings().end())
        return QIcon();
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 40, 40), 1.4));
    found->second(painter);
    painter.end();
    return QIcon(pixmap);
}
