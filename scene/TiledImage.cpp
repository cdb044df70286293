#include "scene/TiledImage.h"

#include <GL/glew.h>

#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "core/Alerts.h"
#include "core/JPEGHelpers.h"
#include "core/OSUtils.h"
#include "gl/DevicePixels.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/ZoomifyInfoFetcher.h"
#include "scene/BrainSceneRenderer.h"

#include <boost/format.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

MemoryTileCache gPrimaryTileCache;
MemoryTileCache gExpressionTileCache;

namespace
{

constexpr unsigned int kBGRA = 0x80E1;
constexpr unsigned int kLinear = 0x2601;
constexpr double kRedrawInterval = 0.25;
constexpr long kSectionTile = 0;
constexpr long kExpressionTile = 1;
constexpr long kRegionImage = 2;

// A URL template of the atlas with its one placeholder filled; throws when the template takes another count.
std::string Fill(const std::string& pattern, const std::string& value)
{
    return (boost::format(pattern) % value).str();
}

void FillWhite(GLTexture& texture)
{
    std::memset(texture.GetPixels(), 255, texture.GetPixelBytes());
    texture.TextureChanged();
}

int ClampLevel(int level, int levels)
{
    return std::min(std::max(level, 0), levels - 1);
}

// A view coordinate of the layout, worked out wider than an int: the sizes come from the server, and an
// image too large for the view's pixels to be counted in an int is refused, not wrapped around.
int ViewCoordinate(double value)
{
    if (!(value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max()))
        throw std::runtime_error("Unexpected data in image properties.");
    return static_cast<int>(value);
}

} // namespace

TiledImage::Tile::Tile()
    : imageFetcher(&gPrimaryTileCache)
    , expressionFetcher(&gExpressionTileCache)
{
}

TiledImage::Tile::~Tile() = default;

TiledImage::TiledImage(int viewWidth, int viewHeight, BrainSceneRenderer* renderer)
    : m_regionFetcher(&gPrimaryTileCache)
    , m_renderer(renderer)
    , m_viewWidth(viewWidth)
    , m_viewHeight(viewHeight)
{
    m_imageTexture.Initialize(viewWidth, viewHeight, kBGRA, kLinear);
    m_expressionTexture.Initialize(viewWidth, viewHeight, kBGRA, kLinear);
    FillWhite(m_imageTexture);
    FillWhite(m_expressionTexture);
}

TiledImage::~TiledImage()
{
    m_infoFetcher.reset();
    for (const auto& tile : m_tiles)
        if (tile->loading)
        {
            tile->imageFetcher.Reset();
            tile->expressionFetcher.Reset();
        }
    m_regionFetcher.Reset();
}

void TiledImage::Invalidate()
{
    if (m_renderer && m_renderer->GetContext())
        m_renderer->GetContext()->Invalidate();
}

// --- Layout ---

TiledImage::Layout TiledImage::ComputeLayout(int tileSize, int parentWidth, int parentHeight, float imageResolution,
                                             float displayResolution, int centerX, int centerY, int viewWidth,
                                             int viewHeight, int left, int top)
{
    if (tileSize < 1 || parentWidth < 1 || parentHeight < 1)
        throw std::runtime_error("Unexpected data in image properties.");
    const int T = tileSize, W = parentWidth, H = parentHeight;
    Layout l;
    const int n =
        static_cast<int>(std::max(std::log2(static_cast<double>(W) / T), std::log2(static_cast<double>(H) / T)));
    l.numLevels = static_cast<int>(std::max(W, H) / std::ldexp(1.0, n)) > 256 ? n + 2 : n + 1;
    // A parent at most half a tile wide counts below one level; the scales below must not become 0.
    l.numLevels = std::max(l.numLevels, 1);
    const int L = l.numLevels;
    const float detailRatio = displayResolution / imageResolution;
    const float overviewRatio = INSET_PIXEL_SIZE / imageResolution;
    l.detailLevel = ClampLevel(L - static_cast<int>(std::ceil(std::log2(static_cast<double>(detailRatio)))), L);
    l.overviewLevel = ClampLevel(L - 1 - static_cast<int>(std::ceil(std::log2(static_cast<double>(overviewRatio)))), L);
    l.detailScale = 1 << (L - 1 - l.detailLevel);
    l.overviewScale = 1 << (L - 1 - l.overviewLevel);
    l.levelWidth = static_cast<int>(static_cast<unsigned int>(W) / static_cast<unsigned int>(l.detailScale));
    l.levelHeight = static_cast<int>(static_cast<unsigned int>(H) / static_cast<unsigned int>(l.detailScale));
    l.columns = l.levelWidth / T + (l.levelWidth % T ? 1 : 0);
    l.rows = l.levelHeight / T + (l.levelHeight % T ? 1 : 0);
    l.detailPixelSize = static_cast<float>(l.detailScale) * imageResolution;
    l.overviewPixelSize = imageResolution * static_cast<float>(l.overviewScale);
    using Wide = long long;
    l.x0 = ViewCoordinate(Wide(centerX / l.detailScale) - viewWidth / 2);
    l.y0 = ViewCoordinate(Wide(centerY / l.detailScale) - viewHeight / 2);
    l.x1 = ViewCoordinate(Wide(l.x0) + viewWidth);
    l.y1 = ViewCoordinate(Wide(l.y0) + viewHeight);
    const float ds = static_cast<float>(l.detailScale), os = static_cast<float>(l.overviewScale);
    // The truncation of a single-precision quotient, as the inset has always been placed.
    const Wide insetLeft = ViewCoordinate(std::trunc((centerX - viewWidth * 0.5f * ds) / os));
    const Wide insetTop = ViewCoordinate(std::trunc((centerY - viewHeight * 0.5f * ds) / os));
    l.inset[0] = ViewCoordinate(insetLeft - left / l.overviewScale);
    l.inset[1] = ViewCoordinate(insetTop - top / l.overviewScale);
    l.inset[2] = ViewCoordinate(l.inset[0] + Wide(viewWidth) * l.detailScale / l.overviewScale);
    l.inset[3] = ViewCoordinate(l.inset[1] + Wide(viewHeight) * l.detailScale / l.overviewScale);
    l.c0 = std::max(l.x0 / T, 0);
    l.r0 = std::max(l.y0 / T, 0);
    l.c1 = std::min(l.x1 / T, l.columns - 1);
    l.r1 = std::min(l.y1 / T, l.rows - 1);
    return l;
}

void TiledImage::TileRectangles(const Layout& l, int T, int c, int r, int viewWidth, int viewHeight,
                                Corvane::Rectangle& source, Corvane::Rectangle& target)
{
    (void)viewWidth;
    (void)viewHeight;
    const int tx = c * T, ty = r * T;
    source.left = std::max(l.x0 - tx, 0);
    source.top = std::max(l.y0 - ty, 0);
    source.right = std::min({T, l.levelWidth - tx, l.x1 - tx});
    source.bottom = std::min({T, l.levelHeight - ty, l.y1 - ty});
    target.left = tx + source.left - l.x0;
    target.top = ty + source.top - l.y0;
    target.right = target.left + (source.right - source.left);
    target.bottom = target.top + (source.bottom - source.top);
}

void TiledImage::CopyToTexture(const Image2d& image, GLTexture& texture, const Corvane::Rectangle& source,
                               const Corvane::Rectangle& target)
{
    // A tile from the network may decode smaller than its rectangle: clip both sides to what exists.
    int sx = source.left, sy = source.top, tx = target.left, ty = target.top;
    int columns = target.right - target.left, rows = target.bottom - target.top;
    const int skipX = std::max({0, -sx, -tx}), skipY = std::max({0, -sy, -ty});
    sx += skipX, tx += skipX, columns -= skipX;
    sy += skipY, ty += skipY, rows -= skipY;
    columns = std::min({columns, image.GetWidth() - sx, texture.GetWidth() - tx});
    rows = std::min({rows, image.GetHeight() - sy, texture.GetHeight() - ty});
    if (rows < 1 || columns < 1)
        return;
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(texture.GetWidth());
    for (int i = 0; i < rows; ++i)
        std::memcpy(texture.GetPixels() + rowBytes * static_cast<std::size_t>(ty + i) +
                        4 * static_cast<std::size_t>(tx),
                    image.GetPixel(sx, sy + i), 4 * static_cast<std::size_t>(columns));
}

// --- Loading ---

void TiledImage::SetInsetSize(const AtlasSpace* space)
{
    const unsigned int* d = space->GetViewDimensions();
    const float* s = space->GetViewResolution();
    const int a = m_planeOfSection == ImageSeries::Sagittal ? 0 : 2;
    m_insetWidth = static_cast<int>(static_cast<float>(d[a]) * s[a] / INSET_PIXEL_SIZE + 0.5f);
    m_insetHeight = static_cast<int>(static_cast<float>(d[1]) * s[1] / INSET_PIXEL_SIZE + 0.5f);
}

void TiledImage::LoadImage(const ImageSeries::ImageInfo* info, unsigned int experimentId, int x, int y,
                           ImageSeries::PlaneOfSection plane, float imageResolution, float displayResolution,
                           const AtlasSpace* space, const char* query, const char* expressionQuery,
                           const char* projectCode)
{
    try
    {
        m_blank = false;
        m_query = query ? query : "";
        m_expressionQuery = expressionQuery ? expressionQuery : "";
        m_projectCode = projectCode ? projectCode : "";
        if (!info || !space)
        {
            Hide();
            return;
        }
        m_imagePath = info->imagePath;
        m_space = space;
        const std::string& pattern = space->GetAtlas()->GetImageTileUrl(m_projectCode.c_str());
        m_tileBaseUrl = Fill(pattern, m_imagePath);
        m_expressionTileBaseUrl = info->expressionPath.empty() ? std::string() : Fill(pattern, info->expressionPath);
        m_centerX = x;
        m_centerY = y;
        m_imageId = static_cast<unsigned int>(info->id);
        m_experimentId = experimentId;
        m_planeOfSection = plane;
        m_imageResolution = imageResolution > 0.0f ? imageResolution : 1.0f;
        m_displayResolution = displayResolution > 0.0f ? displayResolution : 8.0f;
        SetInsetSize(space);
        m_tileSize = 256;
        const bool parentGiven = info->parentImageWidth > 0 && info->parentImageHeight > 0;
        m_parentWidth = parentGiven ? info->parentImageWidth : info->width;
        m_parentHeight = parentGiven ? info->parentImageHeight : info->height;
        m_left = info->left;
        m_top = info->top;
        m_imageWidth = info->width;
        m_imageHeight = info->height;
        m_infoFetcher.reset();
        if (m_parentWidth == 0 && m_parentHeight == 0)
        {
            m_infoFetcher = std::make_unique<ZoomifyInfoFetcher>(m_tileBaseUrl + "/ImageProperties.xml", this);
            return;
        }
        LoadTiles();
    }
    catch (const std::exception&)
    {
        Hide();
    }
}

void TiledImage::LoadImage(const char* imagePath, int x, int y, int parentWidth, int parentHeight,
                           ImageSeries::PlaneOfSection plane, float imageResolution, float displayResolution,
                           unsigned int imageId, unsigned int experimentId, const AtlasSpace* space, int left, int top,
                           int width, int height, const char* query, const char* expressionQuery,
                           const char* projectCode)
{
    // Without a parent size there is nothing to lay out, and this form never asks the server for one.
    if (!imagePath || !space || parentWidth < 1 || parentHeight < 1)
    {
        Hide();
        return;
    }
    try
    {
        m_blank = false;
        m_query = query ? query : "";
        m_expressionQuery = expressionQuery ? expressionQuery : "";
        m_projectCode = projectCode ? projectCode : "";
        m_imagePath = imagePath;
        m_space = space;
        m_tileBaseUrl = Fill(space->GetAtlas()->GetImageTileUrl(m_projectCode.c_str()), m_imagePath);
        m_expressionTileBaseUrl.clear();
        m_centerX = x;
        m_centerY = y;
        m_imageId = imageId;
        m_experimentId = experimentId;
        m_planeOfSection = plane;
        m_imageResolution = imageResolution > 0.0f ? imageResolution : 1.0f;
        m_displayResolution = displayResolution > 0.0f ? displayResolution : 8.0f;
        SetInsetSize(space);
        m_tileSize = 256;
        m_parentWidth = parentWidth;
        m_parentHeight = parentHeight;
        m_left = left;
        m_top = top;
        m_imageWidth = width;
        m_imageHeight = height;
        m_infoFetcher.reset();
        LoadTiles();
    }
    catch (const std::exception&)
    {
        Hide();
    }
}

void TiledImage::ZoomifyInfoLoaded(const ZoomifyInfoFetcher* fetcher)
{
    try
    {
        m_tileSize = fetcher->GetTileSize();
        m_parentWidth = fetcher->GetWidth();
        m_parentHeight = fetcher->GetHeight();
        m_infoFetcher.reset();
        LoadTiles();
    }
    catch (const std::exception&)
    {
        Hide();
    }
}

void TiledImage::ZoomifyInfoLoadError(const ZoomifyInfoFetcher*, const std::string& message)
{
    ShowAlertBox(message);
    m_pendingTiles = 0;
    Invalidate();
}

void TiledImage::LoadTiles()
{
    const int T = m_tileSize;
    m_layout = ComputeLayout(T, m_parentWidth, m_parentHeight, m_imageResolution, m_displayResolution, m_centerX,
                             m_centerY, m_viewWidth, m_viewHeight, m_left, m_top);
    const Layout& l = m_layout;
    m_numLevels = l.numLevels;
    m_detailPixelSize = l.detailPixelSize;
    m_overviewPixelSize = l.overviewPixelSize;
    std::copy(l.inset, l.inset + 4, m_insetFrame);
    ResetTiles();
    const std::size_t slots =
        static_cast<std::size_t>(m_viewHeight / T + 1) * static_cast<std::size_t>(m_viewWidth / T + 1);
    // Slots only grow: a slot's fetchers are the listeners of their transfers and must stay where they are.
    while (m_tiles.size() < slots)
        m_tiles.push_back(std::make_unique<Tile>());
    m_lastRedrawTime = m_lastProgressTime = OSUtils::GetTime();
    const int columns = std::max(l.c1 - l.c0 + 1, 0), rows = std::max(l.r1 - l.r0 + 1, 0);
    m_pendingTiles = rows * columns * (m_expressionTileBaseUrl.empty() ? 1 : 2);

    std::string region = m_imagePath + "&zoom=" + std::to_string(l.overviewLevel) + "&top=" + std::to_string(m_top) +
                         "&left=" + std::to_string(m_left) +
                         "&width=" + std::to_string(m_imageWidth / l.overviewScale) +
                         "&height=" + std::to_string(m_imageHeight / l.overviewScale);
    if (!m_query.empty())
        region += "&" + m_query;
    const std::string regionUrl = Fill(m_space->GetAtlas()->GetImageServiceUrl(m_projectCode.c_str()), region);
    m_regionFetcher.LoadImage(regionUrl, "", this, m_imageId, l.overviewLevel, nullptr, kRegionImage);

    std::size_t k = 0;
    for (int r = l.r0; r <= l.r1; ++r)
        for (int c = l.c0; c <= l.c1; ++c, ++k)
        {
            if (k == m_tiles.size())
                while (m_tiles.size() < 2 * k)
                    m_tiles.push_back(std::make_unique<Tile>());
            StartTile(*m_tiles[k], c, r);
        }
    m_visible = true;
    Invalidate();
}

void TiledImage::StartTile(Tile& slot, int c, int r)
{
    slot.loading = true;
    TileRectangles(m_layout, m_tileSize, c, r, m_viewWidth, m_viewHeight, slot.source, slot.target);
    const std::string tileQuery = m_query.empty() ? std::string() : "?" + m_query;
    slot.imageFetcher.LoadImage(m_tileBaseUrl, tileQuery.c_str(), this, m_imageId, m_layout.detailLevel, c, r, &slot,
                                kSectionTile);
    if (m_expressionTileBaseUrl.empty())
        return;
    // The section half may have come from the cache and failed to decode: then the mask is not wanted.
    if (!slot.loading)
    {
        --m_pendingTiles;
        return;
    }
    slot.expressionFetcher.LoadImage(m_expressionTileBaseUrl, m_expressionQuery.c_str(), this, m_imageId,
                                     m_layout.detailLevel, c, r, &slot, kExpressionTile);
}

void TiledImage::Hide()
{
    m_visible = false;
    ResetTiles();
}

void TiledImage::ShowBlank()
{
    m_visible = true;
    m_blank = true;
    ResetTiles();
    Invalidate();
}

void TiledImage::ResetTiles()
{
    m_infoFetcher.reset();
    for (const auto& tile : m_tiles)
        if (tile->loading)
        {
            tile->loading = tile->imageReady = tile->expressionReady = false;
            tile->imageFetcher.Reset();
            tile->expressionFetcher.Reset();
        }
    m_regionFetcher.Reset();
    m_regionReady = false;
    m_pendingTiles = m_loadedTiles = m_progressTicks = 0;
    m_lastRedrawTime = m_lastProgressTime = 0.0;
    FillWhite(m_imageTexture);
    FillWhite(m_expressionTexture);
}

// --- Arrivals ---

void TiledImage::CleanCaches()
{
    gPrimaryTileCache.CleanCache();
    gExpressionTileCache.CleanCache();
}

void TiledImage::ZoomifyTileLoaded(ZoomifyTileFetcher* fetcher)
{
    Tile* slot = static_cast<Tile*>(fetcher->GetUserData());
    const long kind = fetcher->GetUserData2();
    if (kind == kRegionImage || !slot)
    {
        RegionArrived();
        return;
    }
    TileArrived(*slot, kind, fetcher);
}

void TiledImage::TileArrived(Tile& slot, long kind, ZoomifyTileFetcher* fetcher)
{
    const bool section = kind == kSectionTile;
    Image2d& image = section ? slot.image : slot.expressionImage;
    ZoomifyTileFetcher& other = section ? slot.expressionFetcher : slot.imageFetcher;
    bool decoded = false;
    try
    {
        decoded = DecodeJPEGImage(fetcher->GetImageData(), fetcher->GetImageDataLength(), &image);
    }
    catch (const std::exception&)
    {
    }
    if (decoded)
    {
        (section ? slot.imageReady : slot.expressionReady) = true;
        if (section)
            ++m_loadedTiles;
    }
    else
    {
        // Bytes that do not decode leave the cache, so that the next load asks the server again.
        fetcher->RemoveTileFromCache();
        slot.loading = false;
        // The other half is no longer wanted; its count goes too, or the progress bar would never end.
        if (other.IsActive())
            --m_pendingTiles;
        other.Reset();
    }
    fetcher->Reset();
    ShowTile(slot);
    const int before = m_pendingTiles--;
    const double now = OSUtils::GetTime();
    if (before >= 2 && now - m_lastRedrawTime < kRedrawInterval)
        return;
    m_lastRedrawTime = now;
    Invalidate();
    CleanCaches();
}

void TiledImage::ShowTile(Tile& slot)
{
    if (m_expressionTileBaseUrl.empty())
    {
        if (!slot.imageReady)
            return;
        CopyToTexture(slot.image, m_imageTexture, slot.source, slot.target);
        m_imageTexture.TextureChanged();
        return;
    }
    if (!slot.imageReady || !slot.expressionReady)
        return;
    CopyToTexture(slot.image, m_imageTexture, slot.source, slot.target);
    CopyToTexture(slot.expressionImage, m_expressionTexture, slot.source, slot.target);
    m_imageTexture.TextureChanged();
    m_expressionTexture.TextureChanged();
}

void TiledImage::RegionArrived()
{
    try
    {
        if (!DecodeJPEGImage(m_regionFetcher.GetImageData(), m_regionFetcher.GetImageDataLength(), &m_regionImage))
        {
            m_regionFetcher.Reset();
            return;
        }
        const int w = m_regionImage.GetWidth(), h = m_regionImage.GetHeight();
        m_regionTexture.Initialize(w, h, kBGRA, kLinear);
        const Corvane::Rectangle whole{0, 0, w, h};
        CopyToTexture(m_regionImage, m_regionTexture, whole, whole);
        m_regionReady = true;
        m_regionTexture.TextureChanged();
        Invalidate();
        m_regionFetcher.Reset();
    }
    catch (const std::exception&)
    {
        m_regionFetcher.RemoveTileFromCache();
        m_regionFetcher.Reset();
    }
}

void TiledImage::ZoomifyTileLoadError(ZoomifyTileFetcher* fetcher, const std::string&)
{
    Tile* slot = static_cast<Tile*>(fetcher->GetUserData());
    if (fetcher->GetUserData2() == kRegionImage || !slot)
    {
        m_regionFetcher.Reset();
        return;
    }
    if (slot->imageFetcher.IsActive())
    {
        slot->imageFetcher.Reset();
        --m_pendingTiles;
        slot->imageReady = false;
    }
    if (slot->expressionFetcher.IsActive())
    {
        slot->expressionFetcher.Reset();
        --m_pendingTiles;
        slot->expressionReady = false;
    }
    slot->loading = false;
    Invalidate();
    CleanCaches();
}

void TiledImage::ZoomifyTileDataReceived(ZoomifyTileFetcher*, unsigned long)
{
    const double now = OSUtils::GetTime();
    if (now - m_lastProgressTime < kRedrawInterval)
        return;
    ++m_progressTicks;
    m_lastProgressTime = now;
    Invalidate();
}

// --- Drawing ---

void TiledImage::Display(float expressionAlpha)
{
    // The overlays drawn after the image blend as they did before it, not by the mask's destination alpha,
    // which over the bare scene would let none of them show.
    glPushAttrib(GL_COLOR_BUFFER_BIT);
    if (m_visible)
    {
        glDisable(GL_BLEND);
        if (m_blank)
        {
            glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
            glRecti(0, 0, m_viewWidth, m_viewHeight);
        }
        else
        {
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
            m_imageTexture.Draw(0, 0);
            if (!m_expressionTileBaseUrl.empty())
            {
                glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
                glColor4f(0.0f, 0.0f, 0.0f, expressionAlpha);
                glRecti(0, 0, m_viewWidth, m_viewHeight);
                glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
                glEnable(GL_BLEND);
                glBlendFunc(GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA);
                m_expressionTexture.Draw(0, 0);
                glDisable(GL_BLEND);
            }
        }
        DrawScale();
        glEnable(GL_BLEND);
    }
    if (m_regionReady && m_insetShown)
        DrawInset();
    if (m_pendingTiles > 0)
        DrawProgress();
    glPopAttrib();
}

void TiledImage::DrawScale()
{
    glPushMatrix();
    glTranslatef(0.375f, 0.375f, 0.0f);
    glColor4f(0.0f, 1.0f, 1.0f, 1.0f);
    // One tick every 100 micrometres along each edge.
    const float step = m_detailPixelSize > 0.0f ? 100.0f / m_detailPixelSize : 0.0f;
    if (step >= 1.0f)
    {
        GLBegin lines(GL_LINES);
        for (float x = 0.0f; x <= m_viewWidth; x += step)
        {
            glVertex2f(x, 0.0f), glVertex2f(x, 5.0f);
            glVertex2f(x, m_viewHeight - 5.0f), glVertex2f(x, static_cast<float>(m_viewHeight));
        }
        for (float y = 0.0f; y <= m_viewHeight; y += step)
        {
            glVertex2f(0.0f, y), glVertex2f(5.0f, y);
            glVertex2f(m_viewWidth - 5.0f, y), glVertex2f(static_cast<float>(m_viewWidth), y);
        }
    }
    {
        GLBegin outline(GL_LINE_LOOP);
        glVertex2i(0, 0);
        glVertex2i(m_viewWidth, 0);
        glVertex2i(m_viewWidth, m_viewHeight);
        glVertex2i(0, m_viewHeight);
    }
    glPopMatrix();
}

void TiledImage::DrawInset()
{
    glDisable(GL_BLEND);
    glPushMatrix();
    glTranslatef(static_cast<float>(m_viewWidth + 1), 0.0f, 0.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glRecti(0, 0, m_insetWidth, m_insetHeight);
    const DevicePixels pixels(m_renderer ? m_renderer->GetContext() : nullptr);
    int viewport[4];
    pixels.GetViewport(viewport);
    glEnable(GL_SCISSOR_TEST);
    pixels.Scissor(viewport[0] + m_viewWidth + 1, viewport[1], m_insetWidth, m_insetHeight);
    // The inset image drawn centred at 60.8 micrometres per pixel whatever level it came at.
    const float f = m_overviewPixelSize / INSET_PIXEL_SIZE;
    const float regionWidth = static_cast<float>(m_regionImage.GetWidth());
    const float regionHeight = static_cast<float>(m_regionImage.GetHeight());
    glScalef(f, f, 1.0f);
    glTranslatef((m_insetWidth / f - regionWidth) * 0.5f, (m_insetHeight / f - regionHeight) * 0.5f, 0.0f);
    m_regionTexture.Draw(0, 0);
    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    glScalef(1.0f, -1.0f, 1.0f);
    glTranslatef(0.375f, 0.375f - regionHeight, 0.0f);
    {
        GLBegin frame(GL_LINE_LOOP);
        glVertex2i(m_insetFrame[0], m_insetFrame[1]);
        glVertex2i(m_insetFrame[2], m_insetFrame[1]);
        glVertex2i(m_insetFrame[2], m_insetFrame[3]);
        glVertex2i(m_insetFrame[0], m_insetFrame[3]);
    }
    glDisable(GL_SCISSOR_TEST);
    glPopMatrix();
    glEnable(GL_BLEND);
}

void TiledImage::DrawProgress()
{
    if (m_progressTicks >= m_viewWidth / 8)
    {
        m_progressTicks = 0;
        return;
    }
    glPushMatrix();
    glTranslatef(2.0f, 2.0f, 0.0f);
    glColor4f(0.0f, 1.0f, 0.0f, 1.0f);
    for (int i = 0; i <= m_progressTicks; ++i)
        glRecti(8 * i, 0, 8 * i + 6, 4);
    glPopMatrix();
}

// --- Mouse and browser ---

bool TiledImage::OnButtonDown(int, int x, int y, int, unsigned int)
{
    if (!m_visible)
        return false;
    if (m_loadedTiles > 0 && x >= 0 && x <= m_viewWidth && y >= 0 && y <= m_viewHeight)
        return true;
    return m_regionReady && m_insetShown && x > m_viewWidth && x <= m_viewWidth + m_insetWidth + 1 && y >= 0 &&
           y <= m_insetHeight;
}

bool TiledImage::OnDoubleClick(int button, int x, int y, int, unsigned int)
{
    if (button != kLeftButton || !m_visible || m_loadedTiles < 1 || x < 0 || x > m_viewWidth || y < 0 ||
        y > m_viewHeight)
        return false;
    return ShowImageInBrowser();
}

bool TiledImage::CanShowImageInBrowser() const
{
    return m_visible && (!m_tileBaseUrl.empty() || !m_expressionTileBaseUrl.empty());
}

bool TiledImage::ShowImageInBrowser()
{
    if (!CanShowImageInBrowser() || !m_expressionTileBaseUrl.empty() || !m_space)
        return false;
    const int x = m_centerX - m_left, y = m_centerY - m_top;
    const Atlas* atlas = m_space->GetAtlas();
    std::string link;
    // A template that does not take these arguments is the atlas's fault: no link, and nothing thrown into
    // the mouse handler.
    try
    {
        const std::string& atlasViewer = atlas->GetShowAtlasUrl("");
        if (!atlasViewer.empty())
            link = (boost::format(atlasViewer) % m_imageId % m_experimentId).str() + "&x=" + std::to_string(x) +
                   "&y=" + std::to_string(y) + "&resolution=4";
        else
        {
            boost::format viewer(atlas->GetShowImageUrl(""));
            if (viewer.expected_args() == 1)
                link = (viewer % m_imageId).str() + "&x=" + std::to_string(x) + "&y=" + std::to_string(y) + "&z=50";
            else
                link = (viewer % m_imageId % m_experimentId).str() + "&x=" + std::to_string(x) +
                       "&y=" + std::to_string(y) + "&z=7";
        }
    }
    catch (const std::exception&)
    {
        return false;
    }
    OSUtils::OpenBrowser(link);
    return true;
}
