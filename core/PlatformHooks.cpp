#include "core/PlatformHooks.h"

#include "core/AlertPresenter.h"
#include "core/BrowserLauncher.h"
#include "core/MemoryDefaultsStore.h"

#include <iostream>

namespace
{

// Without a user interface an alert still has to reach someone: the terminal.
class StderrAlertPresenter : public AlertPresenter
{
public:
    void ShowAlert(const std::string& message) override { std::cerr << message << std::endl; }
    bool ShowConfirmation(const std::string& message) override
    {
        std::cerr << message << " (answered: No)" << std::endl;
        return false;
    }
};

class NullBrowserLauncher : public BrowserLauncher
{
public:
    bool OpenUrl(const std::string&) override { return false; }
};

DefaultsStore* installedStore = nullptr;
AlertPresenter* installedPresenter = nullptr;
BrowserLauncher* installedLauncher = nullptr;
NetTransport* installedTransport = nullptr;

} // namespace

DefaultsStore& PlatformHooks::GetDefaultsStore()
{
    static MemoryDefaultsStore fallback;
    return installedStore ? *installedStore : fallback;
}

void PlatformHooks::SetDefaultsStore(DefaultsStore* store)
{
    installedStore = store;
}

AlertPresenter& PlatformHooks::GetAlertPresenter()
{
    static StderrAlertPresenter fallback;
    return installedPresenter ? *installedPresenter : fallback;
}

void PlatformHooks::SetAlertPresenter(AlertPresenter* presenter)
{
    installedPresenter = presenter;
}

BrowserLauncher& PlatformHooks::GetBrowserLauncher()
{
    static NullBrowserLauncher fallback;
    return installedLauncher ? *installedLauncher : fallback;
}

void PlatformHooks::SetBrowserLauncher(BrowserLauncher* launcher)
{
    installedLauncher = launcher;
}

NetTransport* PlatformHooks::GetNetTransport()
{
    return installedTransport;
}

void PlatformHooks::SetNetTransport(NetTransport* transport)
{
    installedTransport = transport;
}
