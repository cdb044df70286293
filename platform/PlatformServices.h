#pragma once

#include <QMetaObject>

#include <memory>

class QtAlertPresenter;
class QtBrowserLauncher;
class QtDefaultsStore;
class QtNetTransport;
class WindowActivationTracker;

// The Qt implementations of the core's platform hooks: the settings file, dialogs, the browser and HTTP, and
// the window activations that the dialogs follow. Made once at start-up, after the QApplication (or
// QCoreApplication) and on its thread; installs itself on construction and uninstalls (synchronising the
// settings) on destruction, so it must die before the application object. Quitting the application also
// synchronises the settings.
class PlatformServices
{
public:
    PlatformServices();
    ~PlatformServices();
    PlatformServices(const PlatformServices&) = delete;
    PlatformServices& operator=(const PlatformServices&) = delete;

    QtDefaultsStore& GetDefaultsStore() { return *defaults; }

private:
    std::unique_ptr<QtDefaultsStore> defaults;
    std::unique_ptr<WindowActivationTracker> windows;
    std::unique_ptr<QtAlertPresenter> alerts;
    std::unique_ptr<QtBrowserLauncher> browser;
    std::unique_ptr<QtNetTransport> transport;
    std::unique_ptr<QMetaObject::Connection> quitConnection;
};
