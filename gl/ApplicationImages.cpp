#include "gl/ApplicationImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include <cmath>
#include <map>
#include <set>

namespace
{

using Painter = void (*)(QPainter&);

constexpr int kIconSize = 16;

// Line art for the inverted icons: black on opaque white without smoothing, so that every drawn pixel
// becomes opaque white and everything else transparent once inverted.
// The pixel size of a side at a ratio.
int Side(int side, double ratio)
{
    return static_cast<int>(std::lround(side * ratio));
}

QImage LineArt(Painter paint, double ratio)
{
    QImage image(Side(kIconSize, ratio), Side(kIconSize, ratio), QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(ratio, ratio);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    paint(painter);
    return image;
}

// Coloured icons and cursors keep their own transparency.
QImage Coloured(int width, int height, Painter paint, double ratio)
{
    QImage image(Side(width, ratio), Side(height, ratio), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(ratio, ratio);
    paint(painter);
    painter.end();
    return image;
}

void Triangle(QPainter& p, int x0, int y0, int x1, int y1, int x2, int y2)
{
    p.drawPolygon(QPolygon({QPoint(x0, y0), QPoint(x1, y1), QPoint(x2, y2)}));
}

void RightArrow(QPainter& p)
{
    Triangle(p, 5, 3, 12, 8, 5, 13);
}

void LeftArrow(QPainter& p)
{
    Triangle(p, 11, 3, 4, 8, 11, 13);
}

void StartArrow(QPainter& p)
{
    p.drawRect(3, 3, 2, 11);
    Triangle(p, 13, 3, 6, 8, 13, 13);
}

void EndArrow(QPainter& p)
{
    Triangle(p, 3, 3, 10, 8, 3, 13);
    p.drawRect(11, 3, 2, 11);
}

void Pause(QPainter& p)
{
    p.drawRect(4, 3, 3, 11);
    p.drawRect(9, 3, 3, 11);
}

void Magnifier(QPainter& p, int x, int y, int size)
{
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(x, y, size, size);
    p.drawLine(x + size, y + size, 14, 14);
}

void FindMore(QPainter& p)
{
    Magnifier(p, 2, 2, 7);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRect(11, 2, 4, 1);
    p.drawRect(12, 1, 2, 4);
}

void Zoom(QPainter& p)
{
    Magnifier(p, 2, 2, 8);
}

void FindSimilarGenes(QPainter& p)
{
    p.drawRect(2, 3, 5, 5);
    p.drawRect(9, 3, 5, 5);
    p.drawRect(5, 10, 6, 4);
}

void CoronalPlane(QPainter& p)
{
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(230, 150, 150));
    p.drawEllipse(QRectF(2.5, 3.5, 11, 9));
    p.setPen(QPen(QColor(200, 30, 30), 2));
    p.drawLine(QPointF(8, 1), QPointF(8, 15));
}

void SagittalPlane(QPainter& p)
{
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(150, 150, 230));
    p.drawEllipse(QRectF(1.5, 4.5, 13, 7));
    p.setPen(QPen(QColor(30, 30, 200), 2));
    p.drawLine(QPointF(1, 8), QPointF(15, 8));
}

void ISHSectionMode(QPainter& p)
{
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(90, 60, 140));
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 200, 80));
    p.drawEllipse(QRectF(4, 5, 6, 5));
}

void ShowImageInBrowser(QPainter& p)
{
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.setBrush(QColor(60, 110, 200));
    p.drawRect(QRectF(1.5, 2.5, 13, 3));
    p.setPen(QPen(QColor(20, 20, 20), 1.5));
    p.drawLine(QPointF(6, 12), QPointF(12, 7));
    p.drawLine(QPointF(12, 7), QPointF(9, 7));
    p.drawLine(QPointF(12, 7), QPointF(12, 10));
}

void CloseTab(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(150, 150, 150));
    p.drawEllipse(QRectF(0, 0, 12, 12));
    p.setPen(QPen(QColor(50, 50, 50), 1.6));
    p.drawLine(QPointF(3.5, 3.5), QPointF(8.5, 8.5));
    p.drawLine(QPointF(8.5, 3.5), QPointF(3.5, 8.5));
}

// Cursor shapes: black strokes on a white outline, hot spot at (7, 7).
void CursorStroke(QPainter& p, const QPainterPath& path)
{
    p.strokePath(path, QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.strokePath(path, QPen(Qt::black, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

QPainterPath DoubleArrow(QPointF from, QPointF to, QPointF head1a, QPointF head1b, QPointF head2a, QPointF head2b)
{
    QPainterPath path(from);
    path.lineTo(to);
    path.moveTo(head1a);
    path.lineTo(from);
    path.lineTo(head1b);
    path.moveTo(head2a);
    path.lineTo(to);
    path.lineTo(head2b);
    return path;
}

void ResizeNECursor(QPainter& p)
{
    CursorStroke(p, DoubleArrow({13, 1}, {1, 13}, {8, 1}, {13, 6}, {1, 8}, {6, 13}));
}

void ResizeNWCursor(QPainter& p)
{
    CursorStroke(p, DoubleArrow({1, 1}, {13, 13}, {6, 1}, {1, 6}, {13, 8}, {8, 13}));
}

void MoveCursor(QPainter& p)
{
    QPainterPath path = DoubleArrow({7, 1}, {7, 13}, {4, 4}, {10, 4}, {4, 10}, {10, 10});
    path.addPath(DoubleArrow({1, 7}, {13, 7}, {4, 4}, {4, 10}, {10, 4}, {10, 10}));
    CursorStroke(p, path);
}

QImage Draw(const std::string& name, double ratio)
{
    static const std::map<std::string, Painter> lineArt = {{"StartArrow", StartArrow},
                                                           {"EndArrow", EndArrow},
                                                           {"RightArrow", RightArrow},
                                                           {"LeftArrow", LeftArrow},
                                                           {"Pause", Pause},
                                                           {"FindMore", FindMore},
                                                           {"Zoom", Zoom},
                                                           {"FindSimilarGenes", FindSimilarGenes}};
    static const std::map<std::string, Painter> coloured = {
        {"CoronalPlane", CoronalPlane},     {"SagittalPlane", SagittalPlane},
        {"ISHSectionMode", ISHSectionMode}, {"ShowImageInBrowser", ShowImageInBrowser},
        {"ResizeNECursor", ResizeNECursor}, {"ResizeNWCursor", ResizeNWCursor},
        {"MoveCursor", MoveCursor}};
    if (name == "CloseTab")
        return Coloured(12, 12, CloseTab, ratio);
    if (const auto found = lineArt.find(name); found != lineArt.end())
        return LineArt(found->second, ratio);
    if (const auto found = coloured.find(name); found != coloured.end())
        return Coloured(kIconSize, kIconSize, found->second, ratio);
    return QImage();
}

std::map<std::string, QImage>& Images()
{
    static std::map<std::string, QImage> images;
    return images;
}

// Images set by SetImage, which cannot be drawn again at another ratio.
std::set<std::string>& SetImages()
{
    static std::set<std::string> names;
    return names;
}

} // namespace

QImage ApplicationImages::GetImage(const std::string& name, double ratio)
{
    if (!(std::isfinite(ratio) && ratio > 0.0))
        ratio = 1.0;
    auto& images = Images();
    const auto found = images.find(name);
    if (ratio != 1.0)
    {
        // Drawn again at the ratio; an image of the program's own or a test's can only be scaled.
        if (found != images.end() && SetImages().count(name) != 0)
            return found->second.scaled(Side(found->second.width(), ratio), Side(found->second.height(), ratio));
        return Draw(name, ratio);
    }
    if (found != images.end())
        return found->second;
    QImage image = Draw(name, 1.0);
    if (!image.isNull())
        images[name] = image;
    return image;
}

void ApplicationImages::SetImage(const std::string& name, const QImage& image)
{
    if (image.isNull())
    {
        Images().erase(name);
        SetImages().erase(name);
    }
    else
    {
        Images()[name] = image;
        SetImages().insert(name);
    }
}
