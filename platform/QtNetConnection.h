#pragma once

#include "core/NetTransport.h"

#include <QNetworkRequest>
#include <QPointer>

#include <memory>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;
class QtConnectionPool;

// One transfer of a QtConnectionPool, its QNetworkReply turned into NetConnectionClient events. It waits
// until the pool starts it on a manager of its own, and gives the manager back when it goes: kept for
// reuse when the reply had finished, deleted (closing its socket) when the transfer was cut off. Neither the
// reply nor a deleted manager goes inside one of the reply's signals: both go with deleteLater.
class QtNetConnection : public NetConnection
{
public:
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
    void Guarded(void (QtNetConnection::*handler)());
    void OnReadyRead();
    void OnFinished();
    // Tells the client of the response once, before its first byte or its end. False when the client
    // went away while being told.
    bool ReportResponse();
    // Whether the manager's connection is fit for another transfer: the answer came to its end.
    bool Reusable() const;

    std::weak_ptr<QtConnectionPool> pool;
    std::string host;
    QNetworkRequest request;
    NetConnectionClient* client;
    std::unique_ptr<QNetworkAccessManager> manager; // null while waiting
    QPointer<QNetworkReply> reply;
    bool responseReported = false;
    // Shared with the running handler: cleared by the destructor, so a handler whose client destroyed
    // this connection knows to stop.
    std::shared_ptr<bool> alive;
};
