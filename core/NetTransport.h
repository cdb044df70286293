#pragma once

#include <memory>
#include <string>

// The HTTP stack under NetFile. NetFile keeps the request rules and the callback protocol; a transport only
// moves bytes and reports what the wire did. The platform layer installs the real one; tests install fakes.

// One GET as NetFile asks for it: an escaped URL and the user agent; never cached by the transport,
// redirects followed, transfers idle for too long fail.
struct NetRequest
{
    std::string url;
    std::string userAgent;
};

// Receives the events of one connection, on the thread that opened it. Any of these calls may destroy the
// connection (and the client); a transport touches neither after calling one.
class NetConnectionClient
{
public:
    virtual ~NetConnectionClient() = default;

    // A final (non-redirect) response: its HTTP status, MIME type without parameters and announced length
    // (0 when the server gave none).
    virtual void ConnectionResponse(int status, const std::string& mimeType, unsigned long expectedLength) = 0;
    virtual void ConnectionData(const void* data, unsigned long size) = 0;
    virtual void ConnectionFinished() = 0;
    // The transfer broke off (no connection, connection lost, time-out): a message for the user.
    virtual void ConnectionFailed(const std::string& message) = 0;
};

// One open connection. Destroying it cancels the transfer without any further event.
class NetConnection
{
public:
    virtual ~NetConnection() = default;
};

class NetTransport
{
public:
    virtual ~NetTransport() = default;
    // Starts the transfer; throws std::runtime_error when the request cannot be made at all.
    virtual std::unique_ptr<NetConnection> Open(const NetRequest& request, NetConnectionClient* client) = 0;
};
