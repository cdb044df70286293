#pragma once

#include <string>

class ZoomifyTileFetcher;

// Hears about the tiles and region images of ZoomifyTileFetchers. The listener may reset the fetcher inside
// any call.
class ZoomifyTileCompletionListener
{
public:
    virtual ~ZoomifyTileCompletionListener() = default;
    virtual void ZoomifyTileLoaded(ZoomifyTileFetcher* fetcher) = 0;
    virtual void ZoomifyTileLoadError(ZoomifyTileFetcher* fetcher, const std::string& message) = 0;
    virtual void ZoomifyTileDataReceived(ZoomifyTileFetcher* fetcher, unsigned long bytes) = 0;
};
