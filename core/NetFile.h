#pragma once

#include "core/NetEventListener.h"

#include <string>

// One asynchronous HTTP GET. The transfer owns itself: it deletes itself after its last callback, or at
// Abort, so a caller keeps the pointer only to abort and forgets it on DownloadComplete or DownloadFailed.
class NetFile
{
public:
    // Starts the transfer at once: the URL percent-escaped, no caching, the settings' user agent, a 60 s
    // idle time-out, redirects followed. A status of 400 or more ends in DownloadFailed("Server returned
    // error N") without ResponseReceived. With storeData the body is collected for DownloadComplete.
    // An exception thrown by the listener out of ResponseReceived or DataReceived ends the transfer: a
    // UserCancelledOperationException as Abort does (no further callback), anything else in DownloadFailed
    // (with the message of a std::exception). Throws std::runtime_error "Could not open connection." when the
    // request cannot be made.
    static NetFile* Create(const std::string& url, NetEventListener* listener, bool storeData);

    // Cancels the transfer and deletes it; no callback follows. Allowed inside ResponseReceived and
    // DataReceived, not after the last callback.
    virtual void Abort() = 0;

protected:
    virtual ~NetFile() = default;
    // Deletes the transfer once its last callback is over.
    virtual void Done() = 0;
};
