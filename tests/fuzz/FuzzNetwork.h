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

// How a connection answers, picked by four bits of a harness's input so that the failure paths of the
// clients are fuzzed with the rest: bits 0-1 the announced Content-Length (the body's own, none, one that
// lies above the body or one below it), bits 2-3 the ending (status 200 and finished, the connection
// failing halfway through the body, failing before any response, or an error status with the body).
// Bits of 0 answer as a good server does.
struct FuzzReply
{
    enum class Length
    {
        Exact,
        None,
        Longer,
        Shorter
    };
    enum class Ending
    {
        Finished,
        FailsInBody,
        FailsAtOnce,
        ErrorStatus
    };

    static FuzzReply FromBits(unsigned int bits)
    {
        return {static_cast<Length>(bits & 3), static_cast<Ending>(bits >> 2 & 3)};
    }

    Length length = Length::Exact;
    Ending ending = Ending::Finished;
};

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

    // Answers the last connection opened, if it is still open, as the reply says.
    void Answer(const std::uint8_t* data, std::size_t size, const std::string& mimeType, FuzzReply reply = {})
    {
        if (!IsOpen())
            return;
        const std::shared_ptr<bool> open = m_open;
        if (reply.ending == FuzzReply::Ending::FailsAtOnce)
        {
            m_client->ConnectionFailed("Could not connect to the server.");
            return;
        }
        const int status = reply.ending == FuzzReply::Ending::ErrorStatus ? 404 : 200;
        m_client->ConnectionResponse(status, mimeType, AnnouncedLength(reply.length, size));
        const std::size_t sent = reply.ending == FuzzReply::Ending::FailsInBody ? size / 2 : size;
        FeedInRandomChunks(data, sent, [&](const char* chunk, std::size_t length) {
            if (*open)
                m_client->ConnectionData(chunk, length);
            return *open;
        });
        if (!*open)
            return;
        if (reply.ending == FuzzReply::Ending::FailsInBody)
            m_client->ConnectionFailed("The network connection was lost.");
        else
            m_client->ConnectionFinished();
    }

    bool IsOpen() const { return m_open && *m_open; }

    std::string lastUrl;

private:
    // An announced length of 0 stands for none.
    static unsigned long AnnouncedLength(FuzzReply::Length length, std::size_t size)
    {
        switch (length)
        {
        case FuzzReply::Length::None:
            return 0;
        case FuzzReply::Length::Longer:
            return static_cast<unsigned long>(size + size / 2 + 1);
        case FuzzReply::Length::Shorter:
            return static_cast<unsigned long>(size / 2);
        default:
            return static_cast<unsigned long>(size);
        }
    }

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
