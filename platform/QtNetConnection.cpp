#include "platform/QtNetConnection.h"

#include "platform/QtConnectionPool.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <iostream>

namespace
{

// A failure's message with the server it came from, host and port, unless the message names it already.
std::string NamingServer(const QString& message, const QUrl& url)
{
    // Qt's socket errors ("Connection refused", "Connection closed") do not say where they happened; the
    // user needs the server to know which of several may be down.
    if (url.host().isEmpty() || message.contains(url.host(), Qt::CaseInsensitive))
        return message.toStdString();
    const int port = url.port(url.scheme().toLower() == "https" ? 443 : 80);
    // An IPv6 address in brackets, as its URL writes it: "[::1]:8470", not "::1:8470".
    const QString host = url.host().contains(':') ? '[' + url.host() + ']' : url.host();
    return (message + " (" + host + ':' + QString::number(port) + ')').toStdString();
}

} // namespace

QtNetConnection::QtNetConnection(std::weak_ptr<QtConnectionPool> pool, std::string host, QNetworkRequest request,
                                 NetConnectionClient* client)
    : pool(std::move(pool))
    , host(std::move(host))
    , request(std::move(request))
    , client(client)
    , alive(std::make_shared<bool>(true))
{
    this->request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
}

bool QtNetConnection::IsWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == "http" || scheme == "https") && !url.host().isEmpty();
}

QtNetConnection::~QtNetConnection()
{
    *alive = false;
    const std::shared_ptr<QtConnectionPool> owner = pool.lock();
    if (!manager)
    {
        if (owner)
            owner->Withdraw(host, this);
        return;
    }
    const bool reusable = Reusable();
    if (reply)
    {
        // Not abort(): Qt's network thread may already have queued the reply's own end (the error of a 4xx
        // answer, say), and an abort before it arrives makes Qt report a second error and warn. Deleting the
        // reply stops its transfer just as well, and drops whatever is still queued for it.
        QObject::disconnect(reply, nullptr, nullptr, nullptr);
        reply->deleteLater();
    }
    if (owner)
        owner->Release(host, std::move(manager), reusable);
    else
        manager.release()->deleteLater();
}

bool QtNetConnection::Start(std::unique_ptr<QNetworkAccessManager>& from)
{
    if (!Send(*from, request))
        return false;
    manager = std::move(from);
    return true;
}

bool QtNetConnection::Send(QNetworkAccessManager& on, const QNetworkRequest& get)
{
    QNetworkReply* started = on.get(get);
    if (!started)
        return false;
    reply = started;
    // The reply is the context object: once it is disconnected in the destructor, no handler runs again.
    QObject::connect(started, &QNetworkReply::readyRead, started, [this] { Guarded(&QtNetConnection::OnReadyRead); });
    QObject::connect(started, &QNetworkReply::finished, started, [this] { Guarded(&QtNetConnection::OnFinished); });
    return true;
}

void QtNetConnection::Refuse()
{
    client->ConnectionFailed("Could not open connection.");
}

bool QtNetConnection::Reusable() const
{
    if (!reply || !reply->isFinished())
        return false;
    // Errors of the content (4xx) or of the server (5xx) came with a whole answer; connection and protocol
    // errors, the idle time-out among them, leave the connection in no known state.
    const int error = reply->error();
    return error == QNetworkReply::NoError || (error >= QNetworkReply::ContentAccessDenied && error < 300) ||
           (error >= QNetworkReply::InternalServerError && error < 500);
}

void QtNetConnection::Guarded(void (QtNetConnection::*handler)())
{
    // No exception may unwind through Qt's signal delivery; the client has already turned the listener's
    // own into failures or cancels, so what arrives here is exhaustion of some kind.
    try
    {
        (this->*handler)();
    }
    catch (const std::exception& error)
    {
        std::cerr << "Network transfer error: " << error.what() << std::endl;
    }
    catch (...)
    {
        std::cerr << "Network transfer error of an unknown kind." << std::endl;
    }
}

bool QtNetConnection::Redirected() const
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    return redirect && reply->hasRawHeader("Location");
}

void QtNetConnection::FollowRedirect()
{
    const QUrl from = reply->url();
    const QUrl target = from.resolved(QUrl::fromEncoded(reply->rawHeader("Location"), QUrl::TolerantMode));
    if (++redirects > request.maximumRedirectsAllowed())
    {
        client->ConnectionFailed("Too many redirects.");
        return;
    }
    // Never from an encrypted address to a plain one.
    if (!IsWebAddress(target) || (from.scheme().toLower() == "https" && target.scheme().toLower() != "https"))
    {
        client->ConnectionFailed("Redirected to an address that may not be followed.");
        return;
    }
    QNetworkReply* ended = reply;
    QObject::disconnect(ended, nullptr, nullptr, nullptr);
    ended->deleteLater(); // this runs inside its finished signal
    QNetworkRequest next(request);
    next.setUrl(target);
    if (!Send(*manager, next))
        client->ConnectionFailed("Could not open connection.");
}

bool QtNetConnection::ReportResponse()
{
    if (responseReported)
        return true;
    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusAttribute.isValid())
        return true; // no HTTP response at all: the end reports the failure
    responseReported = true;
    const int status = statusAttribute.toInt();
    std::string mimeType = reply->header(QNetworkRequest::ContentTypeHeader).toString().toStdString();
    mimeType = mimeType.substr(0, mimeType.find(';'));
    while (!mimeType.empty() && mimeType.back() == ' ')
        mimeType.pop_back();
    bool known = false;
    const qulonglong length = reply->header(QNetworkRequest::ContentLengthHeader).toULongLong(&known);
    const std::shared_ptr<bool> stillAlive = alive;
    client->ConnectionResponse(status, mimeType, known ? static_cast<unsigned long>(length) : 0UL);
    return *stillAlive;
}

void QtNetConnection::OnReadyRead()
{
    if (Redirected())
    {
        reply->readAll(); // a note for browsers, no part of the answer
        return;
    }
    if (!ReportResponse())
        return;
    const QByteArray chunk = reply->readAll();
    if (chunk.isEmpty())
        return;
    client->ConnectionData(chunk.constData(), static_cast<unsigned long>(chunk.size()));
}

void QtNetConnection::OnFinished()
{
    if (reply->error() == QNetworkReply::NoError && Redirected())
    {
        FollowRedirect();
        return;
    }
    // Bytes that arrived together with the end have not been read yet.
    if (reply->bytesAvailable() > 0)
    {
        const std::shared_ptr<bool> stillAlive = alive;
        OnReadyRead();
        if (!*stillAlive)
            return;
    }
    if (!ReportResponse())
        return;
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::NoError)
    {
        client->ConnectionFinished();
        return;
    }
    // Our own cancellation never gets here (the handlers are disconnected first), so a cancel is the
    // idle time-out.
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
    {
        client->ConnectionFailed("The request timed out.");
        return;
    }
    client->ConnectionFailed(NamingServer(reply->errorString(), reply->url()));
}
