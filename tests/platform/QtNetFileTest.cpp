#include "core/MemoryDefaultsStore.h"
#include "core/NetFile.h"
#include "core/PlatformHooks.h"
#include "core/UserCancelledOperationException.h"
#include "core/UserPreferences.h"
#include "platform/QtConnectionPool.h"
#include "platform/QtNetTransport.h"

#include "EventLoopSupport.h"
#include "LoopbackServer.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTcpServer>
#include <QUrl>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace
{

// Keeps every event in order; the body is the concatenation of the chunks.
class RecordingListener : public NetEventListener
{
public:
    void DownloadComplete(const void* data, unsigned long size) override
    {
        events.push_back("complete");
        completeWasNull = data == nullptr;
        if (data)
            stored.assign(static_cast<const char*>(data), size);
        storedSize = size;
        ended = true;
        if (onEnd)
            onEnd();
    }
    void DownloadFailed(const std::string& text) override
    {
        events.push_back("failed");
        message = text;
        ended = true;
        if (onEnd)
            onEnd();
    }
    void ResponseReceived(const std::string& type, unsigned long length) override
    {
        events.push_back("response");
        mimeType = type;
        expectedLength = length;
        if (onResponse)
            onResponse();
    }
    void DataReceived(const void* data, unsigned long size) override
    {
        if (events.empty() || events.back() != "data")
            events.push_back("data");
        ++chunks;
        received.append(static_cast<const char*>(data), size);
        if (onData)
            onData();
    }

    std::vector<std::string> events; // runs of data collapsed into one entry
    std::string mimeType, received, stored, message;
    unsigned long expectedLength = 99999, storedSize = 0;
    int chunks = 0;
    bool completeWasNull = false;
    bool ended = false;
    std::function<void()> onEnd, onResponse, onData;
};

using Events = std::vector<std::string>;

class QtNetFileTest : public ::testing::Test
{
protected:
    QtNetFileTest()
    {
        PlatformHooks::SetDefaultsStore(&store);
        UserPreferences::ResetPreferences();
        InstallTransport(std::chrono::seconds(60));
    }
    ~QtNetFileTest() override
    {
        RunEventsFor(20); // lets deferred deletions of finished replies happen before the transport goes
        PlatformHooks::SetNetTransport(nullptr);
        UserPreferences::ResetPreferences();
        PlatformHooks::SetDefaultsStore(nullptr);
    }

    void InstallTransport(std::chrono::milliseconds idleTimeout)
    {
        PlatformHooks::SetNetTransport(nullptr);
        transport = std::make_unique<QtNetTransport>(idleTimeout);
        PlatformHooks::SetNetTransport(transport.get());
    }

    bool Finish(RecordingListener& listener)
    {
        return RunEventsUntil([&] { return listener.ended; }, 10000);
    }

    MemoryDefaultsStore store;
    std::unique_ptr<QtNetTransport> transport;
    LoopbackServer server;
    RecordingListener listener;
};

// A body is streamed and stored whole, with the type and the length that the answer announces (0 where it
// announces none). A redirect is followed as one transfer: the request sent once, on to its target with the
// same headers, and only the answer at the end reported.
TEST_F(QtNetFileTest, BodiesArriveWithTheirTypeAndLength)
{
    const struct
    {
        const char* path;
        const char* mimeType;
        unsigned long length;
        const char* body;
    } cases[] = {
        {"/len", "text/plain", 11, "hello world"},
        {"/chunked", "application/xml", 0, "alphabetagamma"},
        {"/nolength", "", 0, "until the end"},
        {"/redirect", "text/plain", 11, "hello world"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.path);
        // Connections of their own: Qt may send a GET again on a kept connection that the server has closed, as
        // HTTP allows, and the requests are counted here.
        RunEventsFor(20);
        InstallTransport(std::chrono::seconds(60));
        const std::size_t before = server.Requests().size();
        RecordingListener got;
        NetFile::Create(server.Url(c.path), &got, true);
        ASSERT_TRUE(Finish(got));
        RunEventsFor(30); // nothing may follow the end
        EXPECT_EQ((Events{"response", "data", "complete"}), got.events);
        EXPECT_EQ(c.mimeType, got.mimeType);
        EXPECT_EQ(c.length, got.expectedLength);
        EXPECT_EQ(c.body, got.received);
        EXPECT_EQ(c.body, got.stored);
        EXPECT_EQ(std::string(c.body).size(), got.storedSize);
        // Qt sends a GET again, on a new connection, when it takes the close that ends an answer for a
        // connection lost before the answer came, as HTTP allows for a GET: counted once, as the program
        // reported one transfer (above).
        const auto requests = server.Requests();
        std::vector<LoopbackServer::Request> sent;
        std::string seen;
        for (std::size_t i = before; i < requests.size(); ++i)
        {
            seen += " " + requests[i].target + " on " + std::to_string(requests[i].connection);
            if (sent.empty() || sent.back().target != requests[i].target ||
                sent.back().connection == requests[i].connection)
                sent.push_back(requests[i]);
        }
        const bool redirected = std::string(c.path) == "/redirect";
        ASSERT_EQ(redirected ? 2u : 1u, sent.size()) << seen;
        EXPECT_EQ(c.path, sent[0].target);
        if (redirected)
        {
            EXPECT_EQ("/len", sent[1].target);
            EXPECT_EQ(sent[0].headers.at("user-agent"), sent[1].headers.at("user-agent"));
        }
    }
}

TEST_F(QtNetFileTest, LargeBodyArrivesIntactWithoutBeingStored)
{
    NetFile::Create(server.Url("/big?n=3000000"), &listener, false);
    ASSERT_TRUE(Finish(listener));
    EXPECT_EQ((Events{"response", "data", "complete"}), listener.events);
    EXPECT_TRUE(listener.completeWasNull);
    EXPECT_EQ(0u, listener.storedSize);
    EXPECT_EQ(3000000u, listener.expectedLength);
    ASSERT_EQ(3000000u, listener.received.size());
    bool intact = true;
    for (std::size_t i = 0; i < listener.received.size() && intact; ++i)
        intact = listener.received[i] == static_cast<char>('a' + i % 26);
    EXPECT_TRUE(intact);
}

// A transfer that cannot come to a good end fails once, and nothing follows: error statuses (also at the end
// of a redirect), redirects where they may not go or that go round, connections cut off or refused.
TEST_F(QtNetFileTest, FailuresAreReportedOnce)
{
    // A port that nobody listens on: the server's own port after it has gone.
    std::string refused, goneAddress;
    {
        LoopbackServer gone;
        refused = gone.Url("/len");
        goneAddress = gone.Url("").substr(std::string("http://").size());
    }
    // A socket error says nothing of where it happened: the server is named after Qt's text.
    const std::string refusedMessage = "Connection refused (" + goneAddress + ")";
    // An IPv6 server is named as its URL writes it, in brackets.
    const std::string gonePort = goneAddress.substr(goneAddress.rfind(':'));
    const std::string refusedV6Message = "Connection refused ([::1]" + gonePort + ")";
    const struct
    {
        std::string url;
        const char* message; // null: any
        bool announced;      // a response may come before the failure
    } cases[] = {
        {server.Url("/status/404"), "Server returned error 404", false},
        {server.Url("/status/500"), "Server returned error 500", false},
        {server.Url("/status/400"), "Server returned error 400", false},
        {server.Url("/redirect?to=/status/404"), "Server returned error 404", false},
        {server.Url("/redirect?to=file:///etc/passwd"), "Redirected to an address that may not be followed.", false},
        {server.Url("/loop"), "Too many redirects.", false},
        {server.Url("/close"), nullptr, false},
        {server.Url("/truncated"), nullptr, true},
        {refused, refusedMessage.c_str(), false},
        {"http://[::1]" + gonePort + "/len", refusedV6Message.c_str(), false},
    };
    // Containers often have no IPv6 loopback, where a connection to it fails otherwise than refused.
    const bool ipv6Loopback = QTcpServer().listen(QHostAddress::LocalHostIPv6, 0);
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.url);
        if (!ipv6Loopback && c.url.find("[::1]") != std::string::npos)
        {
            std::cout << "Row " << c.url << " left out: this machine has no IPv6 loopback (::1)." << std::endl;
            continue;
        }
        RecordingListener failed;
        NetFile::Create(c.url, &failed, true);
        ASSERT_TRUE(Finish(failed));
        RunEventsFor(30); // nothing may follow the failure
        if (c.announced)
            EXPECT_EQ("failed", failed.events.back());
        else
            EXPECT_EQ(Events{"failed"}, failed.events);
        if (c.message)
            EXPECT_EQ(c.message, failed.message);
        else
            EXPECT_FALSE(failed.message.empty());
    }
}

TEST_F(QtNetFileTest, RequestCarriesUserAgentAndEscapedURL)
{
    NetFile::Create(server.Url("/len?term=sonic hedgehog&name=g\xC3\xA8ne&path=a%2Fb"), &listener, true);
    ASSERT_TRUE(Finish(listener));
    const auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/len?term=sonic%20hedgehog&name=g%C3%A8ne&path=a%2Fb", requests[0].target);
    EXPECT_EQ(UserPreferences::GetPreferences()->GetUserAgent(), requests[0].headers.at("user-agent"));
    EXPECT_EQ(0u, UserPreferences::GetPreferences()->GetUserAgent().find("Corvane/"));
    // Nothing cached, so nothing revalidated.
    EXPECT_EQ(0u, requests[0].headers.count("if-modified-since"));
    EXPECT_EQ(0u, requests[0].headers.count("if-none-match"));
}

TEST_F(QtNetFileTest, AbortInsideDataReceivedEndsEverything)
{
    NetFile* file = NetFile::Create(server.Url("/trickle"), &listener, true);
    listener.onData = [&] {
        if (listener.received.size() >= 300 && file)
        {
            file->Abort();
            file = nullptr;
        }
    };
    ASSERT_TRUE(RunEventsUntil([&] { return file == nullptr; }, 10000));
    const std::size_t receivedAtAbort = listener.received.size();
    EXPECT_TRUE(RunEventsUntil([&] { return server.ClientHangUps() > 0; }, 5000));
    RunEventsFor(100);
    EXPECT_EQ((Events{"response", "data"}), listener.events);
    EXPECT_EQ(receivedAtAbort, listener.received.size());
    EXPECT_LT(receivedAtAbort, 100000u);
}

TEST_F(QtNetFileTest, AbortInsideResponseReceivedAndRightAfterCreate)
{
    NetFile* file = NetFile::Create(server.Url("/trickle"), &listener, false);
    listener.onResponse = [&] {
        file->Abort();
        file = nullptr;
    };
    ASSERT_TRUE(RunEventsUntil([&] { return file == nullptr; }, 10000));
    RunEventsFor(100);
    EXPECT_EQ(Events{"response"}, listener.events);

    RecordingListener untouched;
    NetFile::Create(server.Url("/len"), &untouched, true)->Abort();
    RunEventsFor(150);
    EXPECT_TRUE(untouched.events.empty());
}

// A listener that throws, even what is no std::exception, never unwinds into Qt's event loop (which would
// end the test with the exception): a cancel hangs up without another callback, anything else fails the
// transfer, and after either the loop carries on with other transfers.
TEST_F(QtNetFileTest, ListenerExceptionsStayOutOfTheEventLoop)
{
    const std::function<void()> cancel = [] { throw UserCancelledOperationException(); };
    const std::function<void()> integer = [] { throw 42; };
    struct Case
    {
        const char* name;
        const char* path;
        std::function<void()> RecordingListener::*callback;
        std::function<void()> thrower;
        Events expected;
    };
    const Case cases[] = {
        {"cancel in response", "/trickle", &RecordingListener::onResponse, cancel, {"response"}},
        {"cancel in data", "/trickle", &RecordingListener::onData, cancel, {"response", "data"}},
        {"cancel in complete", "/len", &RecordingListener::onEnd, cancel, {"response", "data", "complete"}},
        {"int in response", "/trickle", &RecordingListener::onResponse, integer, {"response", "failed"}},
        {"int in data", "/trickle", &RecordingListener::onData, integer, {"response", "data", "failed"}},
        {"int in complete", "/len", &RecordingListener::onEnd, integer, {"response", "data", "complete"}},
    };
    for (const Case& c : cases)
    {
        const int hangUpsBefore = server.ClientHangUps();
        RecordingListener thrower;
        bool threw = false;
        thrower.*c.callback = [&] {
            threw = true;
            c.thrower();
        };
        NetFile::Create(server.Url(c.path), &thrower, true);
        ASSERT_TRUE(RunEventsUntil([&] { return threw; }, 10000)) << c.name;
        if (std::string(c.path) == "/trickle") // the transfer hangs up rather than running to its end
        {
            EXPECT_TRUE(RunEventsUntil([&] { return server.ClientHangUps() > hangUpsBefore; }, 5000)) << c.name;
        }
        RunEventsFor(50);
        EXPECT_EQ(c.expected, thrower.events) << c.name;
        if (c.expected.back() == "failed")
        {
            EXPECT_EQ("Unexpected error while receiving the download.", thrower.message) << c.name;
        }
    }
    NetFile::Create(server.Url("/len"), &listener, true);
    ASSERT_TRUE(Finish(listener));
    EXPECT_EQ("hello world", listener.stored);
}

TEST_F(QtNetFileTest, ListenerMayDeleteItselfWhenDone)
{
    struct SelfDeleting : NetEventListener
    {
        bool* completed = nullptr;
        void DownloadComplete(const void*, unsigned long) override
        {
            *completed = true;
            delete this;
        }
        void DownloadFailed(const std::string&) override { delete this; }
        void ResponseReceived(const std::string&, unsigned long) override {}
        void DataReceived(const void*, unsigned long) override {}
    };
    bool completed = false;
    auto* listenerOnHeap = new SelfDeleting;
    listenerOnHeap->completed = &completed;
    NetFile::Create(server.Url("/chunked"), listenerOnHeap, true);
    ASSERT_TRUE(RunEventsUntil([&] { return completed; }, 10000));
    RunEventsFor(50);
}

TEST_F(QtNetFileTest, SilenceTimesOutButSteadyProgressDoesNot)
{
    InstallTransport(std::chrono::milliseconds(300));
    NetFile::Create(server.Url("/hang"), &listener, true);
    ASSERT_TRUE(Finish(listener));
    EXPECT_EQ(Events{"failed"}, listener.events);
    EXPECT_EQ("The request timed out.", listener.message);

    // 800 ms in all, yet never more than 40 ms without a byte.
    RecordingListener steady;
    NetFile::Create(server.Url("/steady"), &steady, true);
    ASSERT_TRUE(Finish(steady));
    EXPECT_EQ("complete", steady.events.back());
    EXPECT_EQ(1000u, steady.stored.size());
}

TEST_F(QtNetFileTest, OnlyWebAddressesOpen)
{
    for (const char* url : {"file:///etc/passwd", "ftp://127.0.0.1/x", "not a url", "http://"})
    {
        try
        {
            NetFile::Create(url, &listener, true);
            ADD_FAILURE() << url;
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_STREQ("Could not open connection.", error.what());
        }
    }
    RunEventsFor(20);
    EXPECT_TRUE(listener.events.empty());
}

// Connections stay open from one transfer to the next: a run of transfers (one redirected) opens one socket,
// or two where Qt's network thread had not yet put the first back when the next came, and ten at once open
// six (Qt's limit per host), the later ones waiting for one of the first to end and then taking its socket.
// Sockets are counted, not the transfers on them.
TEST_F(QtNetFileTest, ConnectionsAreKeptForTheNextTransfer)
{
    const struct
    {
        const char* name;
        std::vector<std::string> paths;
        bool atOnce;
        int sockets; // at most
    } cases[] = {
        {"one after another", {"/len", "/redirect", "/chunked", "/big?n=200000", "/len"}, false, 2},
        {"ten at once", std::vector<std::string>(10, "/steady"), true, 6},
    };
    for (const auto& c : cases)
    {
        InstallTransport(std::chrono::seconds(60)); // nothing kept from the case before
        ASSERT_TRUE(RunEventsUntil([&] { return server.OpenConnections() == 0; }, 5000)) << c.name;
        const int before = server.OpenedConnections();
        std::vector<std::unique_ptr<RecordingListener>> listeners;
        for (const std::string& path : c.paths)
        {
            listeners.push_back(std::make_unique<RecordingListener>());
            NetFile::Create(server.Url(path), listeners.back().get(), true);
            if (!c.atOnce)
            {
                ASSERT_TRUE(Finish(*listeners.back())) << c.name << " " << path;
                RunEventsFor(20); // as a user's next request comes, not in the same breath
            }
        }
        for (auto& listener : listeners)
        {
            ASSERT_TRUE(Finish(*listener)) << c.name;
            EXPECT_EQ("complete", listener->events.back()) << c.name;
        }
        EXPECT_LE(server.OpenedConnections() - before, c.sockets) << c.name;
    }
}

// A cancelled download (an atlas package: 100000 bytes over 10 s) hangs up at once, however it was
// cancelled, rather than go on arriving in the background and hold one of the host's connections: after
// more cancels than there are connections to a host, a new transfer still goes through. A transfer
// cancelled while it waits for a connection is never sent.
TEST_F(QtNetFileTest, ACancelledPackageStopsArriving)
{
    const std::function<void(NetFile*&, RecordingListener&)> cancels[] = {
        [](NetFile*& file, RecordingListener& package) {
            package.onData = [&] {
                if (file && package.received.size() >= 300)
                    std::exchange(file, nullptr)->Abort();
            };
        },
        [](NetFile*& file, RecordingListener& package) {
            ASSERT_TRUE(RunEventsUntil([&] { return package.received.size() >= 300; }, 10000));
            std::exchange(file, nullptr)->Abort(); // a click on Cancel, between callbacks
        },
        [](NetFile*& file, RecordingListener& package) {
            package.onData = [&] {
                if (file && package.received.size() >= 300)
                {
                    file = nullptr;
                    throw UserCancelledOperationException();
                }
            };
        },
    };
    for (int i = 0; i < 8; ++i)
    {
        const int hangUps = server.ClientHangUps();
        RecordingListener package;
        NetFile* file = NetFile::Create(server.Url("/trickle"), &package, false);
        cancels[i % 3](file, package);
        ASSERT_TRUE(RunEventsUntil([&] { return file == nullptr; }, 10000)) << i;
        const std::size_t receivedAtCancel = package.received.size();
        EXPECT_TRUE(RunEventsUntil([&] { return server.ClientHangUps() > hangUps; }, 5000)) << i;
        RunEventsFor(50);
        EXPECT_EQ(receivedAtCancel, package.received.size()) << i;
        EXPECT_LT(receivedAtCancel, 100000u) << i;
        EXPECT_EQ((Events{"response", "data"}), package.events) << i;
    }
    EXPECT_TRUE(RunEventsUntil([&] { return server.OpenConnections() == 0; }, 5000));

    std::vector<std::unique_ptr<RecordingListener>> running;
    for (int i = 0; i < 6; ++i)
    {
        running.push_back(std::make_unique<RecordingListener>());
        NetFile::Create(server.Url("/steady"), running.back().get(), true);
    }
    NetFile::Create(server.Url("/len?waiting"), &listener, true)->Abort();
    for (auto& steady : running)
        ASSERT_TRUE(Finish(*steady));
    RunEventsFor(50);
    EXPECT_TRUE(listener.events.empty());
    for (const auto& request : server.Requests())
    {
        EXPECT_NE("/len?waiting", request.target);
    }
}

// The program's pool, as the transport, on managers that run out as they would in an exhausted process.
class RefusingPool : public QtConnectionPool, public NetTransport
{
public:
    std::unique_ptr<NetConnection> Open(const NetRequest& request, NetConnectionClient* client) override
    {
        return QtConnectionPool::Open(QNetworkRequest(QUrl(QString::fromStdString(request.url))), client);
    }

    bool refuse = false;

protected:
    std::unique_ptr<QNetworkAccessManager> MakeManager() override
    {
        if (refuse)
            throw std::bad_alloc();
        return QtConnectionPool::MakeManager();
    }
};

// A transfer waiting for a connection starts from the event loop once one is free, not inside the call
// that freed it; when it cannot start then, it fails rather than wait for ever.
TEST_F(QtNetFileTest, AWaitingTransferThatCannotStartFails)
{
    const auto pool = std::make_shared<RefusingPool>();
    PlatformHooks::SetNetTransport(pool.get());
    RecordingListener packages[QtConnectionPool::CONNECTIONS_PER_HOST];
    std::vector<NetFile*> running;
    for (RecordingListener& package : packages)
        running.push_back(NetFile::Create(server.Url("/trickle"), &package, false));
    pool->refuse = true;
    NetFile::Create(server.Url("/len"), &listener, true);
    running[0]->Abort(); // its connection closes with it: the waiting transfer needs a new one
    EXPECT_TRUE(listener.events.empty());
    ASSERT_TRUE(Finish(listener));
    EXPECT_EQ(Events{"failed"}, listener.events);
    EXPECT_EQ("Could not open connection.", listener.message);
    for (std::size_t i = 1; i < running.size(); ++i)
        running[i]->Abort();
    PlatformHooks::SetNetTransport(nullptr);
}

// Each thread has connections of its own, made, used and closed on that thread, which closes them when it
// ends; the transport closes those of its own thread when it goes.
TEST_F(QtNetFileTest, EachThreadKeepsItsOwnConnections)
{
    const auto fetchThree = [this](const char* tag) {
        for (int i = 0; i < 3; ++i)
        {
            RecordingListener fetched;
            NetFile::Create(server.Url(std::string("/len?") + tag), &fetched, true);
            if (!RunEventsUntil([&] { return fetched.ended; }, 10000) || fetched.stored != "hello world")
                return false;
        }
        return true;
    };
    bool workerFetched = false;
    std::thread worker([&] { workerFetched = fetchThree("worker"); });
    worker.join();
    EXPECT_TRUE(workerFetched);
    EXPECT_TRUE(RunEventsUntil([&] { return server.OpenConnections() == 0; }, 5000)) << "the thread's connection";
    EXPECT_TRUE(fetchThree("main"));

    std::map<std::string, std::set<int>> connections;
    for (const auto& request : server.Requests())
        connections[request.target].insert(request.connection);
    ASSERT_EQ(1u, connections["/len?worker"].size());
    ASSERT_EQ(1u, connections["/len?main"].size());
    EXPECT_NE(*connections["/len?worker"].begin(), *connections["/len?main"].begin());

    EXPECT_EQ(1, server.OpenConnections());
    InstallTransport(std::chrono::seconds(60));
    EXPECT_TRUE(RunEventsUntil([&] { return server.OpenConnections() == 0; }, 5000)) << "the transport's";
}

} // namespace
