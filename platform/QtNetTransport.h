#pragma once

#include "core/NetTransport.h"

#include <chrono>
#include <memory>

// HTTP on QNetworkAccessManager. Transfers run on the thread that opens them, never touch a cache, follow
// redirects that do not lower security and fail after a stretch of silence (the idle time-out, never a
// limit on a long download that keeps moving).
//
// Every transfer has a manager of its own. An aborted reply of a shared manager keeps its connection and
// goes on draining the body in the background (a cancelled atlas package would still arrive in full);
// only tearing its manager down closes the socket.
class QtNetTransport : public NetTransport
{
public:
    explicit QtNetTransport(std::chrono::milliseconds idleTimeout = std::chrono::seconds(60));
    ~QtNetTransport() override;

    // Throws std::runtime_error for a URL that is not a valid http or https URL.
    std::unique_ptr<NetConnection> Open(const NetRequest& request, NetConnectionClient* client) override;

private:
    std::chrono::milliseconds idleTimeout;
};
