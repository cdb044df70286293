#pragma once

#include "core/NetTransport.h"

#include <memory>

class QNetworkReply;

// One running QNetworkReply turned into NetConnectionClient events. The reply is never deleted inside
// one of its own signals: the connection gives it up with deleteLater.
class QtNetConnection : public NetConnection
{
public:
    // Takes ownership of the reply and starts reporting its events to the client.
    QtNetConnection(QNetworkReply* reply, NetConnectionClient* client);
    ~QtNetConnection() override;

private:
    void OnReadyRead();
    void OnFinished();
    // Tells the client of the response once, before its first byte or its end. False when the client
    // went away while being told.
    bool ReportResponse();

    QNetworkReply* reply;
    NetConnectionClient* client;
    bool responseReported = false;
    // Shared with the running handler: cleared by the destructor, so a handler whose client destroyed
    // this connection knows to stop.
    std::shared_ptr<bool> alive;
};
