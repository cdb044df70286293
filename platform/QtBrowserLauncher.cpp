#include "platform/QtBrowserLauncher.h"

#include <QByteArray>
#include <QDesktopServices>
#include <QUrl>

bool QtBrowserLauncher::OpenUrl(const std::string& escapedUrl)
{
    // The text is escaped already: read it as encoded so that no escape is decoded or doubled.
    const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(escapedUrl), QUrl::TolerantMode);
    if (!url.isValid() || url.isEmpty())
        return false;
    // Links come from atlas files and server answers: only web pages go to the browser, never a local file
    // or another scheme, which the desktop would hand to whatever program is registered for it.
    const QString scheme = url.scheme().toLower();
    if (scheme != "http" && scheme != "https")
        return false;
    return QDesktopServices::openUrl(url);
}
