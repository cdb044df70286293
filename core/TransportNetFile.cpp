#include "core/TransportNetFile.h"

#include <new>

#include "core/OSUtils.h"
#include "core/PlatformHooks.h"
#include "core/UserPreferences.h"

#include <iostream>
#include <stdexcept>

NetFile* NetFile::Create(const std::string& url, NetEventListener* listener, bool storeData)
{
    NetTransport* transport = PlatformHooks::GetNetTransport();
    if (!transport)
        throw std::runtime_error("Could not open connection.");
    const NetRequest request{OSUtils::EscapeURL(url), UserPreferences::GetPreferences()->GetUserAgent()};
    return TransportNetFile::Start(*transport, request, listener, storeData);
}

TransportNetFile* TransportNetFile::Start(NetTransport& transport, const NetRequest& request,
                                          NetEventListener* listener, bool storeData)
{
    TransportNetFile* file = new TransportNetFile(listener, storeData);
    try
    {
        file->connection = transport.Open(request, file);
    }
    catch (const std::exception&)
    {
        file->connection.reset();
    }
    if (!file->connection)
    {
        delete file;
        throw std::runtime_error("Could not open connection.");
    }
    return file;
}

TransportNetFile::TransportNetFile(NetEventListener* listener, bool storeData)
    : listener(listener), storeData(storeData)
{
}

TransportNetFile::~TransportNetFile() = default;

void TransportNetFile::Abort()
{
    if (ended)
        return; // the last callback is running; the object goes when it returns
    ended = true;
    listener = nullptr;
    connection.reset();
    body.clear();
    body.shrink_to_fit();
    Done();
}

void TransportNetFile::Done()
{
    released = true;
    if (callbackDepth == 0)
        delete this;
}

void TransportNetFile::LeaveCallback()
{
    if (--callbackDepth == 0 && released)
        delete this;
}

void TransportNetFile::ConnectionResponse(int status, const std::string& mimeType, unsigned long expectedLength)
{
    if (ended)
        return;
    body.clear();
    if (status >= 400)
    {
        Fail("Server returned error " + std::to_string(status));
        return;
    }
    if (!listener)
        return;
    ++callbackDepth;
    try
    {
        listener->ResponseReceived(mimeType, expectedLength);
    }
    catch (const std::exception& error)
    {
        ListenerThrew(error.what());
        return;
    }
    LeaveCallback();
}

void TransportNetFile::ConnectionData(const void* data, unsigned long size)
{
    if (ended)
        return;
    if (storeData && size > 0)
    {
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        try
        {
            body.insert(body.end(), bytes, bytes + size);
        }
        catch (const std::bad_alloc&)
        {
            // A body with a chunk missing must never be reported as complete.
            Fail("Not enough memory to store the download.");
            return;
        }
    }
    if (!listener)
        return;
    ++callbackDepth;
    try
    {
        listener->DataReceived(data, size);
    }
    catch (const std::exception& error)
    {
        ListenerThrew(error.what());
        return;
    }
    LeaveCallback();
}

void TransportNetFile::ConnectionFinished()
{
    if (ended)
        return;
    ended = true;
    connection.reset();
    ++callbackDepth;
    if (listener)
    {
        // A stored empty body is still a body: point at something, so that null keeps meaning "not stored".
        static const unsigned char noBytes = 0;
        try
        {
            if (storeData)
                listener->DownloadComplete(body.empty() ? &noBytes : body.data(), body.size());
            else
                listener->DownloadComplete(nullptr, 0);
        }
        catch (const std::exception& error)
        {
            LogLostError(error.what());
        }
    }
    released = true;
    LeaveCallback();
}

void TransportNetFile::ConnectionFailed(const std::string& message)
{
    if (ended)
        return;
    Fail(message);
}

void TransportNetFile::Fail(const std::string& message)
{
    ended = true;
    connection.reset();
    ++callbackDepth;
    if (listener)
    {
        try
        {
            listener->DownloadFailed(message);
        }
        catch (const std::exception& error)
        {
            LogLostError(error.what());
        }
    }
    released = true;
    LeaveCallback();
}

void TransportNetFile::ListenerThrew(const std::string& message)
{
    // The listener could not take the data (a parse error, say): the transfer cannot usefully go on, and
    // the listener hears why through the failure it already handles. It may have aborted before throwing.
    if (ended)
    {
        LeaveCallback();
        return;
    }
    --callbackDepth;
    Fail(message);
}

void TransportNetFile::LogLostError(const std::string& message)
{
    // Nobody is left to tell after the last callback; keep the message for the log.
    std::cerr << "Network listener failed after its transfer ended: " << message << std::endl;
}
