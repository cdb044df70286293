#pragma once

#include "core/NetTransport.h"
#include "core/PlatformHooks.h"
#include "tests/fuzz/FuzzChunks.h"
#include "tests/fuzz/FuzzSettings.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// The network of a harness: every request opens a connection that the harness then answers with its input,
// status line first, the body in chunks of random sizes. The client may end the connection inside any
// call it receives; the answer stops there, as a real transport's would.
class FuzzNetwork : public NetTransport
{
public:
    FuzzNetwork()
    {
        FuzzSettings();
        PlatformHooks::SetNetTransport(this);
    }
    ~FuzzNetwork() override { PlatformHooks::SetNetTransport(nullptr); }
    FuzzNetwork(const FuzzNetwork&) = delete;
    FuzzNetwork& operator=(const FuzzNetwork&) = delete;

    std::unique_ptr<NetConnection> Open(const NetRequest& request, NetConnectionClient* client) override
    {
        lastUrl = request.url;
        m_client = client;
        m_open = std::make_shared<bool>(true);
        return std::make_unique<Connection>(m_open);
    }

    // Answers the last connection opened, if it is still open. An announced length of 0 stands for none.
    void Answer(const std::uint8_t* data, std::size_t size, const std::string& mimeType, bool announceLength = true)
    {
        if (!IsOpen())
            return;
        const std::shared_ptr<bool> open = m_open;
        m_client->ConnectionResponse(200, mimeType, announceLength ? size : 0);
        FeedInRandomChunks(data, size, [&](const char* chunk, std::size_t length) {
            if (*open)
                m_client->ConnectionData(chunk, length);
            return *open;
        });
        if (*open)
            m_client->ConnectionFinished();
    }

    bool IsOpen() const { return m_open && *m_open; }

    std::string lastUrl;

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

    NetConnectionClient* m_client = nullptr;
    std::shared_ptr<bool> m_open;
};
