#pragma once

#include "core/NetTransport.h"

#include <memory>
#include <stdexcept>
#include <vector>

// A transport driven by the test: it remembers the client of the last connection, and the connection
// tells through a shared flag whether NetFile has let it go.
class ScriptedTransport : public NetTransport
{
public:
    class Connection : public NetConnection
    {
    public:
        explicit Connection(std::shared_ptr<bool> open)
            : open(std::move(open))
        {
            *this->open = true;
        }
        ~Connection() override { *open = false; }

    private:
        std::shared_ptr<bool> open;
    };

    std::unique_ptr<NetConnection> Open(const NetRequest& request, NetConnectionClient* newClient) override
    {
        if (refuse)
            throw std::runtime_error("refused");
        if (refuseOddly)
            throw 7; // not a std::exception

        requests.push_back(request);
        client = newClient;
        connectionOpen = std::make_shared<bool>(false);
        return std::make_unique<Connection>(connectionOpen);
    }

    bool IsOpen() const { return connectionOpen && *connectionOpen; }

    NetConnectionClient* client = nullptr;
    std::vector<NetRequest> requests;
    std::shared_ptr<bool> connectionOpen;
    bool refuse = false;
    bool refuseOddly = false;
};
