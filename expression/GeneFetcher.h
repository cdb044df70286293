#pragma once

#include "core/NetEventListener.h"

#include <cstdint>
#include <string>
#include <vector>

class GeneFetchCompletionListener;
class NetFile;

// Downloads the bytes of one data set and hands them to its listener, with progress on the way. One
// transfer at a time: loading again silently aborts the running one. Main thread only.
//
// The listener may delete the fetcher inside any of its calls (typically in GeneLoaded or GeneLoadError):
// the fetcher touches nothing of its own after calling out.
class GeneFetcher : public NetEventListener
{
public:
    GeneFetcher() = default;
    explicit GeneFetcher(GeneFetchCompletionListener* listener);
    // Constructs and calls Load; throws what Load throws.
    GeneFetcher(const std::string& name, const std::string& url, GeneFetchCompletionListener* listener, void* userData,
                const float* rgb);
    // Aborts a running transfer; its listener hears nothing more.
    ~GeneFetcher() override;

    GeneFetcher(const GeneFetcher&) = delete;
    GeneFetcher& operator=(const GeneFetcher&) = delete;

    void DownloadComplete(const void* data, unsigned long size) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long size) override;

    // Starts downloading url; rgb (three floats) is the colour the data set is to get, or null. Throws
    // std::runtime_error "Could not open connection." and stays idle when the transfer cannot start.
    virtual void Load(const std::string& name, const std::string& url, GeneFetchCompletionListener* listener,
                      void* userData, const float* rgb);
    virtual bool IsActive() const { return m_transfer != nullptr; }
    // Aborts a running transfer without callbacks and forgets name, user data, listener and progress.
    virtual void Reset();
    virtual float GetProgress() const { return m_progress; }
    virtual void* GetUserData() const { return m_userData; }
    virtual const char* GetName() const { return m_name.c_str(); }
    const std::string& GetUrl() const { return m_url; }
    // Red, green, blue, or null when no colour was given.
    virtual const float* GetColor() const;

    // The alert of a data set's download that failed: the reason, then the data set (its name, if it has one,
    // and its address), since the reason alone does not say which of several downloads failed.
    static std::string FailureAlert(const std::string& reason, const std::string& name, const std::string& url);

    struct Failure
    {
        std::string reason, name, url;
    };
    // The one alert of the failures of one run of downloads (a queue, or the data sets of one request), which
    // often fail together when the server goes: one failure as above, several as a list of each data set with
    // its reason. Empty for none.
    static std::string FailureAlert(const std::vector<Failure>& failures);
    // Shows the one alert of the failures gathered, if any, and clears them for the next run.
    static void ReportFailures(std::vector<Failure>& failures);

private:
    void AbortTransfer();

    std::string m_name;
    std::string m_url;
    GeneFetchCompletionListener* m_listener = nullptr;
    NetFile* m_transfer = nullptr;
    void* m_userData = nullptr;
    float m_color[3] = {-1.0f, -1.0f, -1.0f};
    std::uint64_t m_expectedLength = 0;
    std::uint64_t m_received = 0;
    float m_progress = 0.0f;
};
