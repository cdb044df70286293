#include "platform/PlatformServices.h"

#include "core/PlatformHooks.h"
#include "platform/QtAlertPresenter.h"
#include "platform/QtBrowserLauncher.h"
#include "platform/QtDefaultsStore.h"
#include "platform/QtNetTransport.h"
#include "platform/WindowActivationTracker.h"

#include <QCoreApplication>

PlatformServices::PlatformServices()
    : defaults(std::make_unique<QtDefaultsStore>())
    , windows(std::make_unique<WindowActivationTracker>())
    , alerts(std::make_unique<QtAlertPresenter>())
    , browser(std::make_unique<QtBrowserLauncher>())
    , transport(std::make_unique<QtNetTransport>())
    , quitConnection(std::make_unique<QMetaObject::Connection>())
{
    PlatformHooks::SetDefaultsStore(defaults.get());
    PlatformHooks::SetAlertPresenter(alerts.get());
    PlatformHooks::SetBrowserLauncher(browser.get());
    PlatformHooks::SetNetTransport(transport.get());
    if (QCoreApplication* app = QCoreApplication::instance())
    {
        QtDefaultsStore* store = defaults.get();
        *quitConnection = QObject::connect(app, &QCoreApplication::aboutToQuit, app, [store] { store->Synchronize(); });
    }
}

PlatformServices::~PlatformServices()
{
    QObject::disconnect(*quitConnection);
    defaults->Synchronize();
    PlatformHooks::SetNetTransport(nullptr);
    PlatformHooks::SetBrowserLauncher(nullptr);
    PlatformHooks::SetAlertPresenter(nullptr);
    PlatformHooks::SetDefaultsStore(nullptr);
}
