#include "AtlasFixture.h"
#include "InstallListeners.h"
#include "ScriptedServer.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasesAvailableQuery.h"
#include "atlas/AtlasesAvailableQueryListener.h"

#include <memory>
#include <string>
#include <vector>

namespace
{

std::string Entry(const std::string& name, const std::string& id, const std::string& version,
                  const std::string& extra = "url=\"http://h/p.zip\" datePublished=\"2020-01-01\"")
{
    return "<atlas name=\"" + name + "\" id=\"" + id + "\" version=\"" + version + "\" " + extra + "/>";
}

std::string Catalogue(const std::string& entries)
{
    return "<?xml version=\"1.0\"?>\n<atlases>" + entries + "</atlases>";
}

class AtlasesAvailableQueryTest : public ::testing::Test
{
protected:
    AtlasesAvailableQueryTest()
    {
        HandAtlas().Write(root.Folder("Hand Atlas"));
        AtlasSet::GetAtlases()->Reload();
    }

    // The kept entries as "name id version needsInstall".
    std::vector<std::string> Fetch(const std::string& body, std::size_t chunk = 4096)
    {
        query = std::make_unique<AtlasesAvailableQuery>(&listener);
        transport.Answer(body, chunk);
        std::vector<std::string> kept;
        for (int i = 0; i < query->GetNumAtlases(); ++i)
        {
            const AtlasDownloadInfo& info = query->GetAtlasInfo(i);
            kept.push_back(info.name + " " + std::to_string(info.id) + " " + std::to_string(info.version) +
                           (info.needsInstall ? " new" : " installed"));
        }
        return kept;
    }

    AtlasRoot root;
    ScriptedServer transport;
    RecordingQueryListener listener;
    std::unique_ptr<AtlasesAvailableQuery> query;
};

TEST_F(AtlasesAvailableQueryTest, RequestsTheAtlasListOfTheSettings)
{
    query = std::make_unique<AtlasesAvailableQuery>(&listener);
    ASSERT_EQ(1u, transport.Urls().size());
    EXPECT_EQ(UserPreferences::GetPreferences()->GetHostName() + "/Corvane2/atlases.xml", transport.Urls()[0]);
    query.reset();
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_TRUE(listener.log.empty());
}

TEST_F(AtlasesAvailableQueryTest, EntryRules)
{
    const std::string tooNew = std::to_string(UserPreferences::GetPreferences()->GetBuildNumber() + 1);
    const std::string build = std::to_string(UserPreferences::GetPreferences()->GetBuildNumber());
    struct Case
    {
        const char* what;
        std::string entries;
        std::vector<std::string> kept;
    };
    const std::vector<Case> cases = {
        {"a later version replaces in place",
         Entry("A", "5", "2") + Entry("B", "6", "1") + Entry("A3", "5", "3"),
         {"A3 5 3 new", "B 6 1 new"}},
        {"an earlier version is dropped", Entry("A", "5", "3") + Entry("A2", "5", "2"), {"A 5 3 new"}},
        {"equal versions: the later fields", Entry("A", "5", "3") + Entry("Z", "5", "3"), {"Z 5 3 new"}},
        {"names that are no folder name",
         Entry("..", "1", "1") + Entry(".", "2", "1") + Entry("../x", "3", "1") + Entry("a/b", "4", "1") +
             Entry("", "7", "1") + Entry("ok..", "8", "1"),
         {"ok.. 8 1 new"}},
        {"id or version 0 or missing",
         Entry("A", "0", "1") + Entry("B", "x", "1") + Entry("C", "1", "0") +
             "<atlas name=\"D\" version=\"1\" "
             "url=\"u\"/>",
         {}},
        {"no url, no date",
         "<atlas name=\"A\" id=\"1\" version=\"1\"/><atlas name=\"B\" id=\"2\" version=\"1\" url=\"u\"/>",
         {"B 2 1 new"}},
        {"minimum program version",
         Entry("A", "1", "1", "url=\"u\" minAppVersion=\"" + tooNew + "\"") +
             Entry("B", "2", "1", "url=\"u\" minAppVersion=\"" + build + "\"") +
             Entry("C", "3", "1", "url=\"u\" minAppVersion=\"99999999999999999999\""),
         {"B 2 1 new"}},
        {"leading numbers", Entry("A", " 12abc", "+3x"), {"A 12 3 new"}},
        {"installed at that version or later",
         Entry("Same", "42", "2") + Entry("Old", "42", "1") + Entry("Other", "43", "2"),
         {"Same 42 2 installed", "Other 43 2 new"}},
        {"newer than the installed one", Entry("Next", "42", "3"), {"Next 42 3 new"}},
        {"atlas elements anywhere, others ignored",
         "<x><atlas name=\"A\" id=\"1\" version=\"1\" url=\"u\"><atlas name=\"B\" id=\"2\" version=\"1\" "
         "url=\"u\"/></atlas></x><atlasx name=\"C\" id=\"3\" version=\"1\" url=\"u\"/>",
         {"A 1 1 new", "B 2 1 new"}},
    };
    for (const Case& c : cases)
    {
        listener.log.clear();
        EXPECT_EQ(c.kept, Fetch(Catalogue(c.entries))) << c.what;
        EXPECT_EQ(c.kept, Fetch(Catalogue(c.entries), 1)) << c.what << ", byte by byte";
        const std::string outcome = c.kept.empty() ? "error No atlases available for download." : "complete";
        EXPECT_EQ(std::vector<std::string>(2, outcome), listener.log) << c.what;
    }
}

TEST_F(AtlasesAvailableQueryTest, FieldsAndUpdates)
{
    Fetch(Catalogue(Entry("Hand Atlas", "42", "2",
                          "url=\"http://h/a b.zip\" size=\"52428800\" datePublished=\"2021-02-03\" extra=\"1\"")));
    ASSERT_EQ(1, query->GetNumAtlases());
    const AtlasDownloadInfo& info = query->GetAtlasInfo(0);
    EXPECT_EQ("http://h/a b.zip", info.url);
    EXPECT_EQ("2021-02-03", info.datePublished);
    EXPECT_EQ(52428800u, info.size);
    EXPECT_FALSE(query->UpdatesAvailable());

    Fetch(Catalogue(Entry("Hand Atlas", "42", "2") + Entry("New", "7", "1")));
    EXPECT_TRUE(query->UpdatesAvailable());
}

TEST_F(AtlasesAvailableQueryTest, Failures)
{
    struct Case
    {
        const char* what;
        std::string body;
        int status;
        const char* transportFailure;
        std::vector<std::string> log;
        int kept;
    };
    const std::string good = Entry("A", "1", "1") + Entry("B", "2", "1");
    const std::vector<Case> cases = {
        {"no atlas element", Catalogue("<other/>"), 200, nullptr, {"error No atlases available for download."}, 0},
        {"empty answer", "", 200, nullptr, {"error No atlases available for download."}, 0},
        {"not XML", "<html><body>Service unavailable", 200, nullptr, {"error No atlases available for download."}, 0},
        {"malformed after two entries",
         "<atlases>" + good + "<</broken attribute=>" + Entry("C", "3", "1"),
         200,
         nullptr,
         {"complete"},
         2},
        {"cut in an element", "<atlases>" + good + "<atlas name=\"C\" id=\"3", 200, nullptr, {"complete"}, 2},
        {"server error", Catalogue(good), 404, nullptr, {"error Server returned error 404"}, 0},
        {"transfer broke off",
         "<atlases>" + good,
         200,
         "Connection lost: the peer went away",
         {"error Connection lost: the peer went away"},
         2},
    };
    for (const Case& c : cases)
    {
        listener.log.clear();
        query = std::make_unique<AtlasesAvailableQuery>(&listener);
        transport.Respond(c.status);
        if (transport.IsOpen())
        {
            transport.Send(c.body, 7);
            if (c.transportFailure)
                transport.Fail(c.transportFailure);
            else
                transport.Finish();
        }
        EXPECT_EQ(c.log, listener.log) << c.what;
        EXPECT_EQ(c.kept, query->GetNumAtlases()) << c.what;
    }
}

TEST_F(AtlasesAvailableQueryTest, NoAddressOrNoConnection)
{
    EXPECT_EQ("Atlas check failed: invalid server address.",
              ErrorOf([&] { AtlasesAvailableQuery(&listener, std::string()); }));
    transport.transport.refuse = true;
    EXPECT_EQ("Could not open connection.", ErrorOf([&] { AtlasesAvailableQuery query(&listener); }));
    EXPECT_TRUE(listener.log.empty());
}

TEST_F(AtlasesAvailableQueryTest, AbortEndsWithoutCallback)
{
    query = std::make_unique<AtlasesAvailableQuery>(&listener);
    transport.Respond(200);
    transport.Send("<atlases>" + Entry("A", "1", "1"));
    query->Abort();
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_TRUE(listener.log.empty());
    EXPECT_EQ(1, query->GetNumAtlases());
}

} // namespace
