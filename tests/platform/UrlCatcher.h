#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

// Stands in for the web browser: QDesktopServices hands it the URLs of the schemes it was registered for.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QStringList urls;

public slots:
    void Catch(const QUrl& url) { urls.append(QString::fromUtf8(url.toEncoded())); }
};
