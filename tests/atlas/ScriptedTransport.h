#pragma once

// An HTTP transport that the test drives: it records each request and lets the test play the server's
// part for the last connection opened.

#include "core/NetTransport.h"
#include "core/PlatformHooks.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class ScriptedTransport : public NetTransport
{
public:
    ScriptedTransport() { PlatformHooks::SetNetTransport(this); }
    ~ScriptedTransport() override { PlatformHooks::SetNetTransport(nullptr); }
    ScriptedTransport(const ScriptedTransport&) = delete;
    ScriptedTransport& operator=(const ScriptedTransport&) = delete;

    std::unique_ptr<NetConnection> Open(const NetRequest& request, NetConnectionClient* newClient) override
    {
        if (refuse)
            throw std::runtime_error("refused");
        urls.push_back(request.url);
        client = newClient;
        open = std::make_shared<bool>(true);
        return std::make_unique<Connection>(open);
    }

    // The server's answer, in pieces of at most chunk bytes; then the transfer ends.
    void Answer(const std::string& body, std::size_t chunk = 4096)
    {
        Respond(200);
        Send(body, chunk);
        Finish();
    }
    void Respond(int status) { client->ConnectionResponse(status, "application/octet-stream", 0); }
    void Send(const std::string& bytes, std::size_t chunk = 4096)
    {
        for (std::size_t at = 0; at < bytes.size() && IsOpen(); at += chunk)
            client->ConnectionData(bytes.data() + at, std::min(chunk, bytes.size() - at));
    }
    void Finish() { client->ConnectionFinished(); }
    void Fail(const std::string& message) { client->ConnectionFailed(message); }
    bool IsOpen() const { return open && *open; }

    std::vector<std::string> urls;
    NetConnectionClient* client = nullptr;
    bool refuse = false;

private:
    class Connection : public NetConnection
    {
    public:
        explicit Connection(std::shared_ptr<bool> open)
            : m_open(std::move(open))
        {
        }
        ~Connection() override { *m_open = false; }

    private:
        std::shared_ptr<bool> m_open;
    };

    std::shared_ptr<bool> open;
};
