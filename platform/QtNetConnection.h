#pragma once

#include "core/NetTransport.h"

#include <QNetworkRequest>
#include <QPointer>

#include <memory>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;
class QUrl;
class QtConnectionPool;

// One transfer of a QtConnectionPool, its QNetworkReply turned into NetConnectionClient events. It waits
// until the pool starts it on a manager of its own, and gives the manager back when it goes: kept for
// reuse when the reply had finished, deleted (closing its socket) when the transfer was cut off. Neither the
// reply nor a deleted manager goes inside one of the reply's signals: both go with deleteLater.
//
// Redirects are followed here, each by a new GET on the same manager, rather than by Qt: Qt 6.4, following
// one itself, may send the redirected GET again on the connection it kept and then mix the headers of that
// second redirect into the final response (its type and length reported as "text/plain, text/plain" and 5).
class QtNetConnection : public NetConnection
{
public:
    // Whether a URL is one that the program fetches: http or https with a host. A URL taken from a server's
    // answer must never read local files.
    static bool IsWebAddress(const QUrl& url);

    QtNetConnection(std::weak_ptr<QtConnectionPool> pool, std::string host, QNetworkRequest request,
                    NetConnectionClient* client);
    ~QtNetConnection() override;
    QtNetConnection(const QtNetConnection&) = delete;
    QtNetConnection& operator=(const QtNetConnection&) = delete;

    // Sends the request on the manager, which the connection then owns, and starts reporting the reply's
    // events to the client. False, leaving the manager where it was, when Qt makes no reply.
    bool Start(std::unique_ptr<QNetworkAccessManager>& manager);
    // The pool could not start this waiting transfer: the client hears that it failed. May destroy this.
    void Refuse();

private:
    // Sends a GET on this connection's manager and reports its reply from then on; false when Qt made none.
    bool Send(QNetworkAccessManager& on, const QNetworkRequest& get);
    void Guarded(void (QtNetConnection::*handler)());
    void OnReadyRead();
    void OnFinished();
    // Tells the client of the response once, before its first byte or its end. False when the client
    // went away while being told.
    bool ReportResponse();
    // Whether the manager's connection is fit for another transfer: the answer came to its end.
    bool Reusable() const;
    // Whether the current answer sends the request elsewhere; its body is then no part of the transfer.
    bool Redirected() const;
    // Called at the end of a redirect: sends the request on to its target, or fails when it may not go there.
    void FollowRedirect();

    std::weak_ptr<QtConnectionPool> pool;
    std::string host;
    QNetworkRequest request;
    NetConnectionClient* client;
    std::unique_ptr<QNetworkAccessManager> manager; // null while waiting
    QPointer<QNetworkReply> reply;
    bool responseReported = false;
    int redirects = 0;
    // Shared with the running handler: cleared by the destructor, so a handler whose client destroyed
    // this connection knows to stop.
    std::shared_ptr<bool> alive;
};
