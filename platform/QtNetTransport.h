#pragma once

#include "core/NetTransport.h"

#include <chrono>
#include <memory>

class QNetworkAccessManager;

// HTTP on QNetworkAccessManager. Transfers run on the thread that made the transport (the main thread),
// never touch a cache, follow redirects that do not lower security and fail after a stretch of silence
// (the idle time-out, never a limit on a long download that keeps moving).
class QtNetTransport : public NetTransport
{
public:
    explicit QtNetTransport(std::chrono::milliseconds idleTimeout = std::chrono::seconds(60));
    ~QtNetTransport() override;

    // Throws std::runtime_error for a URL that is not a valid http or https URL, and when called from a
    // thread other than the transport's.
    std::unique_ptr<NetConnection> Open(const NetRequest& request, NetConnectionClient* client) override;

private:
    std::unique_ptr<QNetworkAccessManager> manager;
    std::chrono::milliseconds idleTimeout;
};
