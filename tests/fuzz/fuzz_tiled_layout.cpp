#include "gl/ZoomifyInfoCompletionListener.h"
#include "gl/ZoomifyInfoFetcher.h"
#include "scene/TiledImage.h"

#include "tests/fuzz/FuzzNetwork.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string>

namespace
{
FuzzNetwork* network = nullptr;

// Where the section image is looked at: its resolution and the view's, the view's size and the point of
// interest, as the section image window sets them.
struct Viewing
{
    float imageResolution;
    float displayResolution;
    int viewWidth;
    int viewHeight;
    int center; // 0 the middle, 1 the first pixel, 2 the last one, 3 half the image beyond it
};

Viewing ViewingOf(std::uint8_t selector)
{
    static const float imageResolutions[4] = {1.0f, 0.35f, 1.6f, 16.0f};
    static const float displayResolutions[4] = {8.0f, 1.0f, 2.5f, 60.8f};
    static const int views[4][2] = {{512, 512}, {600, 400}, {1, 1}, {2000, 1500}};
    const int* view = views[selector >> 4 & 3];
    return {imageResolutions[selector & 3], displayResolutions[selector >> 2 & 3], view[0], view[1], selector >> 6};
}

int Center(int extent, int where)
{
    const long long points[4] = {extent / 2, 0, extent - 1LL, extent + extent / 2LL};
    return static_cast<int>(std::min<long long>(points[where], 0x7FFFFFFF));
}

// Lays the image out as the section image does once the properties have arrived: the pyramid's levels,
// the view's tiles and each tile's part of the view.
class LayingOut : public ZoomifyInfoCompletionListener
{
public:
    explicit LayingOut(const Viewing& viewing)
        : m_viewing(viewing)
    {
    }

    void ZoomifyInfoLoaded(const ZoomifyInfoFetcher* fetcher) override
    {
        const Viewing& v = m_viewing;
        const int T = fetcher->GetTileSize(), W = fetcher->GetWidth(), H = fetcher->GetHeight();
        try
        {
            const TiledImage::Layout layout =
                TiledImage::ComputeLayout(T, W, H, v.imageResolution, v.displayResolution, Center(W, v.center),
                                          Center(H, v.center), v.viewWidth, v.viewHeight, 0, 0);
            Corvane::Rectangle source, target;
            for (int r = layout.r0; r <= layout.r1; ++r)
                for (int c = layout.c0; c <= layout.c1; ++c)
                    TiledImage::TileRectangles(layout, T, c, r, v.viewWidth, v.viewHeight, source, target);
        }
        catch (const std::exception&)
        {
        }
    }
    void ZoomifyInfoLoadError(const ZoomifyInfoFetcher*, const std::string&) override {}

private:
    Viewing m_viewing;
};
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    network = new FuzzNetwork;
    return 0;
}

// An image's "ImageProperties.xml" as the section image uses it: its WIDTH, HEIGHT and TILESIZE lay out
// the tiles of the view. Byte 0 picks the viewing (bits 0-1 the image's resolution, 2-3 the view's, 4-5
// the view's size, 6-7 the point of interest); the rest is the document. Seeds: the demo server's
// properties and properties of extreme sizes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    LayingOut listener(ViewingOf(data[0]));
    try
    {
        ZoomifyInfoFetcher properties("http://127.0.0.1:8470/tiles/image/ImageProperties.xml", &listener);
        network->Answer(data + 1, size - 1, "application/xml");
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
