#include "scene/ExpressionThresholdControl.h"

#include <GL/glew.h>

#include "atlas/AnnotationLabel.h"
#include "atlas/Colormap.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "scene/BrainSceneRenderer.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace
{

// The plot's layout, in overlay pixels. Its texture is a square: the colour scale's columns, then the
// density axis; intensity runs up its whole side.
constexpr int kPlotSide = 150;
constexpr int kScaleColumns = 5;
// The colour scale fills all but the last of its columns: a gap keeps it apart from the dots.
constexpr int kScaleWidth = kScaleColumns - 1;
constexpr int kDensitySpan = kPlotSide - kScaleColumns;
// The arrow heads that point at the rectangle's sides are triangles this high and twice as wide. The one
// under the right side reaches this far past it at the density axis's end: the plot keeps that much more
// room to the view's right edge than its texts, so that the head stays whole.
constexpr int kArrowHalf = 5;
// The texts keep this far from the view's right edge.
constexpr int kMargin = 5;
// The axes' texts stand this far from the plot; the leaders to the arrow heads run between.
constexpr int kLeaderRoom = 7;
// The panel reaches this far further left, beside the intensity title's line, for the level labels, and
// this far above the plot.
constexpr int kLabelRoom = 25;
constexpr int kPanelAbove = 12;
constexpr int kReach = 5;
constexpr float kPixelCentre = 0.375f;
// The density texts stand low enough that the arrow heads above them, which point at the rectangle's sides
// and slide along the axis, never reach into them.
constexpr int kDensityTextY = 1;

std::string ThreeDigits(float value)
{
    std::ostringstream text;
    text.precision(3);
    text << value;
    return text.str();
}

std::string Plain(float value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

bool Near(int x, int y, int px, int py)
{
    return std::abs(x - px) <= kReach && std::abs(y - py) <= kReach;
}

bool Colourful(const Colormap* colormap)
{
    return colormap && colormap->valid && colormap->entries.size() >= 3 * Colormap::NUM_ENTRIES;
}

} // namespace

ExpressionThresholdControl::ExpressionThresholdControl(BrainSceneRenderer* renderer, const GeneExpression* gene)
    : m_renderer(renderer)
    , m_gene(gene)
{
    GLDisplay* display = renderer->GetContext();
    m_intensityTitle.reset(display->CreateTextBox(kPlotSide, 1, true, GLTextBox::kAlignCenter));
    m_densityTitle.reset(display->CreateTextBox(kPlotSide, 1, true, GLTextBox::kAlignCenter));
    m_levelLowLabel.reset(display->CreateTextBox(50, 1, true, GLTextBox::kAlignRight));
    m_levelHighLabel.reset(display->CreateTextBox(50, 1, true, GLTextBox::kAlignRight));
    m_densityLowLabel.reset(display->CreateTextBox(50, 1, true, GLTextBox::kAlignLeft));
    m_densityHighLabel.reset(display->CreateTextBox(50, 1, true, GLTextBox::kAlignRight));
    m_intensityTitle->SetText("Intensity");
    m_densityTitle->SetText("Density");
    FindMinY();
    m_maximum = gene ? gene->GetDisplayRange().max : 0.0f;
}

ExpressionThresholdControl::~ExpressionThresholdControl() = default;

int ExpressionThresholdControl::GetWidth()
{
    return kLabelRoom + m_intensityTitle->GetLineHeight() + kPlotSide + kArrowHalf + kMargin;
}

int ExpressionThresholdControl::GetHeight()
{
    return PlotArea().top + kPanelAbove;
}

OverlayRect ExpressionThresholdControl::GetOverlayRect()
{
    const int width = m_renderer->GetContext()->GetWidth();
    return OverlayRect{width - GetWidth(), 0, width, GetHeight()};
}

int ExpressionThresholdControl::ToOverlayRow(int y)
{
    return m_renderer->GetContext()->GetHeight() - y - 1;
}

ExpressionThresholdControl::Area ExpressionThresholdControl::PlotArea()
{
    const int right = m_renderer->GetContext()->GetWidth() - kMargin - kArrowHalf;
    const int bottom = kDensityTextY + m_densityTitle->GetLineHeight() + kLeaderRoom;
    return Area{right - kDensitySpan, right, bottom, bottom + kPlotSide};
}

void ExpressionThresholdControl::FindMinY()
{
    const Colormap* colormap = m_renderer->GetModel()->GetGeneColormap();
    if (!colormap)
        return;
    const std::vector<unsigned char>& entries = colormap->entries;
    for (std::size_t i = 0; i + 2 < entries.size(); i += 3)
        if (entries[i] != 0 || entries[i + 1] != 0 || entries[i + 2] != 0)
        {
            m_minimum = static_cast<float>(5 * (static_cast<int>(i / 3) / 5));
            return;
        }
}

ExpressionThresholdControl::Rect ExpressionThresholdControl::GetROI()
{
    const BrainExpressionModel* model = m_renderer->GetModel();
    float lowL = 0.0f, highL = 0.0f, lowD = 0.0f, highD = 0.0f;
    model->GetExpressionLevelVisibilityThreshold(lowL, highL);
    model->GetExpressionDensityVisibilityThreshold(lowD, highD);
    // An axis of one value is drawn with a span of 1 rather than dividing by zero.
    const float span = m_maximum > m_minimum ? m_maximum - m_minimum : 1.0f;
    const auto fy = [&](float value) { return std::clamp((value - m_minimum) / span, 0.0f, 1.0f); };
    const auto fx = [](float value) { return std::clamp(value / 100.0f, 0.0f, 1.0f); };
    if (lowL <= 0.0f)
        lowL = m_minimum;
    if (highL == -1.0f)
        highL = m_maximum;
    if (lowD <= 0.0f)
        lowD = 0.0f;
    if (highD == -1.0f)
        highD = 100.0f;
    const Area a = PlotArea();
    Rect r{};
    r.x0 = a.left + static_cast<int>(kDensitySpan * fx(lowD) + 0.5f);
    r.x1 = static_cast<int>(kDensitySpan * fx(highD) + static_cast<float>(a.left) + 0.5f);
    r.y0 = a.bottom + static_cast<int>(kPlotSide * fy(lowL) + 0.5f);
    r.y1 = static_cast<int>(kPlotSide * fy(highL) + static_cast<float>(a.bottom) + 0.5f);
    return r;
}

int ExpressionThresholdControl::FindAnchor(const Rect& r, int x, int y, int& grabX, int& grabY) const
{
    const bool alongX = x >= r.x0 + kReach && x <= r.x1 - kReach;
    const bool alongY = y >= r.y0 + kReach && y <= r.y1 - kReach;
    if (Near(x, y, r.x0, r.y1))
        return kTopLeft;
    if (Near(x, y, r.x1, r.y1))
        return kTopRight;
    if (Near(x, y, r.x1, r.y0))
        return kBottomRight;
    if (Near(x, y, r.x0, r.y0))
        return kBottomLeft;
    if (alongX && std::abs(y - r.y1) <= kReach)
        return kTop;
    if (alongY && std::abs(x - r.x1) <= kReach)
        return kRight;
    if (alongX && std::abs(y - r.y0) <= kReach)
        return kBottom;
    if (alongY && std::abs(x - r.x0) <= kReach)
        return kLeft;
    if (alongX && alongY)
    {
        grabX = x - r.x0;
        grabY = y - r.y0;
        return kInside;
    }
    return kNoAnchor;
}

Cursors::Cursor ExpressionThresholdControl::CursorOf(int anchor)
{
    switch (anchor)
    {
    case kTopLeft:
    case kBottomRight:
        return Cursors::kResizeNWCursor;
    case kTopRight:
    case kBottomLeft:
        return Cursors::kResizeNECursor;
    case kTop:
    case kBottom:
        return Cursors::kResizeUpDownCursor;
    case kLeft:
    case kRight:
        return Cursors::kResizeLeftRightCursor;
    case kInside:
        return Cursors::kMoveCursor;
    default:
        return Cursors::kArrowCursor;
    }
}

void ExpressionThresholdControl::AdjustBounds(int x, int y)
{
    if (m_anchor == kNoAnchor)
        return;
    const Area a = PlotArea();
    x = std::clamp(x, a.left, a.right);
    y = std::clamp(y, a.bottom, a.top);
    Rect r = GetROI();
    if (m_anchor == kBottomLeft || m_anchor == kTopLeft || m_anchor == kLeft)
        r.x0 = std::min(x, r.x1 - 1);
    if (m_anchor == kBottomRight || m_anchor == kTopRight || m_anchor == kRight)
        r.x1 = std::max(x, r.x0 + 1);
    if (m_anchor == kBottomRight || m_anchor == kBottomLeft || m_anchor == kBottom)
        r.y0 = std::min(y, r.y1 - 1);
    if (m_anchor == kTopRight || m_anchor == kTopLeft || m_anchor == kTop)
        r.y1 = std::max(y, r.y0 + 1);
    if (m_anchor == kInside)
    {
        const int width = r.x1 - r.x0;
        const int height = r.y1 - r.y0;
        r.x0 = std::max(a.left, std::min(x - m_grabX, a.right - width));
        r.y0 = std::max(a.bottom, std::min(y - m_grabY, a.top - height));
        r.x1 = r.x0 + width;
        r.y1 = r.y0 + height;
    }
    r.x0 = std::max(r.x0, a.left);
    r.x1 = std::min(r.x1, a.right);
    r.y0 = std::max(r.y0, a.bottom);
    r.y1 = std::min(r.y1, a.top);
    const float span = m_maximum > m_minimum ? m_maximum - m_minimum : 1.0f;
    const auto level = [&](int row) { return m_minimum + static_cast<float>(row - a.bottom) / kPlotSide * span; };
    const auto density = [&](int column) { return static_cast<float>(column - a.left) / kDensitySpan * 100.0f; };
    const float levelLow = r.y0 <= a.bottom ? m_minimum : level(r.y0);
    const float levelHigh = r.y1 >= a.top ? -1.0f : level(r.y1);
    const float densityLow = r.x0 <= a.left ? 0.0f : density(r.x0);
    const float densityHigh = r.x1 >= a.right ? -1.0f : density(r.x1);
    BrainExpressionModel* model = m_renderer->GetModel();
    model->SetExpressionLevelVisibilityThreshold(levelLow, levelHigh, true);
    model->SetExpressionDensityVisibilityThreshold(densityLow, densityHigh, true);
}

bool ExpressionThresholdControl::OnButtonDown(int, int x, int y, int, unsigned int)
{
    const int row = ToOverlayRow(y);
    const Area a = PlotArea();
    if (x < a.left || x > a.right || row < a.bottom || row > a.top)
    {
        Cursors::SetCursor(Cursors::kArrowCursor);
        return false;
    }
    m_anchor = FindAnchor(GetROI(), x, row, m_grabX, m_grabY);
    Cursors::SetCursor(CursorOf(m_anchor));
    m_dragging = true;
    m_renderer->GetModel()->SetLiveUpdate(true);
    m_renderer->GetContext()->InvalidateCursorRects();
    return true;
}

bool ExpressionThresholdControl::OnMouseMove(int x, int y, int, unsigned int)
{
    const int row = ToOverlayRow(y);
    if (m_dragging)
    {
        AdjustBounds(x, row);
        return true;
    }
    const Area a = PlotArea();
    if (x < a.left || x > a.right || row < a.bottom || row > a.top)
    {
        Cursors::SetCursor(Cursors::kArrowCursor);
        return false;
    }
    int grabX = 0, grabY = 0;
    Cursors::SetCursor(CursorOf(FindAnchor(GetROI(), x, row, grabX, grabY)));
    return true;
}

bool ExpressionThresholdControl::OnButtonUp(int, int x, int y, int, unsigned int)
{
    const int row = ToOverlayRow(y);
    AdjustBounds(x, row);
    m_dragging = false;
    m_anchor = kNoAnchor;
    m_renderer->GetModel()->SetLiveUpdate(false);
    int grabX = 0, grabY = 0;
    Cursors::SetCursor(CursorOf(FindAnchor(GetROI(), x, row, grabX, grabY)));
    m_renderer->GetContext()->InvalidateCursorRects();
    return true;
}

void ExpressionThresholdControl::ResetCursorRects()
{
    GLDisplay* display = m_renderer->GetContext();
    if (m_dragging)
    {
        display->AddCursorRect(0, 0, display->GetWidth(), display->GetHeight(), CursorOf(m_anchor));
        return;
    }
    const Rect r = GetROI();
    const int w = r.x1 - r.x0;
    const int h = r.y1 - r.y0;
    display->AddCursorRect(r.x0 - 5, r.y1 - 5, 10, 10, Cursors::kResizeNWCursor);
    display->AddCursorRect(r.x1 - 5, r.y0 - 5, 10, 10, Cursors::kResizeNWCursor);
    display->AddCursorRect(r.x1 - 5, r.y1 - 5, 10, 10, Cursors::kResizeNECursor);
    display->AddCursorRect(r.x0 - 5, r.y0 - 5, 10, 10, Cursors::kResizeNECursor);
    display->AddCursorRect(r.x0 + 6, r.y1 - 4, w - 12, 8, Cursors::kResizeUpDownCursor);
    display->AddCursorRect(r.x0 + 6, r.y0 - 4, w - 12, 8, Cursors::kResizeUpDownCursor);
    display->AddCursorRect(r.x0 - 4, r.y0 + 6, 8, h - 12, Cursors::kResizeLeftRightCursor);
    display->AddCursorRect(r.x1 - 4, r.y0 + 6, 8, h - 12, Cursors::kResizeLeftRightCursor);
    display->AddCursorRect(r.x0 + 5, r.y0 + 5, w - 10, h - 10, Cursors::kMoveCursor);
}

void ExpressionThresholdControl::GeneratePlot()
{
    if (!m_plot.GetTexture())
        m_plot.Initialize(kPlotSide, kPlotSide, GL_BGRA, GL_LINEAR);
    std::fill(m_plot.GetPixels(), m_plot.GetPixels() + m_plot.GetPixelBytes(), 0);
    FindMinY();
    const std::vector<BrainFeature>* features = m_gene ? m_gene->GetBrainFeatures(nullptr) : nullptr;
    if (!features)
        return;
    const float span = m_maximum > m_minimum ? m_maximum - m_minimum : 1.0f;
    unsigned char* pixels = m_plot.GetPixels();
    for (const BrainFeature& feature : *features)
    {
        if (feature.expressors.empty())
            continue;
        unsigned char colour[3] = {160, 160, 160};
        if (feature.label && feature.label->annotationValue != 0)
            std::copy(feature.label->color, feature.label->color + 3, colour);
        for (const Expressor* e : feature.expressors)
        {
            // Clamped as floats: a wild value must not overflow the conversion.
            const float across = std::clamp(e->density * kDensitySpan / 100.0f + 0.5f, 0.0f, kDensitySpan - 1.0f);
            const float up = std::clamp((e->intensity - m_minimum) * kPlotSide / span + 0.5f, 0.0f, kPlotSide - 1.0f);
            const int column = kScaleColumns + static_cast<int>(across);
            const int row = kPlotSide - 1 - static_cast<int>(up);
            unsigned char* pixel = pixels + 4 * (static_cast<std::size_t>(row) * kPlotSide + column);
            // Overlapping structures mix at random.
            if (pixel[3] != 0 && static_cast<double>(std::rand()) / 2147483648.0 < 0.5)
                continue;
            pixel[0] = colour[2];
            pixel[1] = colour[1];
            pixel[2] = colour[0];
            pixel[3] = 255;
        }
    }
}

void ExpressionThresholdControl::GenerateColorMap()
{
    const BrainExpressionModel* model = m_renderer->GetModel();
    const Colormap* colormap = model->GetGeneColormap();
    if (!Colourful(colormap) || !m_plot.GetTexture())
        return;
    const Range window = model->GetExpressionWindow();
    const float width = window.max - window.min != 0.0f ? window.max - window.min : 1.0f;
    unsigned char* pixels = m_plot.GetPixels();
    for (int u = 0; u < kPlotSide; ++u)
    {
        const float v = static_cast<float>(
            static_cast<int>((m_maximum - m_minimum) / kPlotSide * static_cast<float>(kPlotSide - 1 - u) + m_minimum));
        const int i = static_cast<int>(std::clamp((v - window.min) / width * 255.0f + 0.5f, 0.0f, 255.0f));
        const unsigned char* entry = &colormap->entries[3 * static_cast<std::size_t>(i)];
        for (int column = 0; column < kScaleWidth; ++column)
        {
            unsigned char* pixel = pixels + 4 * (static_cast<std::size_t>(u) * kPlotSide + column);
            pixel[0] = entry[2];
            pixel[1] = entry[1];
            pixel[2] = entry[0];
            pixel[3] = 255;
        }
    }
}

void ExpressionThresholdControl::UpdateLabels()
{
    const BrainExpressionModel* model = m_renderer->GetModel();
    float lowL = 0.0f, highL = 0.0f, lowD = 0.0f, highD = 0.0f;
    model->GetExpressionLevelVisibilityThreshold(lowL, highL);
    model->GetExpressionDensityVisibilityThreshold(lowD, highD);
    m_levelLowLabel->SetText(std::to_string(static_cast<long long>(lowL <= m_minimum ? m_minimum : lowL)));
    if (highL < 0.0f || highL >= m_maximum)
        m_levelHighLabel->SetText(">" + Plain(m_maximum));
    else
        m_levelHighLabel->SetText(std::to_string(static_cast<long long>(highL)));
    m_densityLowLabel->SetText(lowD <= 0.0f ? "0" : ThreeDigits(lowD / 1000.0f));
    m_densityHighLabel->SetText(highD < 0.0f || highD >= 100.0f ? ">" + Plain(0.1f) : ThreeDigits(highD / 1000.0f));
}

void ExpressionThresholdControl::DrawLeaders(const Rect& r, int plotX, int plotY)
{
    const int g = m_levelLowLabel->GetHeight();
    const int h = m_densityLowLabel->GetHeight();
    const int lowY = plotY - 1 + g / 2;
    const int highY = plotY + kPlotSide - 1 - g / 2;
    const int lowX = plotX + kScaleWidth + m_densityLowLabel->GetTextWidth() / 2;
    const int highX = plotX + kPlotSide - m_densityHighLabel->GetTextWidth() / 2;
    // The leaders' stems run along the axes, a pixel outside the plot, from the texts' edges.
    const int stem = plotX - 1;
    const int base = plotY - 1;
    const int textTop = kDensityTextY + h;
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    {
        GLBegin lines(GL_LINES);
        for (const auto& leg : {std::make_pair(lowY, r.y0), std::make_pair(highY, r.y1)})
        {
            glVertex2i(plotX - kLeaderRoom + 1, leg.first);
            glVertex2i(stem, leg.first);
            glVertex2i(stem, leg.first);
            glVertex2i(stem, leg.second);
        }
        for (const auto& leg : {std::make_pair(lowX, r.x0), std::make_pair(highX, r.x1)})
        {
            glVertex2i(leg.first, textTop);
            glVertex2i(leg.first, base);
            glVertex2i(leg.first, base);
            glVertex2i(leg.second, base);
        }
    }
    glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
    GLBegin triangles(GL_TRIANGLES);
    for (const int y : {r.y0, r.y1})
    {
        glVertex2i(stem, y);
        glVertex2i(stem - kArrowHalf, y - kArrowHalf);
        glVertex2i(stem - kArrowHalf, y + kArrowHalf);
    }
    for (const int x : {r.x0, r.x1})
    {
        glVertex2i(x, base);
        glVertex2i(x - kArrowHalf, base - kArrowHalf);
        glVertex2i(x + kArrowHalf, base - kArrowHalf);
    }
}

void ExpressionThresholdControl::Display()
{
    const BrainExpressionModel* model = m_renderer->GetModel();
    if (model->GetGeneColorMode() != m_plotColorMode || !m_plot.GetTexture())
    {
        GeneratePlot();
        m_plotColorMode = model->GetGeneColorMode();
    }
    GenerateColorMap();
    m_plot.TextureChanged();

    const Area a = PlotArea();
    // The texture's first columns hold the colour scale, left of density 0.
    const int plotX = a.left - kScaleColumns;
    const int plotY = a.bottom;
    const Rect r = GetROI();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glPushMatrix();
    glTranslatef(kPixelCentre, kPixelCentre, kPixelCentre);
    // The panel holds the intensity title and labels left of the plot, and reaches the view's right edge.
    glColor4f(0.1f, 0.1f, 0.1f, 0.75f);
    const OverlayRect panel = GetOverlayRect();
    glRecti(panel.left, panel.bottom, panel.right, panel.top);
    glColor4f(0.2f, 0.2f, 0.2f, 0.25f);
    glRecti(r.x0, r.y0, r.x1, r.y1);
    m_plot.Draw(plotX, plotY);
    m_densityTitle->Draw(plotX, kDensityTextY);
    UpdateLabels();
    const int levelX = plotX - kLeaderRoom - m_levelLowLabel->GetWidth();
    m_levelLowLabel->Draw(levelX, plotY);
    m_levelHighLabel->Draw(levelX, plotY + kPlotSide - m_levelHighLabel->GetHeight());
    m_densityLowLabel->Draw(plotX + kScaleWidth, kDensityTextY);
    m_densityHighLabel->Draw(a.right - m_densityHighLabel->GetWidth(), kDensityTextY);
    DrawLeaders(r, plotX, plotY);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    {
        GLBegin outline(GL_LINE_LOOP);
        glVertex2i(r.x0, r.y0);
        glVertex2i(r.x1, r.y0);
        glVertex2i(r.x1, r.y1);
        glVertex2i(r.x0, r.y1);
    }
    glTranslatef(static_cast<float>(plotX - kLeaderRoom), static_cast<float>(plotY), 0.0f);
    glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
    m_intensityTitle->Draw(0, 0);
    glPopMatrix();
}
