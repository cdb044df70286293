#pragma once

#include "core/NetTransport.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QNetworkAccessManager;
class QNetworkRequest;
class QtNetConnection;

// The HTTP connections of one thread, kept open between transfers. Each transfer runs alone on a
// QNetworkAccessManager taken from the pool; a transfer that ends gives its manager back, with the kept-alive
// connection (and its TLS session) in it, for the next transfer to the same host. A transfer cut off before
// its end takes its manager down instead: Qt would keep the connection of an aborted reply and drain the
// rest of its body in the background, holding one of the host's connections for as long as that takes (a
// cancelled atlas package would still arrive in full). Deleting the manager closes the socket.
//
// At most CONNECTIONS_PER_HOST transfers run at once to one host (Qt's own limit for one manager); later
// ones wait, in the order they were opened, for one of them to end. A waiting transfer has not started yet,
// so its idle time-out has not started either. It starts from the event loop, never inside the signal of the
// reply that ended before it: there the client that ends it is still on the stack, and a start that fails
// must be reported to the waiting transfer's own client, which may in turn open or end transfers.
//
// Used only on its own thread. Connections hold it weakly: those still open when it goes end there.
class QtConnectionPool : public std::enable_shared_from_this<QtConnectionPool>
{
public:
    static constexpr int CONNECTIONS_PER_HOST = 6;

    QtConnectionPool();
    virtual ~QtConnectionPool();
    QtConnectionPool(const QtConnectionPool&) = delete;
    QtConnectionPool& operator=(const QtConnectionPool&) = delete;

    // Starts the request at once or queues it. Throws std::runtime_error when Qt makes no reply.
    std::unique_ptr<NetConnection> Open(const QNetworkRequest& request, NetConnectionClient* client);

    // A running connection ends: its manager comes back, to be kept when its transfer finished.
    void Release(const std::string& host, std::unique_ptr<QNetworkAccessManager> manager, bool finished);
    // A connection that was still waiting goes.
    void Withdraw(const std::string& host, QtNetConnection* waiting);

protected:
    // A manager for a new connection.
    virtual std::unique_ptr<QNetworkAccessManager> MakeManager();

private:
    struct Host
    {
        std::vector<std::unique_ptr<QNetworkAccessManager>> idle;
        std::deque<QtNetConnection*> waiting;
        int running = 0;
        bool startPosted = false; // StartWaiting is queued on the event loop
    };

    std::unique_ptr<QNetworkAccessManager> TakeManager(Host& host);
    // Starts a connection on a manager of the host's; false, with the slot given back, when Qt made no reply.
    bool Start(Host& host, QtNetConnection& connection);
    // Asks the event loop to start the host's waiting transfers, once, when a slot is free for them.
    void PostStartWaiting(const std::string& key, Host& host);
    // Starts waiting transfers while slots are free; one that cannot start fails.
    void StartWaiting(const std::string& key);

    std::map<std::string, Host> hosts; // by scheme, host and port
};
