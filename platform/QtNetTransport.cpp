#include "platform/QtNetTransport.h"

#include "platform/QtNetConnection.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <stdexcept>

QtNetTransport::QtNetTransport(std::chrono::milliseconds idleTimeout)
    : idleTimeout(idleTimeout)
{
}

QtNetTransport::~QtNetTransport() = default;

std::unique_ptr<NetConnection> QtNetTransport::Open(const NetRequest& request, NetConnectionClient* client)
{
    // NetFile escaped the text; tolerant parsing keeps its escapes as they are.
    const QUrl url(QString::fromStdString(request.url), QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    // Only web addresses: a URL taken from a server's answer must not read local files.
    if (!url.isValid() || (scheme != "http" && scheme != "https") || url.host().isEmpty())
        throw std::runtime_error("Could not open connection.");

    QNetworkRequest httpRequest(url);
    httpRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    httpRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    httpRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    httpRequest.setTransferTimeout(static_cast<int>(idleTimeout.count()));
    httpRequest.setHeader(QNetworkRequest::UserAgentHeader, QString::fromStdString(request.userAgent));

    auto manager = std::make_unique<QNetworkAccessManager>();
    manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = manager->get(httpRequest);
    if (!reply)
        throw std::runtime_error("Could not open connection.");
    return std::make_unique<QtNetConnection>(std::move(manager), reply, client);
}
