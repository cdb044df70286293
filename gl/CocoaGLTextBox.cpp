#include "gl/CocoaGLTextBox.h"

#include <GL/glew.h>

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace
{

QFont TextFont(bool small)
{
    QFont font("DejaVu Sans");
    font.setPixelSize(small ? CocoaGLTextBox::kSmallFontSize : CocoaGLTextBox::kFontSize);
    return font;
}

int AlignmentFlags(GLTextBox::Alignment alignment)
{
    switch (alignment)
    {
    case GLTextBox::kAlignCenter:
        return Qt::AlignHCenter;
    case GLTextBox::kAlignRight:
        return Qt::AlignRight;
    default:
        return Qt::AlignLeft;
    }
}

// The text as the box shows it: each paragraph wrapped at word boundaries (inside a word only when it is
// wider than the box), and the last line that fits ending in an ellipsis when more text follows it.
QString FitToBox(const QString& text, const QFont& font, int width, int lines)
{
    QStringList shown;
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (const QString& paragraph : text.split(QLatin1Char('\n')))
    {
        QTextLayout layout(paragraph, font);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
        {
            line.setLineWidth(width);
            // The space at which a line breaks belongs to no line; leading spaces are the text's own.
            QString piece = paragraph.mid(line.textStart(), line.textLength());
            while (!piece.isEmpty() && piece.back().isSpace())
                piece.chop(1);
            shown << piece;
        }
        layout.endLayout();
    }
    if (shown.size() <= lines)
        return shown.join(QLatin1Char('\n'));
    shown.erase(shown.begin() + lines, shown.end());
    shown.back() = QFontMetricsF(font).elidedText(shown.back() + QChar(0x2026), Qt::ElideRight, width);
    return shown.join(QLatin1Char('\n'));
}

} // namespace

CocoaGLTextBox::CocoaGLTextBox(int width, int lines, bool small, GLTextBox::Alignment alignment, PixelRatio ratio)
    : m_alignment(alignment)
    , m_small(small)
    , m_ratio(std::move(ratio))
{
    const QFontMetricsF metrics(TextFont(small));
    // The descent is positive here: half of it below the line spacing.
    m_lineHeight = static_cast<int>(metrics.lineSpacing() + 0.5 * metrics.descent());
    m_width = std::max(width, 0);
    m_lines = std::max(lines, 1);
    m_height = m_lines * m_lineHeight;
}

void CocoaGLTextBox::SetText(const std::string& text)
{
    m_text = text;
    m_textWidth = m_textHeight = 0;
    Render();
}

double CocoaGLTextBox::CurrentRatio() const
{
    const double ratio = m_ratio ? m_ratio() : 1.0;
    // A ratio that is no number or not above 0 leaves nothing to render into.
    return std::isfinite(ratio) && ratio > 0.0 ? ratio : 1.0;
}

void CocoaGLTextBox::Render()
{
    m_bitmapRatio = CurrentRatio();
    m_bitmap.clear();
    m_bitmapWidth = m_bitmapHeight = 0;
    m_bitmapChanged = true;
    m_shownText.clear();
    if (m_text.empty())
        return;
    const QFont font = TextFont(m_small);
    QString text = QString::fromUtf8(m_text.data(), static_cast<qsizetype>(m_text.size()));
    if (m_width > 0)
        text = FitToBox(text, font, m_width, m_lines);
    m_shownText = text.toStdString();
    const QRectF laidOut = QFontMetricsF(font).boundingRect(QRectF(0, 0, 1e6, 1e6), Qt::AlignLeft | Qt::AlignTop, text);
    m_textWidth = static_cast<int>(laidOut.width());
    m_textHeight = static_cast<int>(laidOut.height());
    // A box without pixels has nothing to render into (and a QImage of it no memory to paint).
    if (m_width == 0 || m_height == 0)
        return;

    // Edges rounded as the frame's are, so that the box covers the device pixels of its logical rectangle.
    QImage image(static_cast<int>(std::lround(m_width * m_bitmapRatio)),
                 static_cast<int>(std::lround(m_height * m_bitmapRatio)), QImage::Format_RGBA8888_Premultiplied);
    image.setDevicePixelRatio(m_bitmapRatio);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.9f));
        painter.drawText(QRectF(0, 0, m_width, m_height), AlignmentFlags(m_alignment) | Qt::AlignTop, text);
    }
    m_bitmapWidth = image.width();
    m_bitmapHeight = image.height();
    const std::size_t rowBytes = static_cast<std::size_t>(m_bitmapWidth) * 4;
    m_bitmap.resize(rowBytes * m_bitmapHeight);
    for (int y = 0; y < m_bitmapHeight; ++y)
        std::memcpy(m_bitmap.data() + rowBytes * y, image.constScanLine(y), rowBytes);
}

void CocoaGLTextBox::Upload()
{
    m_texture.Initialize(m_bitmapWidth, m_bitmapHeight, GL_RGBA, GL_LINEAR);
    std::copy(m_bitmap.begin(), m_bitmap.end(), m_texture.GetPixels());
    m_texture.TextureChanged();
    m_bitmapChanged = false;
}

void CocoaGLTextBox::Draw(int x, int y)
{
    if (!m_text.empty() && CurrentRatio() != m_bitmapRatio)
        Render();
    if (m_text.empty() || m_bitmap.empty())
        return;
    if (m_bitmapChanged)
        Upload();
    if (m_showBackground)
    {
        glColor4f(0.1f, 0.1f, 0.1f, 0.75f);
        glRecti(x - 6, y + m_height - m_textHeight - 4, x + m_textWidth + 12, y + m_height + 4);
    }
    m_texture.Draw(0, m_bitmapHeight, m_bitmapWidth, 0, x, y, x + m_width, y + m_height);
}
