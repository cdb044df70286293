#pragma once

// Alerts, confirmations and browser requests written down instead of shown, for the life of the object;
// the previous presenter or launcher comes back when it goes.

#include "core/AlertPresenter.h"
#include "core/BrowserLauncher.h"
#include "core/PlatformHooks.h"

#include <string>
#include <vector>

// Answers every confirmation with `answer` and keeps the messages.
class RecordingAlerts : public AlertPresenter
{
public:
    RecordingAlerts()
        : m_previous(&PlatformHooks::GetAlertPresenter())
    {
        PlatformHooks::SetAlertPresenter(this);
    }
    ~RecordingAlerts() override { PlatformHooks::SetAlertPresenter(m_previous); }
    RecordingAlerts(const RecordingAlerts&) = delete;
    RecordingAlerts& operator=(const RecordingAlerts&) = delete;

    void ShowAlert(const std::string& message) override { alerts.push_back(message); }
    bool ShowConfirmation(const std::string& message) override
    {
        confirmations.push_back(message);
        return answer;
    }

    bool answer = false;
    std::vector<std::string> alerts;
    std::vector<std::string> confirmations;

private:
    AlertPresenter* m_previous;
};

class RecordingBrowser : public BrowserLauncher
{
public:
    RecordingBrowser()
        : m_previous(&PlatformHooks::GetBrowserLauncher())
    {
        PlatformHooks::SetBrowserLauncher(this);
    }
    ~RecordingBrowser() override { PlatformHooks::SetBrowserLauncher(m_previous); }
    RecordingBrowser(const RecordingBrowser&) = delete;
    RecordingBrowser& operator=(const RecordingBrowser&) = delete;

    bool OpenUrl(const std::string& url) override
    {
        urls.push_back(url);
        return true;
    }
    std::vector<std::string> urls;

private:
    BrowserLauncher* m_previous;
};
