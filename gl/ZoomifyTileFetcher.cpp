#include "gl/ZoomifyTileFetcher.h"

#include "core/NetFile.h"
#include "gl/TileCache.h"
#include "gl/ZoomifyTileCompletionListener.h"

#include <algorithm>
#include <stdexcept>

ZoomifyTileFetcher::ZoomifyTileFetcher(TileCache* cache)
    : m_cache(cache)
{
}

ZoomifyTileFetcher::~ZoomifyTileFetcher()
{
    AbortTransfer();
}

void ZoomifyTileFetcher::AbortTransfer()
{
    if (m_transfer)
    {
        NetFile* transfer = m_transfer;
        m_transfer = nullptr;
        transfer->Abort();
    }
}

void ZoomifyTileFetcher::LoadImage(const std::string& base, const char* query, ZoomifyTileCompletionListener* listener,
                                   unsigned int imageId, int level, int col, int row, void* userData, long userData2)
{
    const std::string url = base + "/TileGroup/" + std::to_string(level) + "-" + std::to_string(col) + "-" +
                            std::to_string(row) + ".jpg" + (query ? query : "");
    Start(url, listener, imageId, level, col, row, userData, userData2);
}

void ZoomifyTileFetcher::LoadImage(const std::string& url, const char* query, ZoomifyTileCompletionListener* listener,
                                   unsigned int imageId, int level, void* userData, long userData2)
{
    Start(url + (query ? query : ""), listener, imageId, level, -1, -1, userData, userData2);
}

void ZoomifyTileFetcher::Start(const std::string& url, ZoomifyTileCompletionListener* listener, unsigned int imageId,
                               int level, int col, int row, void* userData, long userData2)
{
    m_level = level;
    m_col = col;
    m_row = row;
    m_imageId = imageId;
    m_listener = listener;
    m_userData = userData;
    m_userData2 = userData2;
    AbortTransfer();
    m_active = true;
    if (m_cache && m_cache->GetTile(imageId, level, col, row, m_imageData))
    {
        if (m_listener)
            m_listener->ZoomifyTileLoaded(this);
        return;
    }
    m_imageData.clear();
    m_transfer = NetFile::Create(url, this, false);
}

void ZoomifyTileFetcher::ResponseReceived(const std::string&, unsigned long expectedLength)
{
    if (!m_active)
        return;
    m_imageData.clear();
    // A hostile Content-Length must not allocate gigabytes before a byte has come.
    m_imageData.reserve(std::min(expectedLength, MAX_RESERVE));
    if (m_listener)
        m_listener->ZoomifyTileDataReceived(this, 0);
}

void ZoomifyTileFetcher::DataReceived(const void* data, unsigned long size)
{
    if (!m_active || !data)
        return;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    m_imageData.insert(m_imageData.end(), bytes, bytes + size);
    if (m_listener)
        m_listener->ZoomifyTileDataReceived(this, size);
}

void ZoomifyTileFetcher::DownloadComplete(const void*, unsigned long)
{
    if (!m_active)
        return;
    m_transfer = nullptr;
    try
    {
        if (m_cache)
            m_cache->AddTile(m_imageId, m_level, m_col, m_row, m_imageData.data(), m_imageData.size());
        if (m_listener)
            m_listener->ZoomifyTileLoaded(this);
    }
    catch (const std::exception& error)
    {
        if (m_listener)
            m_listener->ZoomifyTileLoadError(this, error.what());
    }
}

void ZoomifyTileFetcher::DownloadFailed(const std::string& message)
{
    if (!m_active)
        return;
    m_transfer = nullptr;
    m_imageData.clear();
    if (m_listener)
        m_listener->ZoomifyTileLoadError(this, message);
}

void ZoomifyTileFetcher::Reset()
{
    m_active = false;
    AbortTransfer();
    m_listener = nullptr;
    m_userData = nullptr;
    m_userData2 = 0;
    m_imageData.clear();
}

void ZoomifyTileFetcher::RemoveTileFromCache()
{
    if (m_cache)
        m_cache->RemoveTile(m_imageId, m_level, m_col, m_row);
}
