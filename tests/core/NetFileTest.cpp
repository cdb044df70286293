#include "core/MemoryDefaultsStore.h"
#include "core/NetFile.h"
#include "core/NetTransport.h"
#include "core/PlatformHooks.h"
#include "core/UserCancelledOperationException.h"
#include "core/UserPreferences.h"

#include "ScriptedTransport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

// Writes each callback as one line; hooks let a test act inside a callback.
class LoggingListener : public NetEventListener
{
public:
    void DownloadComplete(const void* data, unsigned long size) override
    {
        log.push_back("complete " + (data ? std::string(static_cast<const char*>(data), size) : "null") + " " +
                      std::to_string(size));
        if (onComplete)
            onComplete();
    }
    void DownloadFailed(const std::string& message) override
    {
        log.push_back("failed " + message);
        if (onFailed)
            onFailed();
    }
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override
    {
        log.push_back("response " + mimeType + " " + std::to_string(expectedLength));
        if (onResponse)
            onResponse();
    }
    void DataReceived(const void* data, unsigned long size) override
    {
        log.push_back("data " + std::string(static_cast<const char*>(data), size));
        if (onData)
            onData();
    }

    std::vector<std::string> log;
    std::function<void()> onComplete, onFailed, onResponse, onData;
};

class NetFileTest : public ::testing::Test
{
protected:
    NetFileTest()
    {
        PlatformHooks::SetDefaultsStore(&store);
        PlatformHooks::SetNetTransport(&transport);
        UserPreferences::ResetPreferences();
    }
    ~NetFileTest() override
    {
        PlatformHooks::SetNetTransport(nullptr);
        UserPreferences::ResetPreferences();
        PlatformHooks::SetDefaultsStore(nullptr);
    }

    void Data(const std::string& text) { transport.client->ConnectionData(text.data(), text.size()); }

    MemoryDefaultsStore store;
    ScriptedTransport transport;
    LoggingListener listener;
};

using Log = std::vector<std::string>;

TEST_F(NetFileTest, RequestIsEscapedAndCarriesTheUserAgent)
{
    NetFile* file = NetFile::Create("http://127.0.0.1:1/find gene?name=\xC3\xA9&x=%2F", &listener, false);
    ASSERT_EQ(1u, transport.requests.size());
    EXPECT_EQ("http://127.0.0.1:1/find%20gene?name=%C3%A9&x=%2F", transport.requests[0].url);
    EXPECT_EQ(UserPreferences::GetPreferences()->GetUserAgent(), transport.requests[0].userAgent);
    file->Abort();
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_TRUE(listener.log.empty());
}

TEST_F(NetFileTest, StoredBodyArrivesWholeAfterTheChunks)
{
    NetFile::Create("http://h/a", &listener, true);
    transport.client->ConnectionResponse(200, "text/xml", 11);
    Data("hello ");
    Data("world");
    transport.client->ConnectionFinished();
    EXPECT_EQ((Log{"response text/xml 11", "data hello ", "data world", "complete hello world 11"}), listener.log);
    EXPECT_FALSE(transport.IsOpen());
}

TEST_F(NetFileTest, UnstoredBodyEndsWithNull)
{
    NetFile::Create("http://h/a", &listener, false);
    transport.client->ConnectionResponse(200, "application/zip", 0);
    Data("abc");
    transport.client->ConnectionFinished();
    EXPECT_EQ((Log{"response application/zip 0", "data abc", "complete null 0"}), listener.log);
}

TEST_F(NetFileTest, NewResponseEmptiesTheBuffer)
{
    NetFile::Create("http://h/a", &listener, true);
    transport.client->ConnectionResponse(200, "text/html", 0);
    Data("moved");
    transport.client->ConnectionResponse(200, "text/plain", 4);
    Data("body");
    transport.client->ConnectionFinished();
    EXPECT_EQ("complete body 4", listener.log.back());
}

TEST_F(NetFileTest, ErrorStatusFailsWithoutResponse)
{
    for (const int status : {400, 404, 500})
    {
        listener.log.clear();
        NetFile::Create("http://h/a", &listener, true);
        transport.client->ConnectionResponse(status, "text/html", 9);
        EXPECT_EQ(Log{"failed Server returned error " + std::to_string(status)}, listener.log);
        EXPECT_FALSE(transport.IsOpen());
    }
    listener.log.clear();
    NetFile::Create("http://h/a", &listener, true);
    transport.client->ConnectionResponse(399, "text/plain", 0);
    transport.client->ConnectionFinished();
    EXPECT_EQ((Log{"response text/plain 0", "complete  0"}), listener.log);
}

TEST_F(NetFileTest, NetworkFailureReportsTheMessage)
{
    NetFile::Create("http://h/a", &listener, true);
    transport.client->ConnectionResponse(200, "text/plain", 100);
    Data("part");
    transport.client->ConnectionFailed("Connection closed");
    EXPECT_EQ((Log{"response text/plain 100", "data part", "failed Connection closed"}), listener.log);
    EXPECT_FALSE(transport.IsOpen());
}

TEST_F(NetFileTest, AbortInsideCallbacksStopsEverything)
{
    NetFile* file = NetFile::Create("http://h/a", &listener, true);
    listener.onData = [&] { file->Abort(); };
    transport.client->ConnectionResponse(200, "text/plain", 0);
    Data("first");
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_EQ((Log{"response text/plain 0", "data first"}), listener.log);

    listener.log.clear();
    listener.onData = nullptr;
    file = NetFile::Create("http://h/a", &listener, false);
    listener.onResponse = [&] { file->Abort(); };
    transport.client->ConnectionResponse(200, "text/plain", 0);
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_EQ(Log{"response text/plain 0"}, listener.log);
}

TEST_F(NetFileTest, AbortFromAListenerThatGoesAwayInItsLastCallbackIsHarmless)
{
    // The owner's destructor aborts a transfer it still holds, even while the transfer is ending.
    struct Owner : NetEventListener
    {
        NetFile* file = nullptr;
        int* completions = nullptr;
        ~Owner() override
        {
            if (file)
                file->Abort();
        }
        void DownloadComplete(const void*, unsigned long) override
        {
            ++*completions;
            delete this;
        }
        void DownloadFailed(const std::string&) override { delete this; }
        void ResponseReceived(const std::string&, unsigned long) override {}
        void DataReceived(const void*, unsigned long) override {}
    };
    int completions = 0;
    auto* owner = new Owner;
    owner->completions = &completions;
    owner->file = NetFile::Create("http://h/a", owner, true);
    transport.client->ConnectionResponse(200, "text/plain", 0);
    transport.client->ConnectionFinished();
    EXPECT_EQ(1, completions);
    EXPECT_FALSE(transport.IsOpen());
}

TEST_F(NetFileTest, ListenerExceptionsEndTheTransferAsAFailure)
{
    NetFile::Create("http://h/a", &listener, true);
    listener.onData = [] { throw std::runtime_error("Error while reading data: syntax error"); };
    transport.client->ConnectionResponse(200, "text/xml", 0);
    Data("<broken");
    EXPECT_EQ((Log{"response text/xml 0", "data <broken", "failed Error while reading data: syntax error"}),
              listener.log);
    EXPECT_FALSE(transport.IsOpen());

    // After the last callback nobody is left to tell; the transfer still goes away cleanly.
    listener.log.clear();
    listener.onData = nullptr;
    listener.onComplete = [] { throw std::runtime_error("late"); };
    NetFile::Create("http://h/a", &listener, true);
    transport.client->ConnectionFinished();
    EXPECT_EQ(Log{"complete  0"}, listener.log);
    EXPECT_FALSE(transport.IsOpen());
}

// Whatever a listener throws stays inside the transfer: a cancel ends it as an abort, anything else as a
// failure before the last callback; the connection is closed and (checked by the leak sanitizer) the
// transfer object freed.
TEST_F(NetFileTest, EveryListenerExceptionEndsTheTransfer)
{
    const std::string unexpected = "failed Unexpected error while receiving the download.";
    const std::function<void()> cancel = [] { throw UserCancelledOperationException(); };
    const std::function<void()> integer = [] { throw 42; };
    struct Case
    {
        const char* name;
        std::function<void()> LoggingListener::*callback;
        std::function<void()> thrower;
        Log expected;
    };
    const Case cases[] = {
        {"cancel in response", &LoggingListener::onResponse, cancel, {"response text/plain 0"}},
        {"cancel in data", &LoggingListener::onData, cancel, {"response text/plain 0", "data one"}},
        {"cancel in complete",
         &LoggingListener::onComplete,
         cancel,
         {"response text/plain 0", "data one", "data two", "complete onetwo 6"}},
        {"int in response", &LoggingListener::onResponse, integer, {"response text/plain 0", unexpected}},
        {"int in data", &LoggingListener::onData, integer, {"response text/plain 0", "data one", unexpected}},
        {"int in complete",
         &LoggingListener::onComplete,
         integer,
         {"response text/plain 0", "data one", "data two", "complete onetwo 6"}},
    };
    for (const Case& c : cases)
    {
        LoggingListener thrower;
        thrower.*c.callback = c.thrower;
        NetFile::Create("http://h/a", &thrower, true);
        // Once the transfer has ended, the transport hears nothing more from it.
        transport.client->ConnectionResponse(200, "text/plain", 0);
        if (transport.IsOpen())
            Data("one");
        if (transport.IsOpen())
            Data("two");
        if (transport.IsOpen())
            transport.client->ConnectionFinished();
        EXPECT_EQ(c.expected, thrower.log) << c.name;
        EXPECT_FALSE(transport.IsOpen()) << c.name;
    }
}

TEST_F(NetFileTest, NullListenerStillRunsToItsEnd)
{
    NetFile::Create("http://h/a", nullptr, true);
    transport.client->ConnectionResponse(200, "text/plain", 0);
    Data("ignored");
    transport.client->ConnectionFinished();
    EXPECT_FALSE(transport.IsOpen());
}

TEST_F(NetFileTest, RequestsThatCannotStartThrow)
{
    transport.refuse = true;
    try
    {
        NetFile::Create("http://h/a", &listener, true);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_STREQ("Could not open connection.", error.what());
    }
    transport.refuse = false;
    transport.refuseOddly = true;
    EXPECT_THROW(NetFile::Create("http://h/a", &listener, true), std::runtime_error);
    PlatformHooks::SetNetTransport(nullptr);
    EXPECT_THROW(NetFile::Create("http://h/a", &listener, true), std::runtime_error);
    EXPECT_TRUE(listener.log.empty());
}

} // namespace
