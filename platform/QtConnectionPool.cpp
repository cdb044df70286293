#include "platform/QtConnectionPool.h"

#include "platform/QtNetConnection.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace
{

std::string HostKey(const QUrl& url)
{
    const int port = url.port(url.scheme().toLower() == "https" ? 443 : 80);
    return url.scheme().toLower().toStdString() + "://" + url.host().toStdString() + ":" + std::to_string(port);
}

void DeleteManager(std::unique_ptr<QNetworkAccessManager> manager)
{
    // Never at once: the manager's own reply may be in the middle of a signal.
    manager.release()->deleteLater();
}

} // namespace

QtConnectionPool::QtConnectionPool() = default;

QtConnectionPool::~QtConnectionPool()
{
    // The kept managers go with the pool, closing their connections; one living on another thread (the
    // pool outlived it) is handed to that thread rather than deleted from here.
    for (auto& entry : hosts)
    {
        for (std::unique_ptr<QNetworkAccessManager>& manager : entry.second.idle)
        {
            if (manager->thread() != QThread::currentThread())
                DeleteManager(std::move(manager));
        }
    }
}

std::unique_ptr<NetConnection> QtConnectionPool::Open(const QNetworkRequest& request, NetConnectionClient* client)
{
    const std::string key = HostKey(request.url());
    Host& host = hosts[key];
    auto connection = std::make_unique<QtNetConnection>(weak_from_this(), key, request, client);
    // Behind those already waiting even when a slot has just come free: their start is on its way.
    if (host.running >= CONNECTIONS_PER_HOST || !host.waiting.empty())
        host.waiting.push_back(connection.get());
    else if (!Start(host, *connection))
        throw std::runtime_error("Could not open connection.");
    return connection;
}

void QtConnectionPool::Release(const std::string& key, std::unique_ptr<QNetworkAccessManager> manager, bool finished)
{
    Host& host = hosts[key];
    --host.running;
    if (finished)
        host.idle.push_back(std::move(manager));
    else
        DeleteManager(std::move(manager));
    PostStartWaiting(key, host);
}

void QtConnectionPool::PostStartWaiting(const std::string& key, Host& host)
{
    if (host.waiting.empty() || host.running >= CONNECTIONS_PER_HOST || host.startPosted)
        return;
    host.startPosted = true;
    // Runs on this thread's event loop; a pool gone by then has no transfers left to start.
    QTimer::singleShot(0, [weakPool = weak_from_this(), key] {
        if (const std::shared_ptr<QtConnectionPool> pool = weakPool.lock())
            pool->StartWaiting(key);
    });
}

void QtConnectionPool::StartWaiting(const std::string& key)
{
    Host& host = hosts[key]; // hosts are never erased: the reference outlives what the clients below do
    host.startPosted = false;
    while (!host.waiting.empty() && host.running < CONNECTIONS_PER_HOST)
    {
        QtNetConnection* next = host.waiting.front();
        host.waiting.pop_front();
        bool started = false;
        try
        {
            started = Start(host, *next);
        }
        catch (const std::exception&)
        {
            // Out of memory, say: this transfer fails like one that Qt would not start, the loop goes on.
        }
        if (!started)
            next->Refuse(); // may destroy it, and open or end other transfers of this host
    }
}

void QtConnectionPool::Withdraw(const std::string& key, QtNetConnection* waiting)
{
    std::deque<QtNetConnection*>& queue = hosts[key].waiting;
    queue.erase(std::remove(queue.begin(), queue.end(), waiting), queue.end());
}

bool QtConnectionPool::Start(Host& host, QtNetConnection& connection)
{
    std::unique_ptr<QNetworkAccessManager> manager = TakeManager(host);
    if (!connection.Start(manager))
    {
        host.idle.push_back(std::move(manager));
        return false;
    }
    ++host.running;
    return true;
}

std::unique_ptr<QNetworkAccessManager> QtConnectionPool::TakeManager(Host& host)
{
    if (!host.idle.empty())
    {
        std::unique_ptr<QNetworkAccessManager> manager = std::move(host.idle.back());
        host.idle.pop_back();
        return manager;
    }
    return MakeManager();
}

std::unique_ptr<QNetworkAccessManager> QtConnectionPool::MakeManager()
{
    return std::make_unique<QNetworkAccessManager>();
}
