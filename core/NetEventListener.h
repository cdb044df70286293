#pragma once

#include <string>

// Receives the events of one NetFile on the thread that created it: ResponseReceived and DataReceived any
// number of times, then exactly one of DownloadComplete and DownloadFailed. Bytes are valid only during
// the call. A listener may delete itself inside DownloadComplete or DownloadFailed.
class NetEventListener
{
public:
    virtual ~NetEventListener() = default;
    // The whole body when the transfer stores it, else (nullptr, 0).
    virtual void DownloadComplete(const void* data, unsigned long size) = 0;
    virtual void DownloadFailed(const std::string& message) = 0;
    // expectedLength is 0 when the server announced none.
    virtual void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) = 0;
    virtual void DataReceived(const void* data, unsigned long size) = 0;
};
