#include "platform/QtNetTransport.h"

#include "platform/QtConnectionPool.h"
#include "platform/QtNetConnection.h"

#include <QNetworkRequest>
#include <QThread>
#include <QUrl>

#include <stdexcept>

QtNetTransport::QtNetTransport(std::chrono::milliseconds idleTimeout)
    : idleTimeout(idleTimeout)
{
}

QtNetTransport::~QtNetTransport()
{
    for (auto& entry : pools)
        QObject::disconnect(entry.second.threadEnd);
}

std::unique_ptr<NetConnection> QtNetTransport::Open(const NetRequest& request, NetConnectionClient* client)
{
    // NetFile escaped the text; tolerant parsing keeps its escapes as they are.
    const QUrl url(QString::fromStdString(request.url), QUrl::TolerantMode);
    if (!QtNetConnection::IsWebAddress(url))
        throw std::runtime_error("Could not open connection.");

    QNetworkRequest httpRequest(url);
    httpRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    httpRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    httpRequest.setTransferTimeout(static_cast<int>(idleTimeout.count()));
    httpRequest.setHeader(QNetworkRequest::UserAgentHeader, QString::fromStdString(request.userAgent));
    return PoolOfThisThread().Open(httpRequest, client);
}

QtConnectionPool& QtNetTransport::PoolOfThisThread()
{
    QThread* thread = QThread::currentThread();
    std::lock_guard<std::mutex> lock(mutex);
    ThreadPool& entry = pools[thread];
    if (!entry.pool)
    {
        entry.pool = std::make_shared<QtConnectionPool>();
        // Emitted on the ending thread itself, so its pool goes where its managers live.
        entry.threadEnd = QObject::connect(
            thread, &QThread::finished, thread, [this, thread] { ThreadFinished(thread); }, Qt::DirectConnection);
    }
    return *entry.pool;
}

void QtNetTransport::ThreadFinished(QThread* thread)
{
    std::shared_ptr<QtConnectionPool> pool;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto found = pools.find(thread);
        if (found == pools.end())
            return;
        QObject::disconnect(found->second.threadEnd);
        pool = std::move(found->second.pool);
        pools.erase(found);
    }
}
