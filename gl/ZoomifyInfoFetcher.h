#pragma once

#include "core/NetEventListener.h"
#include "core/XMLElementHandler.h"

#include <string>

class NetFile;
class ZoomifyInfoCompletionListener;

// Fetches and reads the "ImageProperties.xml" of one Zoomify image: its full size, tile count and tile
// size. Main thread only; the transfer reports on the main loop.
class ZoomifyInfoFetcher : public NetEventListener, public XMLElementHandler
{
public:
    // Starts the request at once; throws std::runtime_error "Could not open connection." when it cannot.
    ZoomifyInfoFetcher(const std::string& url, ZoomifyInfoCompletionListener* listener);
    ~ZoomifyInfoFetcher() override;
    ZoomifyInfoFetcher(const ZoomifyInfoFetcher&) = delete;
    ZoomifyInfoFetcher& operator=(const ZoomifyInfoFetcher&) = delete;

    void DownloadComplete(const void* data, unsigned long size) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string&, unsigned long) override {}
    void DataReceived(const void*, unsigned long) override {}
    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char*) override {}
    void DataHandler(const char*, int) override {}

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetNumTiles() const { return m_numTiles; }
    int GetTileSize() const { return m_tileSize; }

private:
    // Throws std::runtime_error when the body is not image properties with a usable size.
    void Parse(const void* data, unsigned long size);

    ZoomifyInfoCompletionListener* m_listener;
    NetFile* m_transfer = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_numTiles = 0;
    int m_tileSize = 0;
};
