#pragma once

#include <string>

class GeneFetcher;

// Hears one GeneFetcher's download: GeneDataReceived any number of times, then GeneLoaded or GeneLoadError.
// Main thread only. A listener may delete the fetcher inside any of these calls.
class GeneFetchCompletionListener
{
public:
    virtual ~GeneFetchCompletionListener() = default;

    // The whole body; the bytes are valid only during the call.
    virtual void GeneLoaded(GeneFetcher* fetcher, const void* data, unsigned long size) = 0;
    // The transfer's own message, for example "Server returned error 404".
    virtual void GeneLoadError(GeneFetcher* fetcher, const std::string& message) = 0;
    // progress from 0 to 1; it stays where it was while the server announced no length.
    virtual void GeneDataReceived(GeneFetcher* fetcher, float progress)
    {
        (void)fetcher;
        (void)progress;
    }
};
