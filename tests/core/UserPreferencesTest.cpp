#include "core/ISODate.h"
#include "core/MemoryDefaultsStore.h"
#include "core/OSRelease.h"
#include "core/PlatformHooks.h"
#include "core/UserPreferences.h"

#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

namespace
{

// Records every notification as (listener name, code), shared by all listeners of a test.
struct NotificationLog
{
    std::vector<std::pair<std::string, int>> entries;
};

class RecordingListener : public UserPreferencesListener
{
public:
    RecordingListener(std::string name, NotificationLog& log)
        : name(std::move(name))
        , log(log)
    {
    }
    void PreferenceChanged(int code) override { log.entries.emplace_back(name, code); }

private:
    std::string name;
    NotificationLog& log;
};

// 'd' stands for a digit and 's' for a sign; every other character must match itself.
bool MatchesShape(const std::string& text, const std::string& shape)
{
    if (text.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const char c = text[i];
        const bool ok = shape[i] == 'd'   ? (c >= '0' && c <= '9')
                        : shape[i] == 's' ? (c == '+' || c == '-')
                                          : c == shape[i];
        if (!ok)
            return false;
    }
    return true;
}

std::string IsoDaysAgo(double days)
{
    std::string text;
    EXPECT_TRUE(FormatISODate(std::time(nullptr) - static_cast<std::time_t>(days * 86400), text));
    return text;
}

TEST(UserPreferences, FreshStoreGivesRegisteredDefaults)
{
    MemoryDefaultsStore store;
    UserPreferences prefs(&store);
    EXPECT_TRUE(prefs.IsInitialized());
    EXPECT_TRUE(prefs.GetAutoRotate());
    EXPECT_FALSE(prefs.GetFasterDrawing());
    EXPECT_TRUE(prefs.GetVSync());
    EXPECT_FALSE(prefs.GetVolumeRenderingActive());
    EXPECT_TRUE(prefs.GetAutoVersionCheck());
    EXPECT_FALSE(prefs.GetPerspectiveProjection());
    EXPECT_EQ(0, prefs.GetNumSamples());
    EXPECT_EQ(0u, prefs.GetVolumeTextureLimit());
    EXPECT_FLOAT_EQ(2.0f, prefs.GetBookmarkAnimationSpeed());
    EXPECT_EQ(0, prefs.GetLastVersionRun());
    EXPECT_EQ("", prefs.GetUserAtlasPath());
    EXPECT_EQ("http://127.0.0.1:8470", prefs.GetHostName());
    EXPECT_EQ("http://127.0.0.1:8470/Corvane2/atlases.xml", prefs.GetAtlasListURL());
    EXPECT_EQ(CORVANE_VERSION, prefs.GetVersion());
    EXPECT_EQ(CORVANE_BUILD_NUMBER, prefs.GetBuildNumber());
    EXPECT_GT(prefs.GetBuildNumber(), 0);
    // Reading never writes: the user's store stays empty until a setter runs.
    EXPECT_FALSE(store.HasValue("AutoRotateView"));

    int compass, tool, image, annotation, mesh, colorMode, thresholds;
    prefs.LoadSettings(compass, tool, image, annotation, mesh, colorMode, thresholds);
    EXPECT_EQ((std::vector<int>{0, 2, 50, 15, 0, 2, 1}),
              (std::vector<int>{compass, tool, image, annotation, mesh, colorMode, thresholds}));
    int ontologyMode = -1;
    bool expanded = true, imageControls = true;
    prefs.LoadViewSettings(ontologyMode, expanded, imageControls);
    EXPECT_EQ(1, ontologyMode);
    EXPECT_FALSE(expanded);
    EXPECT_FALSE(imageControls);
}

TEST(UserPreferences, UserAgentNamesVersionLinuxAndBuild)
{
    MemoryDefaultsStore store;
    UserPreferences prefs(&store);
    // The version and build number the project is configured with, as a server sees them.
    const std::string& agent = prefs.GetUserAgent();
    const std::string start = "Corvane/2.0.0 (Linux ", end = ") CV/200";
    ASSERT_GT(agent.size(), start.size() + end.size()) << agent;
    EXPECT_EQ(start, agent.substr(0, start.size()));
    EXPECT_EQ(end, agent.substr(agent.size() - end.size()));
    const std::string os = agent.substr(start.size(), agent.size() - start.size() - end.size());
    EXPECT_EQ(GetOSVersion(), os);
    EXPECT_EQ(std::string::npos, os.find_first_of("()\\")) << os;
}

TEST(UserPreferences, StoredValuesAreReadAndClamped)
{
    MemoryDefaultsStore store;
    store.SetValue("AutoRotateView", "NO");
    store.SetValue("FasterLowerQualityExpressorDrawing", "YES");
    store.SetValue("VerticalSync", "false");
    store.SetValue("VolumeRenderingActive", "true");
    store.SetValue("AutomaticVersionCheck", "0");
    store.SetValue("LastVersionRun", "150");
    store.SetValue("Multisample", "4");
    store.SetValue("BookmarkAnimationSpeed", "25");
    store.SetValue("UserAtlasPath", "/data/atlases");
    UserPreferences prefs(&store);
    EXPECT_FALSE(prefs.GetAutoRotate());
    EXPECT_TRUE(prefs.GetFasterDrawing());
    EXPECT_FALSE(prefs.GetVSync());
    EXPECT_TRUE(prefs.GetVolumeRenderingActive());
    EXPECT_FALSE(prefs.GetAutoVersionCheck());
    EXPECT_EQ(150, prefs.GetLastVersionRun());
    EXPECT_EQ(4, prefs.GetNumSamples());
    EXPECT_FLOAT_EQ(10.0f, prefs.GetBookmarkAnimationSpeed());
    EXPECT_EQ("/data/atlases", prefs.GetUserAtlasPath());

    store.SetValue("BookmarkAnimationSpeed", "-1");
    prefs.Initialize();
    EXPECT_FLOAT_EQ(0.0f, prefs.GetBookmarkAnimationSpeed());
    store.SetValue("BookmarkAnimationSpeed", "3.5");
    prefs.Initialize();
    EXPECT_FLOAT_EQ(3.5f, prefs.GetBookmarkAnimationSpeed());
}

TEST(UserPreferences, UnreadableValuesFallBackToDefaults)
{
    MemoryDefaultsStore store;
    store.SetValue("AutoRotateView", "perhaps");
    store.SetValue("Multisample", "many");
    store.SetValue("BookmarkAnimationSpeed", "nan");
    store.SetValue("ToolMode", "99999999999999999999");
    store.SetValue("ImageAlpha", "");
    store.SetValue("LastVersionRun", "1e400");
    UserPreferences prefs(&store);
    EXPECT_TRUE(prefs.GetAutoRotate());
    EXPECT_EQ(0, prefs.GetNumSamples());
    EXPECT_FLOAT_EQ(2.0f, prefs.GetBookmarkAnimationSpeed());
    EXPECT_EQ(0, prefs.GetLastVersionRun());
    int compass, tool, image, annotation, mesh, colorMode, thresholds;
    prefs.LoadSettings(compass, tool, image, annotation, mesh, colorMode, thresholds);
    EXPECT_EQ(2, tool);
    EXPECT_EQ(50, image);
}

TEST(UserPreferences, NegativeMultisampleReadsAsZeroWithoutNotification)
{
    MemoryDefaultsStore store;
    store.SetValue("Multisample", "-4");
    UserPreferences prefs(&store);
    EXPECT_EQ(0, prefs.GetNumSamples());

    NotificationLog log;
    RecordingListener listener("a", log);
    prefs.AddListener(&listener);
    prefs.Initialize();
    EXPECT_EQ(0, prefs.GetNumSamples());
    EXPECT_TRUE(log.entries.empty());
}

TEST(UserPreferences, HostSettingReplacesServerBaseURL)
{
    MemoryDefaultsStore store;
    store.SetValue("Host", "http://data.example.org/");
    UserPreferences prefs(&store);
    EXPECT_EQ("http://data.example.org", prefs.GetHostName());
    EXPECT_EQ("http://data.example.org/Corvane2/atlases.xml", prefs.GetAtlasListURL());

    MemoryDefaultsStore emptyHost;
    emptyHost.SetValue("Host", "");
    emptyHost.SetValue("UserAtlasPath", "");
    UserPreferences defaults(&emptyHost);
    EXPECT_EQ(UserPreferences::DEFAULT_HOST, defaults.GetHostName());
    EXPECT_EQ("", defaults.GetUserAtlasPath());
}

TEST(UserPreferences, SettersNotifyOnlyOnChangeInRegistrationOrder)
{
    MemoryDefaultsStore store;
    UserPreferences prefs(&store);
    NotificationLog log;
    RecordingListener first("first", log), second("second", log);
    prefs.AddListener(&first);
    prefs.AddListener(&second);

    prefs.SetVSync(true);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_FALSE(store.HasValue("VerticalSync"));
    prefs.SetVSync(false);
    const std::vector<std::pair<std::string, int>> vsync = {{"first", 4}, {"second", 4}};
    EXPECT_EQ(vsync, log.entries);
    EXPECT_FALSE(prefs.GetVSync());

    log.entries.clear();
    prefs.SetAutoRotate(false);
    prefs.SetNumSamples(8);
    prefs.SetFasterDrawing(true);
    prefs.SetNumSamples(8);
    const std::vector<std::pair<std::string, int>> codes = {{"first", 1},  {"second", 1}, {"first", 2},
                                                            {"second", 2}, {"first", 3},  {"second", 3}};
    EXPECT_EQ(codes, log.entries);

    log.entries.clear();
    prefs.SetBookmarkAnimationSpeed(5.25f);
    prefs.SetAutoVersionCheck(false);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_FLOAT_EQ(5.25f, prefs.GetBookmarkAnimationSpeed());
    EXPECT_FALSE(prefs.GetAutoVersionCheck());

    // Setters write at once and leave synchronising to the save operations.
    EXPECT_EQ(0, store.GetSyncCount());
    UserPreferences reread(&store);
    EXPECT_FALSE(reread.GetVSync());
    EXPECT_FALSE(reread.GetAutoRotate());
    EXPECT_TRUE(reread.GetFasterDrawing());
    EXPECT_EQ(8, reread.GetNumSamples());
    EXPECT_FLOAT_EQ(5.25f, reread.GetBookmarkAnimationSpeed());
    EXPECT_FALSE(reread.GetAutoVersionCheck());
}

TEST(UserPreferences, ListenerRegistration)
{
    MemoryDefaultsStore store;
    UserPreferences prefs(&store);
    NotificationLog log;
    RecordingListener listener("only", log);
    prefs.AddListener(&listener);
    prefs.AddListener(&listener);
    prefs.AddListener(nullptr);
    prefs.RemoveListener(nullptr);
    prefs.NotifyListeners(7);
    ASSERT_EQ(1u, log.entries.size());
    EXPECT_EQ(7, log.entries[0].second);

    prefs.RemoveListener(&listener);
    prefs.NotifyListeners(7);
    EXPECT_EQ(1u, log.entries.size());
}

TEST(UserPreferences, ListenerMayUnregisterDuringNotification)
{
    class Leaving : public UserPreferencesListener
    {
    public:
        Leaving(UserPreferences& prefs, UserPreferencesListener* other)
            : prefs(prefs)
            , other(other)
        {
        }
        void PreferenceChanged(int) override
        {
            ++calls;
            prefs.RemoveListener(this);
            prefs.RemoveListener(other);
        }
        UserPreferences& prefs;
        UserPreferencesListener* other;
        int calls = 0;
    };
    MemoryDefaultsStore store;
    UserPreferences prefs(&store);
    NotificationLog log;
    RecordingListener later("later", log);
    Leaving leaving(prefs, &later);
    prefs.AddListener(&leaving);
    prefs.AddListener(&later);
    prefs.SetAutoRotate(false);
    EXPECT_EQ(1, leaving.calls);
    EXPECT_TRUE(log.entries.empty());
}

TEST(UserPreferences, SaveOperationsWriteAndSynchronise)
{
    MemoryDefaultsStore store;
    UserPreferences prefs(&store);
    prefs.SaveSettings(1, 0, 80, 30, 2, 1, 0);
    EXPECT_EQ(1, store.GetSyncCount());
    prefs.SaveViewSettings(2, true, true);
    EXPECT_EQ(2, store.GetSyncCount());
    prefs.UpdateLastVersionRun();
    EXPECT_EQ(3, store.GetSyncCount());
    EXPECT_EQ(std::to_string(CORVANE_BUILD_NUMBER), store.GetValue("LastVersionRun"));

    UserPreferences reread(&store);
    int compass, tool, image, annotation, mesh, colorMode, thresholds;
    reread.LoadSettings(compass, tool, image, annotation, mesh, colorMode, thresholds);
    EXPECT_EQ((std::vector<int>{1, 0, 80, 30, 2, 1, 0}),
              (std::vector<int>{compass, tool, image, annotation, mesh, colorMode, thresholds}));
    int ontologyMode = 0;
    bool expanded = false, imageControls = false;
    reread.LoadViewSettings(ontologyMode, expanded, imageControls);
    EXPECT_EQ(2, ontologyMode);
    EXPECT_TRUE(expanded);
    EXPECT_TRUE(imageControls);
    EXPECT_EQ(CORVANE_BUILD_NUMBER, reread.GetLastVersionRun());
}

TEST(UserPreferences, OlderAlphabeticalKeyCountsOnlyWithoutViewMode)
{
    MemoryDefaultsStore store;
    store.SetValue("OntologyAlphabetical", "YES");
    UserPreferences prefs(&store);
    int mode = -1;
    bool expanded, imageControls;
    prefs.LoadViewSettings(mode, expanded, imageControls);
    EXPECT_EQ(0, mode);
    store.SetValue("OntologyAlphabetical", "NO");
    prefs.LoadViewSettings(mode, expanded, imageControls);
    EXPECT_EQ(1, mode);
    store.SetValue("OntologyAlphabetical", "YES");
    store.SetValue("OntologyViewMode", "2");
    prefs.LoadViewSettings(mode, expanded, imageControls);
    EXPECT_EQ(2, mode);
}

TEST(UserPreferences, VersionQueryIsDueWeekly)
{
    MemoryDefaultsStore store;
    UserPreferences prefs(&store);
    EXPECT_TRUE(prefs.ShouldQueryVersion());
    store.SetValue("LastVersionCheck", IsoDaysAgo(1));
    EXPECT_FALSE(prefs.ShouldQueryVersion());
    store.SetValue("LastVersionCheck", IsoDaysAgo(8));
    EXPECT_TRUE(prefs.ShouldQueryVersion());
    store.SetValue("LastVersionCheck", IsoDaysAgo(6.9));
    EXPECT_FALSE(prefs.ShouldQueryVersion());
    for (const char* unreadable : {"", "yesterday", "2026-13-01T00:00:00Z", "2026-02-30T10:00:00+01:00",
                                   "2026-01-01T10:00:00", "2026-01-01T10:00:00+0100 junk"})
    {
        store.SetValue("LastVersionCheck", unreadable);
        EXPECT_TRUE(prefs.ShouldQueryVersion()) << unreadable;
    }
    prefs.SetAutoVersionCheck(false);
    EXPECT_FALSE(prefs.ShouldQueryVersion());
}

TEST(UserPreferences, UpdateVersionQueryDateStoresIsoWithOffset)
{
    MemoryDefaultsStore store;
    UserPreferences prefs(&store);
    prefs.UpdateVersionQueryDate();
    EXPECT_EQ(1, store.GetSyncCount());
    const std::string stored = store.GetValue("LastVersionCheck");
    EXPECT_TRUE(MatchesShape(stored, "dddd-dd-ddTdd:dd:ddsdd:dd")) << stored;
    EXPECT_FALSE(prefs.ShouldQueryVersion());
}

TEST(ISODate, ReadsOffsetsAndRejectsImpossibleDates)
{
    std::time_t when = 0;
    ASSERT_TRUE(ParseISODate("1970-01-02T00:00:00Z", when));
    EXPECT_EQ(86400, when);
    ASSERT_TRUE(ParseISODate("1970-01-02T01:30:00+01:30", when));
    EXPECT_EQ(86400, when);
    ASSERT_TRUE(ParseISODate("1970-01-01T19:00:00-0500", when));
    EXPECT_EQ(86400, when);
    ASSERT_TRUE(ParseISODate("2024-02-29T12:00:00.250+00", when));
    EXPECT_EQ(1709208000, when);
    for (const char* bad : {"2023-02-29T12:00:00Z", "2024-04-31T00:00:00Z", "2024-01-01T24:00:00Z", "2024-01-01",
                            "2024-1-01T00:00:00Z", "2024-01-01T00:00:00+25:00", "\xff\xfe"})
        EXPECT_FALSE(ParseISODate(bad, when)) << bad;

    const std::time_t now = std::time(nullptr);
    std::string text;
    ASSERT_TRUE(FormatISODate(now, text));
    ASSERT_TRUE(ParseISODate(text, when));
    EXPECT_EQ(now, when);
}

TEST(OSRelease, ReadsQuotedVersionAndStripsCommentBreakers)
{
    TempDir dir;
    dir.Write("quoted", "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n");
    dir.Write("hostile", "VERSION_ID='24.04 (x)\\r\n'\n");
    dir.Write("none", "NAME=Arch\n");
    EXPECT_EQ("12", ReadOSReleaseVersion(dir.File("quoted")));
    const std::string hostile = ReadOSReleaseVersion(dir.File("hostile"));
    EXPECT_EQ(std::string::npos, hostile.find_first_of("()\r\n\\")) << hostile;
    EXPECT_EQ("", ReadOSReleaseVersion(dir.File("none")));
    EXPECT_EQ("", ReadOSReleaseVersion(dir.File("missing")));
}

TEST(UserPreferences, ProcessInstanceUsesInstalledStore)
{
    MemoryDefaultsStore store;
    store.SetValue("Multisample", "2");
    PlatformHooks::SetDefaultsStore(&store);
    UserPreferences::ResetPreferences();
    UserPreferences* prefs = UserPreferences::GetPreferences();
    EXPECT_EQ(prefs, UserPreferences::GetPreferences());
    EXPECT_EQ(2, prefs->GetNumSamples());
    prefs->SetNumSamples(4);
    EXPECT_EQ("4", store.GetValue("Multisample"));
    UserPreferences::ResetPreferences();
    PlatformHooks::SetDefaultsStore(nullptr);
}

} // namespace
