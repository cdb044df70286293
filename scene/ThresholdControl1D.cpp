#include "scene/ThresholdControl1D.h"

#include <GL/glew.h>

#include "atlas/Colormap.h"
#include "expression/BrainExpressionModel.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "scene/BrainSceneRenderer.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace
{

constexpr float kPixelCentre = 0.375f;
// Presses this far below the bar (on the labels) still count.
constexpr int kLabelRow = 10;
constexpr int kHandleReach = 5;
// The handles stand this far out of the bar above and below; the labels hang this far under it.
constexpr int kHandleOverhang = 3;
constexpr int kLabelGap = 5;

std::string ThreeDigits(float value)
{
    std::ostringstream text;
    text.precision(3);
    text << value;
    return text.str();
}

float Fraction(float value, const Range& range)
{
    const float span = range.max - range.min;
    // A range of one value puts both handles at the left end.
    if (!(span > 0.0f))
        return 0.0f;
    return std::clamp((value - range.min) / span, 0.0f, 1.0f);
}

} // namespace

ThresholdControl1D::ThresholdControl1D(BrainSceneRenderer* renderer, const Range& range, const Colormap* colormap)
    : m_renderer(renderer)
    , m_colormap(colormap)
    , m_xRange(range)
{
    if (range.min == 0.0f && range.max == 0.0f)
        m_xRange = Range{0.0f, 255.0f};
    GLDisplay* display = renderer->GetContext();
    m_lowLabel.reset(display->CreateTextBox(50, 1, true, GLTextBox::kAlignLeft));
    m_highLabel.reset(display->CreateTextBox(50, 1, true, GLTextBox::kAlignRight));
}

ThresholdControl1D::~ThresholdControl1D() = default;

int ThresholdControl1D::GetWidth()
{
    return m_width;
}

int ThresholdControl1D::GetHeight()
{
    return m_barHeight + m_lowLabel->GetLineHeight();
}

void ThresholdControl1D::SetOriginOffset(int x, int y)
{
    m_offsetX = x;
    m_offsetY = y;
}

void ThresholdControl1D::SetXRange(float minimum, float maximum)
{
    m_xRange = Range{minimum, maximum};
}

void ThresholdControl1D::SetColormap(const Colormap* colormap)
{
    if (colormap == m_colormap)
        return;
    m_colormap = colormap;
    m_colormapDirty = true;
}

void ThresholdControl1D::SetSymmetric(bool symmetric)
{
    m_symmetric = symmetric;
    if (!symmetric)
        return;
    const float centre = (m_xRange.min + m_xRange.max) / 2.0f;
    const Range window = GetModelWindow();
    Range wanted(0.0f, 0.0f);
    if (window.min < centre)
        wanted = Range(window.min, 2.0f * centre - window.min);
    else if (window.max > centre)
        wanted = Range(2.0f * centre - window.max, window.max);
    if (wanted != window)
        UpdateModel(wanted.min, wanted.max, true);
}

ThresholdControl1D::Geometry ThresholdControl1D::GetGeometry()
{
    Geometry g{};
    g.right = m_renderer->GetContext()->GetWidth() - 10 + m_offsetX;
    g.left = g.right - m_width;
    g.bottom = m_lowLabel->GetLineHeight() + 13 + m_offsetY;
    g.top = g.bottom + m_barHeight;
    const Range window = GetModelWindow();
    const float low = std::max(window.min, m_xRange.min);
    const float high = window.max == -1.0f ? m_xRange.max : window.max;
    g.xLow = g.left + static_cast<int>(255.0f * Fraction(low, m_xRange) + 0.5f);
    g.xHigh = static_cast<int>(255.0f * Fraction(high, m_xRange) + static_cast<float>(g.left) + 0.5f);
    return g;
}

OverlayRect ThresholdControl1D::GetOverlayRect()
{
    const Geometry g = GetGeometry();
    // A label is centred on its handle: at the bar's ends half of the widest one reaches past the bar.
    const int reach = m_lowLabel->GetWidth() / 2;
    return OverlayRect{g.left - reach, g.bottom - kLabelGap - m_lowLabel->GetLineHeight(), g.right + reach,
                       g.top + kHandleOverhang + 1};
}

int ThresholdControl1D::ToOverlayRow(int y)
{
    return m_renderer->GetContext()->GetHeight() - y - 1;
}

bool ThresholdControl1D::InBounds(const Geometry& g, int x, int y) const
{
    return x >= g.left && x <= g.right && y >= g.bottom - kLabelRow && y <= g.top;
}

int ThresholdControl1D::FindAnchor(const Geometry& g, int x, int y, int& grab) const
{
    if (y < g.bottom - kLabelRow || y > g.top)
        return kNoAnchor;
    if (std::abs(x - g.xHigh) <= kHandleReach)
        return kHighHandle;
    if (std::abs(x - g.xLow) <= kHandleReach)
        return kLowHandle;
    if (x >= g.xLow + kHandleReach && x <= g.xHigh - kHandleReach)
    {
        grab = x - g.xLow;
        return kWholeWindow;
    }
    return kNoAnchor;
}

Cursors::Cursor ThresholdControl1D::CursorOf(int anchor)
{
    switch (anchor)
    {
    case kHighHandle:
    case kLowHandle:
        return Cursors::kResizeLeftRightCursor;
    case kWholeWindow:
        return Cursors::kMoveCursor;
    default:
        return Cursors::kArrowCursor;
    }
}

void ThresholdControl1D::AdjustBounds(int x)
{
    if (m_anchor == kNoAnchor)
        return;
    Geometry g = GetGeometry();
    x = std::clamp(x, g.left, g.right);
    if (m_anchor == kHighHandle)
        g.xHigh = std::max(x, g.xLow + 1);
    else if (m_anchor == kLowHandle)
        g.xLow = std::min(x, g.xHigh - 1);
    else if (!m_symmetric)
    {
        const int width = g.xHigh - g.xLow;
        g.xLow = std::max(x, g.left + m_grabOffset) - m_grabOffset;
        g.xHigh = g.xLow + width;
        if (g.xHigh > g.right)
        {
            g.xHigh = g.right;
            g.xLow = g.right - width;
        }
    }
    g.xLow = std::max(g.xLow, g.left);
    g.xHigh = std::min(g.xHigh, g.right);
    const float fl = static_cast<float>(g.xLow - g.left) / 255.0f;
    const float fh = static_cast<float>(g.xHigh - g.left) / 255.0f;
    const float span = m_xRange.max - m_xRange.min;
    float low = fl <= 0.0f ? m_xRange.min : m_xRange.min + fl * span;
    float high = fh >= 1.0f ? m_xRange.max : m_xRange.min + fh * span;
    if (m_symmetric)
    {
        // A handle stops at the middle: past it the mirrored bounds would cross.
        const float centre = (m_xRange.min + m_xRange.max) / 2.0f;
        if (m_anchor == kLowHandle)
        {
            low = std::min(low, centre);
            high = 2.0f * centre - low;
        }
        else if (m_anchor == kHighHandle)
        {
            high = std::max(high, centre);
            low = 2.0f * centre - high;
        }
    }
    UpdateModel(low, high, true);
}

bool ThresholdControl1D::OnButtonDown(int, int x, int y, int, unsigned int)
{
    const int row = ToOverlayRow(y);
    const Geometry g = GetGeometry();
    if (!InBounds(g, x, row))
    {
        Cursors::SetCursor(Cursors::kArrowCursor);
        return false;
    }
    m_anchor = FindAnchor(g, x, row, m_grabOffset);
    Cursors::SetCursor(CursorOf(m_anchor));
    m_dragging = true;
    m_renderer->GetModel()->SetLiveUpdate(true);
    m_renderer->GetContext()->InvalidateCursorRects();
    return true;
}

bool ThresholdControl1D::OnMouseMove(int x, int y, int, unsigned int)
{
    if (m_dragging)
    {
        AdjustBounds(x);
        return true;
    }
    const int row = ToOverlayRow(y);
    const Geometry g = GetGeometry();
    if (!InBounds(g, x, row))
    {
        Cursors::SetCursor(Cursors::kArrowCursor);
        return false;
    }
    int grab = 0;
    Cursors::SetCursor(CursorOf(FindAnchor(g, x, row, grab)));
    return true;
}

bool ThresholdControl1D::OnButtonUp(int, int x, int y, int, unsigned int)
{
    AdjustBounds(x);
    m_dragging = false;
    m_anchor = kNoAnchor;
    m_renderer->GetModel()->SetLiveUpdate(false);
    int grab = 0;
    Cursors::SetCursor(CursorOf(FindAnchor(GetGeometry(), x, ToOverlayRow(y), grab)));
    m_renderer->GetContext()->InvalidateCursorRects();
    return true;
}

void ThresholdControl1D::ResetCursorRects()
{
    GLDisplay* display = m_renderer->GetContext();
    if (m_dragging)
    {
        display->AddCursorRect(0, 0, display->GetWidth(), display->GetHeight(), CursorOf(m_anchor));
        return;
    }
    const Geometry g = GetGeometry();
    const int height = g.top - g.bottom;
    display->AddCursorRect(g.xLow - 4, g.bottom - 9, 8, height + 8, Cursors::kResizeLeftRightCursor);
    display->AddCursorRect(g.xHigh - 4, g.bottom - 9, 8, height + 8, Cursors::kResizeLeftRightCursor);
    display->AddCursorRect(g.xLow + 5, g.bottom - 10, (g.xHigh - 5) - (g.xLow + 5), height + 10, Cursors::kMoveCursor);
}

void ThresholdControl1D::FillBarTexture()
{
    if (!m_barTexture.GetTexture())
        m_barTexture.Initialize(256, 1, GL_BGRA, GL_LINEAR);
    unsigned char* texel = m_barTexture.GetPixels();
    const bool colours = m_colormap && m_colormap->entries.size() >= 3 * Colormap::NUM_ENTRIES;
    for (unsigned int i = 0; i < 256; ++i, texel += 4)
    {
        const unsigned char grey = static_cast<unsigned char>(i);
        texel[0] = colours ? m_colormap->entries[3 * i + 2] : grey;
        texel[1] = colours ? m_colormap->entries[3 * i + 1] : grey;
        texel[2] = colours ? m_colormap->entries[3 * i] : grey;
        texel[3] = 255;
    }
    m_barTexture.TextureChanged();
    m_colormapDirty = false;
}

void ThresholdControl1D::DrawBar(const Geometry& g)
{
    m_barTexture.BindTexture();
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    // Texel centres, so that the ends show exactly the first and last colours.
    const float first = 0.5f / 256.0f;
    const float second = 1.5f / 256.0f;
    const float last = 255.5f / 256.0f;
    const float pieces[3][4] = {{static_cast<float>(g.left), static_cast<float>(g.xLow), first, first},
                                {static_cast<float>(g.xLow), static_cast<float>(g.xHigh), second, last},
                                {static_cast<float>(g.xHigh), static_cast<float>(g.right), last, last}};
    {
        GLBegin quads(GL_QUADS);
        for (const auto& piece : pieces)
        {
            glTexCoord2f(piece[2], 0.5f);
            glVertex2f(piece[0], static_cast<float>(g.bottom));
            glTexCoord2f(piece[3], 0.5f);
            glVertex2f(piece[1], static_cast<float>(g.bottom));
            glTexCoord2f(piece[3], 0.5f);
            glVertex2f(piece[1], static_cast<float>(g.top));
            glTexCoord2f(piece[2], 0.5f);
            glVertex2f(piece[0], static_cast<float>(g.top));
        }
    }
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void ThresholdControl1D::DrawHandles(const Geometry& g)
{
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    {
        GLBegin outline(GL_LINE_LOOP);
        glVertex2i(g.left, g.bottom);
        glVertex2i(g.right, g.bottom);
        glVertex2i(g.right, g.top);
        glVertex2i(g.left, g.top);
    }
    for (const int x : {g.xLow, g.xHigh})
    {
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        const int bottom = g.bottom - kHandleOverhang, top = g.top + kHandleOverhang;
        glRecti(x - 2, bottom, x + 1, top);
        glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
        GLBegin outline(GL_LINE_LOOP);
        glVertex2i(x - 2, bottom);
        glVertex2i(x + 1, bottom);
        glVertex2i(x + 1, top);
        glVertex2i(x - 2, top);
    }
}

void ThresholdControl1D::UpdateLabels(float low, float high)
{
    if (low <= m_xRange.min)
        m_lowLabel->SetText(ThreeDigits(m_xRange.min));
    else
        m_lowLabel->SetText(ThreeDigits(low > 0.0f ? low + 0.5f : low - 0.5f));
    if (high == -1.0f || high >= m_xRange.max)
        m_highLabel->SetText(ThreeDigits(m_xRange.max));
    else
        m_highLabel->SetText(ThreeDigits(high > 0.0f ? high + 0.5f : high - 0.5f));
}

void ThresholdControl1D::Display()
{
    if (m_colormapDirty || !m_barTexture.GetTexture())
        FillBarTexture();
    const Geometry g = GetGeometry();
    glPushMatrix();
    glTranslatef(kPixelCentre, kPixelCentre, kPixelCentre);
    DrawBar(g);
    glPopMatrix();
    const Range window = GetModelWindow();
    UpdateLabels(window.min, window.max);
    const int labelRow = g.bottom - kLabelGap - m_lowLabel->GetLineHeight();
    m_lowLabel->Draw(g.xLow - m_lowLabel->GetTextWidth() / 2, labelRow);
    m_highLabel->Draw(g.xHigh + m_highLabel->GetTextWidth() / 2 - m_highLabel->GetWidth(), labelRow);
    glPushMatrix();
    glTranslatef(kPixelCentre, kPixelCentre, kPixelCentre);
    DrawHandles(g);
    glPopMatrix();
}
