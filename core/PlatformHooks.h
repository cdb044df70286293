#pragma once

class AlertPresenter;
class BrowserLauncher;
class DefaultsStore;
class NetTransport;

// Where the Qt-free core finds the platform services. Each hook is a non-owning pointer set at start-up by
// the platform layer (or by a test); passing null restores the fallback. Main thread only.
class PlatformHooks
{
public:
    // A process-lifetime in-memory store while none is installed.
    static DefaultsStore& GetDefaultsStore();
    static void SetDefaultsStore(DefaultsStore* store);

    // Writes alerts to stderr and answers "No" while none is installed.
    static AlertPresenter& GetAlertPresenter();
    static void SetAlertPresenter(AlertPresenter* presenter);

    // Opens nothing and answers false while none is installed.
    static BrowserLauncher& GetBrowserLauncher();
    static void SetBrowserLauncher(BrowserLauncher* launcher);

    // Null while none is installed: NetFile::Create then fails.
    static NetTransport* GetNetTransport();
    static void SetNetTransport(NetTransport* transport);
};
