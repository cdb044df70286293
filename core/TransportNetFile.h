#pragma once

#include "core/NetFile.h"
#include "core/NetTransport.h"

#include <memory>
#include <vector>

// The NetFile of this program: keeps the callback protocol (order, failure on error statuses, stored body,
// self-deletion) over whatever NetTransport is installed.
//
// Deletion is deferred while a listener call is running, so that a listener may abort (or even spin a
// nested event loop) inside a callback: the object goes away only once no call of its own is on the stack.
class TransportNetFile final : public NetFile, private NetConnectionClient
{
public:
    // Opens the connection; throws std::runtime_error "Could not open connection." and leaves nothing
    // behind when the transport cannot.
    static TransportNetFile* Start(NetTransport& transport, const NetRequest& request, NetEventListener* listener,
                                   bool storeData);

    void Abort() override;

protected:
    void Done() override;

private:
    TransportNetFile(NetEventListener* listener, bool storeData);
    ~TransportNetFile() override;

    void ConnectionResponse(int status, const std::string& mimeType, unsigned long expectedLength) override;
    void ConnectionData(const void* data, unsigned long size) override;
    void ConnectionFinished() override;
    void ConnectionFailed(const std::string& message) override;

    // Calls the listener, if any, while the transfer goes on; a call that throws ends the transfer.
    template <typename Call>
    void Notify(Call&& call);
    // Ends the transfer with a last call to the listener, if any; nobody is left to hear if that throws.
    template <typename Call>
    void End(Call&& call);
    void Fail(const std::string& message);
    // A listener threw out of ResponseReceived or DataReceived: the transfer ends in DownloadFailed.
    void ListenerThrew(const std::string& message);
    // A listener threw UserCancelledOperationException there: the transfer ends as if aborted.
    void ListenerCancelled();
    static void LogLostError(const std::string& message);
    // Ends a listener call; deletes the object when it was released during the call.
    void LeaveCallback();

    NetEventListener* listener;
    std::unique_ptr<NetConnection> connection;
    std::vector<unsigned char> body;
    bool storeData;
    int callbackDepth = 0;
    bool ended = false;    // the last callback was made or the transfer was aborted
    bool released = false; // delete as soon as no callback is running
};
