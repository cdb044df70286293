#pragma once

// Alerts, confirmations and browser requests written down instead of shown, for the life of the object;
// the previous presenter or launcher comes back when it goes.

#include "core/AlertPresenter.h"
#include "core/BrowserLauncher.h"
#include "core/PlatformHooks.h"

#include <string>
#include <vector>

// Installs itself as the platform's Hook for its life and then puts back the one it replaced.
template <typename Hook, Hook& (*Get)(), void (*Set)(Hook*)>
class InstalledHook : public Hook
{
public:
    InstalledHook()
        : m_previous(&Get())
    {
        Set(this);
    }
    ~InstalledHook() override { Set(m_previous); }
    InstalledHook(const InstalledHook&) = delete;
    InstalledHook& operator=(const InstalledHook&) = delete;

private:
    Hook* m_previous;
};

// Answers every confirmation with `answer` and keeps the messages.
class RecordingAlerts
    : public InstalledHook<AlertPresenter, &PlatformHooks::GetAlertPresenter, &PlatformHooks::SetAlertPresenter>
{
public:
    void ShowAlert(const std::string& message) override { alerts.push_back(message); }
    bool ShowConfirmation(const std::string& message) override
    {
        confirmations.push_back(message);
        return answer;
    }

    bool answer = false;
    std::vector<std::string> alerts;
    std::vector<std::string> confirmations;
};

class RecordingBrowser
    : public InstalledHook<BrowserLauncher, &PlatformHooks::GetBrowserLauncher, &PlatformHooks::SetBrowserLauncher>
{
public:
    bool OpenUrl(const std::string& url) override
    {
        urls.push_back(url);
        return opens;
    }
    std::vector<std::string> urls;
    bool opens = true; // false: the desktop cannot open pages
};
