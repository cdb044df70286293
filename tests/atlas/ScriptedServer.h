#pragma once

// The test plays the data server over the scripted transport, which it installs for its lifetime.

#include "ScriptedTransport.h"
#include "core/PlatformHooks.h"

#include <algorithm>
#include <string>
#include <vector>

class ScriptedServer
{
public:
    ScriptedServer() { PlatformHooks::SetNetTransport(&transport); }
    ~ScriptedServer() { PlatformHooks::SetNetTransport(nullptr); }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    // The answer to the last request, in pieces of at most chunk bytes; then the transfer ends.
    void Answer(const std::string& body, std::size_t chunk = 4096)
    {
        Respond(200);
        Send(body, chunk);
        Finish();
    }
    void Respond(int status) { transport.client->ConnectionResponse(status, "application/octet-stream", 0); }
    void Send(const std::string& bytes, std::size_t chunk = 4096)
    {
        for (std::size_t at = 0; at < bytes.size() && IsOpen(); at += chunk)
            transport.client->ConnectionData(bytes.data() + at, std::min(chunk, bytes.size() - at));
    }
    void Finish() { transport.client->ConnectionFinished(); }
    void Fail(const std::string& message) { transport.client->ConnectionFailed(message); }
    bool IsOpen() const { return transport.IsOpen(); }
    std::vector<std::string> Urls() const
    {
        std::vector<std::string> urls;
        for (const NetRequest& request : transport.requests)
            urls.push_back(request.url);
        return urls;
    }

    ScriptedTransport transport;
};
