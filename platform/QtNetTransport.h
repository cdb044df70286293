#pragma once

#include "core/NetTransport.h"

#include <QMetaObject>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>

class QThread;
class QtConnectionPool;

// HTTP on QNetworkAccessManager. Transfers run on the thread that opens them, never touch a cache, follow
// redirects that do not lower security and fail after a stretch of silence (the idle time-out, never a
// limit on a long download that keeps moving).
//
// The transfers of one thread share that thread's QtConnectionPool: connections are kept alive from one
// transfer to the next (HTTP/1.1 keep-alive, TLS sessions), at most six run to one host at once, and a
// cancelled transfer's connection is closed, so that what was cancelled stops arriving.
//
// Threads: Open may be called on any thread that runs a Qt event loop. A thread's pool is made on that
// thread when it first opens a transfer, used only there, and goes there when the thread ends. The transport
// itself is destroyed on the thread that made it, once every other thread that opened transfers through it
// has ended; its going closes the connections kept for reuse: transfers still running go on to their end,
// those still waiting for a connection never start.
class QtNetTransport : public NetTransport
{
public:
    explicit QtNetTransport(std::chrono::milliseconds idleTimeout = std::chrono::seconds(60));
    ~QtNetTransport() override;
    QtNetTransport(const QtNetTransport&) = delete;
    QtNetTransport& operator=(const QtNetTransport&) = delete;

    // Throws std::runtime_error for a URL that is not a valid http or https URL.
    std::unique_ptr<NetConnection> Open(const NetRequest& request, NetConnectionClient* client) override;

private:
    struct ThreadPool
    {
        std::shared_ptr<QtConnectionPool> pool;
        QMetaObject::Connection threadEnd;
    };

    QtConnectionPool& PoolOfThisThread();
    void ThreadFinished(QThread* thread);

    std::chrono::milliseconds idleTimeout;
    std::mutex mutex; // guards pools, which threads opening their first transfer add to
    std::map<QThread*, ThreadPool> pools;
};
