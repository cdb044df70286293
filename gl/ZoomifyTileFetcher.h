#pragma once

#include "core/NetEventListener.h"

#include <string>
#include <vector>

class NetFile;
class TileCache;
class ZoomifyTileCompletionListener;

// Fetches one Zoomify tile or one region image at a time, through a tile cache when it has one. The owner
// reuses a fetcher for tile after tile: it is active from LoadImage until Reset, and events of a transfer
// that no longer belongs to it are ignored. The running transfer knows the fetcher by its address, so a
// fetcher never moves or copies. Main thread only.
class ZoomifyTileFetcher : public NetEventListener
{
public:
    // Announced lengths above this are not reserved up front: the bytes still grow as they arrive.
    static constexpr unsigned long MAX_RESERVE = 16ul * 1024ul * 1024ul;

    explicit ZoomifyTileFetcher(TileCache* cache);
    ~ZoomifyTileFetcher() override;
    ZoomifyTileFetcher(const ZoomifyTileFetcher&) = delete;
    ZoomifyTileFetcher& operator=(const ZoomifyTileFetcher&) = delete;

    void DownloadComplete(const void* data, unsigned long size) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long size) override;

    // One tile: base + "/TileGroup/" + level-col-row + ".jpg" + query. A cached tile is reported loaded
    // within this call. Throws std::runtime_error "Could not open connection." when no request can be made.
    virtual void LoadImage(const std::string& base, const char* query, ZoomifyTileCompletionListener* listener,
                           unsigned int imageId, int level, int col, int row, void* userData, long userData2);
    // One region image: url + query, cached under column and row -1.
    virtual void LoadImage(const std::string& url, const char* query, ZoomifyTileCompletionListener* listener,
                           unsigned int imageId, int level, void* userData, long userData2);
    virtual void Reset();
    virtual unsigned int GetImageDataLength() const { return static_cast<unsigned int>(m_imageData.size()); }
    virtual const unsigned char* GetImageData() const { return m_imageData.data(); }
    virtual void* GetUserData() const { return m_userData; }
    virtual long GetUserData2() const { return m_userData2; }
    virtual bool IsActive() const { return m_active; }
    // Drops the stored bytes of the current tile (they did not decode).
    virtual void RemoveTileFromCache();

    int GetLevel() const { return m_level; }
    int GetCol() const { return m_col; }
    int GetRow() const { return m_row; }

private:
    void Start(const std::string& url, ZoomifyTileCompletionListener* listener, unsigned int imageId, int level,
               int col, int row, void* userData, long userData2);
    void AbortTransfer();

    int m_level = 0;
    int m_col = 0;
    int m_row = 0;
    unsigned int m_imageId = 0;
    ZoomifyTileCompletionListener* m_listener = nullptr;
    NetFile* m_transfer = nullptr;
    void* m_userData = nullptr;
    long m_userData2 = 0;
    std::vector<unsigned char> m_imageData;
    TileCache* m_cache;
    bool m_active = false;
};
