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
    return QDesktopServices::openUrl(url);
}
