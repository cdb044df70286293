#pragma once

#include "core/NetEventListener.h"

#include <ctime>
#include <string>

class NetFile;

// The update check: when automatic checks are on and the last check is older than the interval, reads the
// update feed and, for an item whose version is above this build's number, offers to open its page in the
// web browser. Main thread only.
class Updater : public NetEventListener
{
public:
    Updater() = default;
    ~Updater() override;
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    void SetAutomaticallyChecksForUpdates(bool on) { m_automatic = on; }
    bool GetAutomaticallyChecksForUpdates() const { return m_automatic; }
    void SetUpdateCheckInterval(long seconds) { m_interval = seconds; }
    long GetUpdateCheckInterval() const { return m_interval; }
    void SetFeedURL(const std::string& url) { m_feedUrl = url; }
    const std::string& GetFeedURL() const { return m_feedUrl; }

    // Whether a check is due at the given time.
    bool IsDue(std::time_t now) const;
    // Starts a check when one is due; answers whether it started.
    bool CheckIfDue();
    // Starts a check now.
    bool CheckForUpdates();
    bool IsChecking() const { return m_transfer != nullptr; }

    // The newest item of a feed: its version number (0 when none is readable) and page.
    struct FeedItem
    {
        long version = 0;
        std::string url;
        std::string title;
    };
    static FeedItem ParseFeed(const std::string& xml);

    void DownloadComplete(const void* data, unsigned long size) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string&, unsigned long) override {}
    void DataReceived(const void*, unsigned long) override {}

    static const char* const kLastCheckKey;

private:
    bool m_automatic = false;
    long m_interval = 604800;
    std::string m_feedUrl;
    NetFile* m_transfer = nullptr;
};
