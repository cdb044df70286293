#pragma once

#include "atlas/ImageSeries.h"
#include "core/Image2d.h"
#include "gl/GLTexture.h"
#include "gl/MemoryTileCache.h"
#include "gl/MouseListener.h"
#include "gl/ZoomifyInfoCompletionListener.h"
#include "gl/ZoomifyTileCompletionListener.h"
#include "gl/ZoomifyTileFetcher.h"

#include <memory>
#include <string>
#include <vector>

class AtlasSpace;
class BrainSceneRenderer;
class ZoomifyInfoFetcher;

namespace Corvane
{
// Pixels, y downwards; right and bottom exclusive.
struct Rectangle
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
} // namespace Corvane

// Section-image tiles and inset images, shared by every tiled image of every window.
extern MemoryTileCache gPrimaryTileCache;
// Expression-mask tiles.
extern MemoryTileCache gExpressionTileCache;

// The section image beside the scene: a detail view of viewWidth x viewHeight pixels centred on a point of
// interest at a chosen micrometres per pixel, assembled from Zoomify tiles, and an inset of the whole
// section at 60.8 micrometres per pixel with a red frame around the part the detail view shows. Tiles come
// from the network: everything about them is untrusted. Main thread only.
class TiledImage : public ZoomifyInfoCompletionListener, public ZoomifyTileCompletionListener, public MouseListener
{
public:
    static constexpr float INSET_PIXEL_SIZE = 60.8f;

    struct Tile
    {
        Tile();
        virtual ~Tile();
        Tile(const Tile&) = delete;
        Tile& operator=(const Tile&) = delete;

        bool loading = false;
        Image2d image;
        Image2d expressionImage;
        Corvane::Rectangle source;
        Corvane::Rectangle target;
        ZoomifyTileFetcher imageFetcher;
        ZoomifyTileFetcher expressionFetcher;
        bool imageReady = false;
        bool expressionReady = false;
    };

    // What LoadTiles works out from the image's geometry, before any request.
    struct Layout
    {
        int numLevels = 0;
        int detailLevel = 0;
        int overviewLevel = 0;
        int detailScale = 1;
        int overviewScale = 1;
        int levelWidth = 0;
        int levelHeight = 0;
        int columns = 0;
        int rows = 0;
        float detailPixelSize = 0.0f;
        float overviewPixelSize = 0.0f;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        int inset[4] = {0, 0, 0, 0};
        int c0 = 0, r0 = 0, c1 = -1, r1 = -1;
    };
    // Throws std::runtime_error "Unexpected data in image properties." for a tile size or parent size
    // below 1, and for a view whose pixel coordinates at the detail level do not fit an int.
    static Layout ComputeLayout(int tileSize, int parentWidth, int parentHeight, float imageResolution,
                                float displayResolution, int centerX, int centerY, int viewWidth, int viewHeight,
                                int left, int top);
    // The part of tile (c, r) inside the view and the level image, and where it goes in the view.
    static void TileRectangles(const Layout& layout, int tileSize, int c, int r, int viewWidth, int viewHeight,
                               Corvane::Rectangle& source, Corvane::Rectangle& target);
    // Copies source of image to target of the texture, both clipped to what exists.
    static void CopyToTexture(const Image2d& image, GLTexture& texture, const Corvane::Rectangle& source,
                              const Corvane::Rectangle& target);

    TiledImage(int viewWidth, int viewHeight, BrainSceneRenderer* renderer);
    ~TiledImage() override;
    TiledImage(const TiledImage&) = delete;
    TiledImage& operator=(const TiledImage&) = delete;

    void ZoomifyInfoLoaded(const ZoomifyInfoFetcher* fetcher) override;
    void ZoomifyInfoLoadError(const ZoomifyInfoFetcher* fetcher, const std::string& message) override;
    // Draws in view pixels with the image's lower-left corner at the origin.
    virtual void Display(float expressionAlpha);
    // A section of an image series, centred at (x, y) of its parent image; a resolution of 0 or less takes
    // its default (1 micrometre per image pixel, 8 per view pixel). The texts are the tile query, the
    // expression-mask query and the project code of the atlas's URL templates.
    virtual void LoadImage(const ImageSeries::ImageInfo* info, unsigned int experimentId, int x, int y,
                           ImageSeries::PlaneOfSection plane, float imageResolution, float displayResolution,
                           const AtlasSpace* space, const char* query, const char* expressionQuery,
                           const char* projectCode);
    // An image given by its path and geometry; never asks for the image properties.
    virtual void LoadImage(const char* imagePath, int x, int y, int parentWidth, int parentHeight,
                           ImageSeries::PlaneOfSection plane, float imageResolution, float displayResolution,
                           unsigned int imageId, unsigned int experimentId, const AtlasSpace* space, int left, int top,
                           int width, int height, const char* query, const char* expressionQuery,
                           const char* projectCode);
    virtual void Hide();
    virtual void ShowBlank();
    virtual bool IsVisible() const { return m_visible; }
    virtual bool CanShowImageInBrowser() const;
    // False when the image cannot show itself in the browser.
    virtual bool ShowImageInBrowser();
    void ZoomifyTileLoaded(ZoomifyTileFetcher* fetcher) override;
    void ZoomifyTileLoadError(ZoomifyTileFetcher* fetcher, const std::string& message) override;
    void ZoomifyTileDataReceived(ZoomifyTileFetcher* fetcher, unsigned long bytes) override;
    // y counts from the bottom, relative to the image's corner.
    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int, int, int, int, unsigned int) override { return false; }
    bool OnMouseMove(int, int, int, unsigned int) override { return false; }
    bool OnDoubleClick(int button, int x, int y, int flags, unsigned int time) override;

    int GetPendingTiles() const { return m_pendingTiles; }
    int GetCenterX() const { return m_centerX; }
    int GetCenterY() const { return m_centerY; }
    int GetLoadedTiles() const { return m_loadedTiles; }
    bool IsRegionReady() const { return m_regionReady; }
    bool IsBlank() const { return m_blank; }
    const Layout& GetLayout() const { return m_layout; }
    int GetInsetWidth() const { return m_insetWidth; }
    // The inset is drawn and takes presses only while the scene's layout leaves it room.
    void ShowInset(bool show) { m_insetShown = show; }
    int GetInsetHeight() const { return m_insetHeight; }
    const GLTexture& GetImageTexture() const { return m_imageTexture; }
    const std::string& GetTileBaseUrl() const { return m_tileBaseUrl; }

protected:
    virtual void LoadTiles();
    virtual void ResetTiles();

private:
    void Invalidate();
    void SetInsetSize(const AtlasSpace* space);
    void StartTile(Tile& slot, int c, int r);
    void ShowTile(Tile& slot);
    void TileArrived(Tile& slot, long kind, ZoomifyTileFetcher* fetcher);
    void RegionArrived();
    void CleanCaches();
    void DrawScale();
    void DrawInset();
    void DrawProgress();

    std::vector<std::unique_ptr<Tile>> m_tiles;
    std::unique_ptr<ZoomifyInfoFetcher> m_infoFetcher;
    ZoomifyTileFetcher m_regionFetcher;
    GLTexture m_regionTexture;
    Image2d m_regionImage;
    bool m_regionReady = false;
    bool m_insetShown = true;
    GLTexture m_imageTexture;
    GLTexture m_expressionTexture;
    int m_insetFrame[4] = {0, 0, 0, 0};
    BrainSceneRenderer* m_renderer;
    std::string m_tileBaseUrl;
    std::string m_expressionTileBaseUrl;
    std::string m_imagePath;
    const AtlasSpace* m_space = nullptr;
    unsigned int m_imageId = 0;
    unsigned int m_experimentId = 0;
    int m_numLevels = 0;
    int m_tileSize = 256;
    int m_centerX = -1;
    int m_centerY = -1;
    int m_viewWidth;
    int m_viewHeight;
    int m_insetWidth = 0;
    int m_insetHeight = 0;
    int m_parentWidth = 0;
    int m_parentHeight = 0;
    int m_left = 0;
    int m_top = 0;
    int m_imageWidth = 0;
    int m_imageHeight = 0;
    int m_pendingTiles = 0;
    int m_loadedTiles = 0;
    double m_lastRedrawTime = 0.0;
    double m_lastProgressTime = 0.0;
    int m_progressTicks = 0;
    ImageSeries::PlaneOfSection m_planeOfSection = ImageSeries::NoPlane;
    float m_detailPixelSize = 0.0f;
    float m_overviewPixelSize = 0.0f;
    float m_imageResolution = 1.0f;
    float m_displayResolution = 8.0f;
    bool m_visible = false;
    bool m_blank = false;
    std::string m_query;
    std::string m_expressionQuery;
    std::string m_projectCode;
    Layout m_layout;
};
