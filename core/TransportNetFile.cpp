#include "core/TransportNetFile.h"

#include <new>

#include "core/OSUtils.h"
#include "core/PlatformHooks.h"
#include "core/UserCancelledOperationException.h"
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

namespace
{

const char* const kUnexpectedListenerError = "Unexpected error while receiving the download.";

} // namespace

TransportNetFile* TransportNetFile::Start(NetTransport& transport, const NetRequest& request,
                                          NetEventListener* listener, bool storeData)
{
    TransportNetFile* file = new TransportNetFile(listener, storeData);
    try
    {
        file->connection = transport.Open(request, file);
    }
    catch (...)
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
    : listener(listener)
    , storeData(storeData)
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

template <typename Call>
void TransportNetFile::Notify(Call&& call)
{
    if (!listener)
        return;
    ++callbackDepth;
    // Listener exceptions stop here: above this frame is the transport, and above it Qt's event loop.
    try
    {
        call();
    }
    catch (const UserCancelledOperationException&)
    {
        ListenerCancelled();
        return;
    }
    catch (const std::exception& error)
    {
        ListenerThrew(error.what());
        return;
    }
    catch (...)
    {
        ListenerThrew(kUnexpectedListenerError);
        return;
    }
    LeaveCallback();
}

template <typename Call>
void TransportNetFile::End(Call&& call)
{
    ended = true;
    connection.reset();
    ++callbackDepth;
    if (listener)
    {
        try
        {
            call();
        }
        catch (const UserCancelledOperationException&)
        {
            // The transfer is over anyway; a cancel then asks for nothing more.
        }
        catch (const std::exception& error)
        {
            LogLostError(error.what());
        }
        catch (...)
        {
            LogLostError(kUnexpectedListenerError);
        }
    }
    released = true;
    LeaveCallback();
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
    Notify([&] { listener->ResponseReceived(mimeType, expectedLength); });
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
    Notify([&] { listener->DataReceived(data, size); });
}

void TransportNetFile::ConnectionFinished()
{
    if (ended)
        return;
    End([this] {
        // A stored empty body is still a body: point at something, so that null keeps meaning "not stored".
        static const unsigned char noBytes = 0;
        if (storeData)
            listener->DownloadComplete(body.empty() ? &noBytes : body.data(), body.size());
        else
            listener->DownloadComplete(nullptr, 0);
    });
}

void TransportNetFile::ConnectionFailed(const std::string& message)
{
    if (ended)
        return;
    Fail(message);
}

void TransportNetFile::Fail(const std::string& message)
{
    End([&] { listener->DownloadFailed(message); });
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

void TransportNetFile::ListenerCancelled()
{
    // The user cancelled the work the data was for: end as an abort does, without a word to the listener.
    Abort();
    LeaveCallback();
}

void TransportNetFile::LogLostError(const std::string& message)
{
    // Nobody is left to tell after the last callback; keep the message for the log.
    std::cerr << "Network listener failed after its transfer ended: " << message << std::endl;
}
