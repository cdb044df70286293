#include "scene/OverlayLayout.h"

#include "gl/DevicePixels.h"

#include <algorithm>
#include <climits>

namespace
{

// The strip of a donor's chart: this far in from its view's sides and up from its bottom, and this high.
constexpr int kChartInset = 20;
constexpr int kChartRow = 60;
constexpr int kChartHeight = 30;
// The chart's title hangs this far under the strip; its separators reach this far above it.
constexpr int kChartTitleDrop = 15;
constexpr int kChartSeparator = 5;
// The chart's title box.
constexpr int kChartTitleWidth = 400;
// The attribution's distance from the scene's edges and from the pieces it stands beside.
constexpr int kAttributionMargin = 5;

OverlayRect Grown(const OverlayRect& rect, int by)
{
    return OverlayRect{rect.left - by, rect.bottom - by, rect.right + by, rect.top + by};
}

bool Inside(const OverlayRect& rect, const OverlayRect& area)
{
    return rect.left >= area.left && rect.bottom >= area.bottom && rect.right <= area.right && rect.top <= area.top;
}

} // namespace

OverlayLayout::OverlayLayout(int deviceWidth, int deviceHeight, double ratio, const Shown& shown)
{
    const DevicePixels pixels(ratio);
    m_width = std::max(pixels.ToLogical(deviceWidth), 0);
    m_height = std::max(pixels.ToLogical(deviceHeight), 0);
    m_top = m_height - shown.tabHeight;
    m_names.resize(shown.views.size());
    m_chartStrips.resize(shown.views.size());
    if (m_width < 1 || m_top < 1)
        return;
    PlaceImageAndControl(shown);
    PlaceCompass(shown);
    PlaceNames(shown);
    PlaceCharts(shown);
    PlaceAttribution(shown);
    PlaceSelection(shown);
}

OverlayRect OverlayLayout::GetName(int view) const
{
    return view >= 0 && view < static_cast<int>(m_names.size()) ? m_names[static_cast<std::size_t>(view)]
                                                                : OverlayRect{};
}

OverlayRect OverlayLayout::GetChartStrip(int view) const
{
    return view >= 0 && view < static_cast<int>(m_chartStrips.size()) ? m_chartStrips[static_cast<std::size_t>(view)]
                                                                      : OverlayRect{};
}

OverlayRect OverlayLayout::GetSelectionCover() const
{
    if (m_selectionText.IsEmpty())
        return {};
    return OverlayRect{m_selectionText.left - kSelectionLeftMargin, m_selectionText.bottom - kSelectionMargin,
                       m_selectionText.right + kSelectionRightMargin, m_selectionText.top + kSelectionMargin};
}

std::vector<OverlayLayout::Placed> OverlayLayout::GetPieces() const
{
    return m_placed;
}

OverlayLayout::Placed OverlayLayout::At(int x, int row) const
{
    for (auto placed = m_placed.rbegin(); placed != m_placed.rend(); ++placed)
        if (placed->rect.Holds(x, row))
            return *placed;
    return {};
}

OverlayRect OverlayLayout::ChartCover(const OverlayRect& strip, int lineHeight, int titleWidth)
{
    const int title = std::min(titleWidth, kChartTitleWidth);
    const int middle = (strip.left + strip.right) / 2;
    return OverlayRect{std::min(strip.left, middle - title / 2), strip.bottom - kChartTitleDrop,
                       std::max(strip.right, middle - title / 2 + title),
                       strip.top + std::max(lineHeight, kChartSeparator)};
}

void OverlayLayout::Add(Piece piece, const OverlayRect& rect, int view)
{
    m_placed.push_back(Placed{piece, view, rect});
}

const OverlayLayout::Placed* OverlayLayout::Blocking(const OverlayRect& rect) const
{
    for (const Placed& placed : m_placed)
        if (Grown(placed.rect, kGap).Meets(rect))
            return &placed;
    return nullptr;
}

void OverlayLayout::PlaceImageAndControl(const Shown& shown)
{
    const OverlayRect scene{0, 0, m_width, m_top};
    const OverlayRect image{0, 0, kImageSide, kImageSide};
    const OverlayRect bar{0, kImageSide, kImageSide, kImageSide + kImageBarHeight};
    if (shown.sectionImage && Inside(OverlayRect{0, 0, kImageSide, bar.top}, scene))
    {
        m_image = image;
        m_imageBar = bar;
        Add(Piece::kImage, image);
        Add(Piece::kImageBar, bar);
    }
    const OverlayRect control{m_width - shown.controlWidth, shown.controlBottom, m_width, shown.controlTop};
    if (shown.controlWidth > 0 && Inside(control, scene) && !Blocking(control))
    {
        m_control = control;
        Add(Piece::kControl, control);
    }
    // The inset stands a pixel from the image, as one piece with it.
    const OverlayRect inset{kImageSide + 1, 0, kImageSide + 1 + shown.insetWidth, shown.insetHeight};
    if (!m_image.IsEmpty() && !inset.IsEmpty() && Inside(inset, scene) && !Grown(m_control, kGap).Meets(inset))
    {
        m_inset = inset;
        Add(Piece::kInset, inset);
    }
}

void OverlayLayout::PlaceCompass(const Shown& shown)
{
    int side = std::min({shown.compassSide, m_width, m_top});
    // Each piece below that the square would come near leaves it the rows above it, or the columns right of
    // it, whichever is more.
    for (const Placed& placed : m_placed)
    {
        const OverlayRect square{m_width - side, m_top - side, m_width, m_top};
        if (!Grown(placed.rect, kGap).Meets(square))
            continue;
        const int above = m_top - placed.rect.top - kGap;
        const int beside = m_width - placed.rect.right - kGap;
        side = std::min(side, std::max(above, beside));
    }
    if (side < kLeastCompass)
        return;
    m_compass = OverlayRect{m_width - side, m_top - side, m_width, m_top};
    Add(Piece::kCompass, m_compass);
}

void OverlayLayout::PlaceNames(const Shown& shown)
{
    if (!shown.names)
        return;
    for (std::size_t i = 0; i < shown.views.size(); ++i)
    {
        const OverlayRect name = PlaceName(shown.views[i], shown.lineHeight);
        m_names[i] = name;
        if (!name.IsEmpty())
            Add(Piece::kName, name, static_cast<int>(i));
    }
}

OverlayRect OverlayLayout::PlaceName(const Shown::View& view, int lineHeight) const
{
    const OverlayRect& cell = view.cell;
    const int width = view.nameWidth;
    const int top = std::min(cell.top, m_top) - kGap;
    const int left = (cell.left + cell.right) / 2 - width / 2;
    std::vector<OverlayRect> tries{OverlayRect{left, top - lineHeight, left + width, top}};
    if (!m_compass.IsEmpty())
    {
        const int right = std::min(left + width, m_compass.left - kGap);
        tries.push_back(OverlayRect{right - width, top - lineHeight, right, top});
        const int under = m_compass.bottom - kGap;
        tries.push_back(OverlayRect{left, under - lineHeight, left + width, under});
    }
    for (const OverlayRect& name : tries)
        if (width > 0 && Inside(name, cell) && !Blocking(name))
            return name;
    return {};
}

void OverlayLayout::PlaceCharts(const Shown& shown)
{
    for (std::size_t i = 0; i < shown.views.size(); ++i)
    {
        if (!shown.views[i].chart)
            continue;
        const OverlayRect strip = PlaceChart(shown.views[i].cell, shown);
        m_chartStrips[i] = strip;
        if (!strip.IsEmpty())
            Add(Piece::kChart, ChartCover(strip, shown.lineHeight, shown.chartTitleWidth), static_cast<int>(i));
    }
}

OverlayRect OverlayLayout::PlaceChart(const OverlayRect& cell, const Shown& shown) const
{
    const OverlayRect area{cell.left, cell.bottom, cell.right, std::min(cell.top, m_top)};
    const auto fits = [&](const OverlayRect& strip) {
        const OverlayRect cover = ChartCover(strip, shown.lineHeight, shown.chartTitleWidth);
        return strip.right - strip.left >= kLeastChart && Inside(cover, area) && !Blocking(cover);
    };
    OverlayRect strip{cell.left + kChartInset, cell.bottom + kChartRow, cell.right - kChartInset,
                      cell.bottom + kChartRow + kChartHeight};
    // Narrowed between the pieces beside its row ...
    const OverlayRect row = ChartCover(strip, shown.lineHeight, 0);
    OverlayRect narrowed = strip;
    for (const Placed& placed : m_placed)
    {
        const OverlayRect near = Grown(placed.rect, kGap);
        if (!near.Meets(row))
            continue;
        if (near.left + near.right < strip.left + strip.right)
            narrowed.left = std::max(narrowed.left, near.right);
        else
            narrowed.right = std::min(narrowed.right, near.left);
    }
    if (fits(narrowed))
        return narrowed;
    // ... else risen above the highest of them.
    int floor = strip.bottom;
    for (const Placed& placed : m_placed)
        if (Grown(placed.rect, kGap).Meets(row))
            floor = std::max(floor, placed.rect.top + kGap + kChartTitleDrop);
    const OverlayRect risen{strip.left, floor, strip.right, floor + kChartHeight};
    return fits(risen) ? risen : OverlayRect{};
}

void OverlayLayout::PlaceAttribution(const Shown& shown)
{
    const int readable = std::min(shown.attributionWidth, kReadableCharacters * shown.characterWidth);
    if (readable <= 0)
        return;
    std::vector<std::pair<int, int>> places;
    if (m_image.IsEmpty())
        places.emplace_back(kAttributionMargin, kAttributionMargin);
    else
    {
        places.emplace_back(kAttributionMargin, m_imageBar.top + kAttributionMargin);
        places.emplace_back(std::max(m_image.right, m_inset.right) + kAttributionMargin, kAttributionMargin);
    }
    const int height = shown.lineHeight;
    for (const auto& [x, y] : places)
    {
        if (y + height > m_top)
            continue;
        int end = std::min({m_width - kAttributionMargin, x + kAttributionWidth, x + shown.attributionWidth});
        for (const Placed& placed : m_placed)
            if (Grown(placed.rect, kGap).Meets(OverlayRect{x, y, end, y + height}))
                end = std::min(end, placed.rect.left - kGap);
        if (end - x >= readable)
        {
            m_attribution = OverlayRect{x, y, end, y + height};
            Add(Piece::kAttribution, m_attribution);
            return;
        }
    }
}

void OverlayLayout::PlaceSelection(const Shown& shown)
{
    if (!shown.selectionLines || shown.selectionWidth <= 0)
        return;
    int top = m_top - kGap;
    for (std::size_t i = 0; i < shown.views.size(); ++i)
        if (!m_names[i].IsEmpty() && shown.views[i].cell.top >= m_top)
            top = std::min(top, m_names[i].bottom - kGap - kSelectionMargin);
    const int least = kReadableCharacters * shown.characterWidth;
    const int height = std::max(shown.lineHeight, 1);
    int width = std::min({shown.selectionWidth, kSelectionWidth, m_width - kSelectionX - kSelectionRightMargin});
    int most = (top - kSelectionMargin) / height;
    // Each round narrows the box or takes a line off it: it ends clear of every piece, or hidden.
    while (width >= std::min(least, shown.selectionWidth) && most >= 1)
    {
        const int lines = std::min(std::max(shown.selectionLines(width), 1), most);
        const OverlayRect text{kSelectionX, top - lines * height, kSelectionX + width, top};
        m_selectionText = text;
        m_selectionLines = lines;
        const Placed* blocking = Blocking(GetSelectionCover());
        if (!blocking)
        {
            Add(Piece::kSelection, GetSelectionCover());
            return;
        }
        const int narrower = blocking->rect.left - kGap - kSelectionRightMargin - kSelectionX;
        if (narrower >= least && narrower < width)
            width = narrower;
        else
            most = std::min(lines - 1, (top - kSelectionMargin - blocking->rect.top - kGap) / height);
    }
    m_selectionText = {};
    m_selectionLines = 0;
}
