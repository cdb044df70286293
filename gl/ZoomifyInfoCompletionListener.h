#pragma once

#include <string>

class ZoomifyInfoFetcher;

// Hears how the image properties of one Zoomify image arrived. The listener may delete the fetcher inside
// either call.
class ZoomifyInfoCompletionListener
{
public:
    virtual ~ZoomifyInfoCompletionListener() = default;
    virtual void ZoomifyInfoLoaded(const ZoomifyInfoFetcher* fetcher) = 0;
    virtual void ZoomifyInfoLoadError(const ZoomifyInfoFetcher* fetcher, const std::string& message) = 0;
};
