#include "expression/GeneFetchCompletionListener.h"
#include "expression/GeneFetcher.h"

#include "ExpressionTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{

using Log = std::vector<std::string>;

class LoggingFetchListener : public GeneFetchCompletionListener
{
public:
    void GeneLoaded(GeneFetcher* fetcher, const void* data, unsigned long size) override
    {
        log.push_back("loaded " + std::string(static_cast<const char*>(data), size));
        if (onEnd)
            onEnd(fetcher);
    }
    void GeneLoadError(GeneFetcher* fetcher, const std::string& message) override
    {
        log.push_back("error " + message);
        if (onEnd)
            onEnd(fetcher);
    }
    void GeneDataReceived(GeneFetcher* fetcher, float progress) override
    {
        char text[32];
        std::snprintf(text, sizeof text, "progress %.2f %.2f", progress, fetcher->GetProgress());
        log.push_back(text);
        if (onData)
            onData(fetcher);
    }

    Log log;
    std::function<void(GeneFetcher*)> onEnd, onData;
};

class GeneFetcherTest : public ::testing::Test
{
protected:
    ScriptedNetwork net;
    LoggingFetchListener listener;
};

TEST_F(GeneFetcherTest, ProgressFollowsTheAnnouncedLength)
{
    GeneFetcher fetcher("name", "http://h/grid/1", &listener, nullptr, nullptr);
    EXPECT_TRUE(fetcher.IsActive());
    net.Respond("application/zip", 10);
    net.Data("abcd");
    net.Data("efghij");
    net.Data("k"); // more than announced: progress stays at its end
    net.Finish();
    EXPECT_EQ((Log{"progress 0.00 0.00", "progress 0.40 0.40", "progress 1.00 1.00", "progress 1.00 1.00",
                   "loaded abcdefghijk"}),
              listener.log);
    EXPECT_FALSE(fetcher.IsActive());
    EXPECT_EQ("http://h/grid/1", net.LastUrl());
}

TEST_F(GeneFetcherTest, LoadingAgainAbortsTheFirstSilently)
{
    int userData = 0;
    GeneFetcher fetcher("first", "http://h/1", &listener, nullptr, nullptr);
    net.Respond("application/zip", 4);
    net.Data("xx");
    const std::shared_ptr<bool> firstOpen = net.transport.connectionOpen;
    fetcher.Load("second", "http://h/2", &listener, &userData, nullptr);
    EXPECT_FALSE(*firstOpen);
    EXPECT_EQ(0.0f, fetcher.GetProgress());
    EXPECT_STREQ("second", fetcher.GetName());
    EXPECT_EQ(&userData, fetcher.GetUserData());
    listener.log.clear();
    net.Respond("application/zip", 0);
    net.Data("yy");
    net.Finish();
    EXPECT_EQ((Log{"progress 0.00 0.00", "progress 0.00 0.00", "loaded yy"}), listener.log);
}

TEST_F(GeneFetcherTest, NoConnectionThrowsAndStaysIdle)
{
    net.transport.refuse = true;
    GeneFetcher fetcher;
    EXPECT_EQ("Could not open connection.",
              ErrorOf([&] { fetcher.Load("n", "http://h/a", &listener, nullptr, nullptr); }));
    EXPECT_FALSE(fetcher.IsActive());
    EXPECT_TRUE(listener.log.empty());
}

TEST_F(GeneFetcherTest, ColourIsNullOrTheGivenOne)
{
    const float rgb[3] = {0.25f, 0.5f, 1.0f};
    GeneFetcher fetcher("", "http://h/a", &listener, nullptr, rgb);
    ASSERT_NE(nullptr, fetcher.GetColor());
    EXPECT_EQ(0.25f, fetcher.GetColor()[0]);
    EXPECT_EQ(0.5f, fetcher.GetColor()[1]);
    EXPECT_EQ(1.0f, fetcher.GetColor()[2]);
    fetcher.Load("", "http://h/b", &listener, nullptr, nullptr);
    EXPECT_EQ(nullptr, fetcher.GetColor());
}

TEST_F(GeneFetcherTest, ResetAndDestructionAbortWithoutCallbacks)
{
    {
        int userData = 0;
        GeneFetcher fetcher("n", "http://h/a", &listener, &userData, nullptr);
        net.Respond("application/zip", 4);
        net.Data("ab");
        fetcher.Reset();
        EXPECT_FALSE(net.transport.IsOpen());
        EXPECT_FALSE(fetcher.IsActive());
        EXPECT_STREQ("", fetcher.GetName());
        EXPECT_EQ(nullptr, fetcher.GetUserData());
        EXPECT_EQ(0.0f, fetcher.GetProgress());
    }
    listener.log.clear();
    {
        GeneFetcher fetcher("n", "http://h/a", &listener, nullptr, nullptr);
    }
    EXPECT_FALSE(net.transport.IsOpen());
    EXPECT_TRUE(listener.log.empty());
}

// The listener deletes its fetcher inside each kind of call; ASan catches any later use.
TEST_F(GeneFetcherTest, ListenerMayDeleteTheFetcherInsideAnyCall)
{
    const struct
    {
        std::function<void(ScriptedNetwork&)> run;
        bool onData;
        std::string last;
    } cases[] = {
        {[](ScriptedNetwork& n) { n.Respond("a/b", 2), n.Data("ab"), n.Finish(); }, false, "loaded ab"},
        {[](ScriptedNetwork& n) { n.Respond("a/b", 2, 404); }, false, "error Server returned error 404"},
        {[](ScriptedNetwork& n) { n.Respond("a/b", 2), n.Data("ab"), n.Fail("lost"); }, false, "error lost"},
        {[](ScriptedNetwork& n) { n.Respond("a/b", 4), n.Data("ab"); }, true, "progress 0.50 0.50"},
    };
    for (const auto& c : cases)
    {
        listener.log.clear();
        GeneFetcher* fetcher = new GeneFetcher("", "http://h/a", &listener, nullptr, nullptr);
        const auto drop = [&](GeneFetcher* f) {
            EXPECT_EQ(fetcher, f);
            delete f;
            fetcher = nullptr;
        };
        listener.onEnd = c.onData ? nullptr : std::function<void(GeneFetcher*)>(drop);
        listener.onData = nullptr;
        if (c.onData)
            listener.onData = [&](GeneFetcher* f) {
                if (f->GetProgress() > 0.0f)
                    drop(f);
            };
        c.run(net);
        EXPECT_EQ(nullptr, fetcher) << c.last;
        EXPECT_EQ(c.last, listener.log.back());
        EXPECT_FALSE(net.transport.IsOpen());
        delete fetcher;
    }
}

} // namespace
