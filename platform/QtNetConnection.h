#pragma once

#include "core/NetTransport.h"

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// One running QNetworkReply turned into NetConnectionClient events. Neither the reply nor its manager is
// deleted inside one of the reply's signals: the connection gives them up with deleteLater, and the
// manager's going closes the socket of a reply that had not finished.
class QtNetConnection : public NetConnection
{
public:
    // Takes ownership of the manager and its reply and starts reporting the reply's events to the client.
    QtNetConnection(std::unique_ptr<QNetworkAccessManager> manager, QNetworkReply* reply, NetConnectionClient* client);
    ~QtNetConnection() override;

private:
    void Guarded(void (QtNetConnection::*handler)());
    void OnReadyRead();
    void OnFinished();
    // Tells the client of the response once, before its first byte or its end. False when the client
    // went away while being told.
    bool ReportResponse();

    QNetworkAccessManager* manager;
    QNetworkReply* reply;
    NetConnectionClient* client;
    bool responseReported = false;
    // Shared with the running handler: cleared by the destructor, so a handler whose client destroyed
    // this connection knows to stop.
    std::shared_ptr<bool> alive;
};
