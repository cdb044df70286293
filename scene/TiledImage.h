#pragma once

#include "atlas/ImageSeries.h"
#include "gl/MouseListener.h"

class AtlasSpace;
class BrainSceneRenderer;

// The zoomable section image of the scene's overlay, assembled from image tiles. For now it never shows
// an image: it stays hidden, takes no press and draws nothing. Main thread only.
class TiledImage : public MouseListener
{
public:
    TiledImage(int width, int height, BrainSceneRenderer* renderer);
    ~TiledImage() override;
    TiledImage(const TiledImage&) = delete;
    TiledImage& operator=(const TiledImage&) = delete;

    // Shows a section of an image series at a placement, on a plane of section, with two scale values,
    // in an atlas space; the three texts go to the tile server as they are.
    virtual void LoadImage(const ImageSeries::ImageInfo* info, unsigned int id, int x, int y,
                           ImageSeries::PlaneOfSection plane, float scale, float downsample, const AtlasSpace* space,
                           const char* a, const char* b, const char* c);
    // Shows an image of a tile folder.
    virtual void LoadImage(const char* path, int width, int height, int x, int y);
    virtual void Hide();
    virtual void ShowBlank();
    virtual void Display(float alpha);
    virtual bool IsVisible() const { return m_visible; }
    virtual bool CanShowImageInBrowser() const;
    // False when the image cannot show itself in the browser.
    virtual bool ShowImageInBrowser();

    // y counts from the bottom.
    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnDoubleClick(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;

private:
    BrainSceneRenderer* m_renderer;
    int m_width;
    int m_height;
    bool m_visible = false;
};
