#include "core/Alerts.h"
#include "core/Directories.h"
#include "core/MemoryDefaultsStore.h"
#include "core/OSUtils.h"
#include "core/PlatformHooks.h"
#include "core/ResourcePath.h"
#include "core/UserPreferences.h"

#include "RecordingHooks.h"
#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <ctime>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = boost::filesystem;

namespace
{

void WriteFile(const std::string& path, const std::string& text = "x")
{
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh HOME and data folder, an empty settings store and no cached folders, all undone afterwards.
class FolderTest : public ::testing::Test
{
protected:
    FolderTest()
        : home(tmp.File("home"))
        , data(tmp.File("data"))
        , homeEnv("HOME", home.c_str())
        , dataEnv("XDG_DATA_HOME", data.c_str())
    {
        fs::create_directories(home);
        PlatformHooks::SetDefaultsStore(&store);
        UserPreferences::ResetPreferences();
        ResourcePath::ClearCache();
    }
    ~FolderTest() override
    {
        ResourcePath::ClearCache();
        UserPreferences::ResetPreferences();
        PlatformHooks::SetDefaultsStore(nullptr);
    }

    TempDir tmp;
    std::string home;
    std::string data;
    ScopedEnv homeEnv;
    ScopedEnv dataEnv;
    MemoryDefaultsStore store;
};

TEST_F(FolderTest, SettingsFolderIsMadeInsideTheUserDataFolder)
{
    const std::string& settings = ResourcePath::GetUserSettingsPath();
    EXPECT_EQ(data + "/Corvane 2/Settings/", settings);
    EXPECT_TRUE(fs::is_directory(settings));
    // Found once, then kept even when the folder is gone.
    fs::remove_all(data);
    EXPECT_EQ(settings, ResourcePath::GetUserSettingsPath());
}

TEST_F(FolderTest, DataFolderFollowsTheBaseDirectoryRules)
{
    EXPECT_EQ(data, ResourcePath::GetUserDataLocation());
    {
        ScopedEnv relative("XDG_DATA_HOME", "relative/data");
        EXPECT_EQ(home + "/.local/share", ResourcePath::GetUserDataLocation());
    }
    {
        ScopedEnv unset("XDG_DATA_HOME", nullptr);
        EXPECT_EQ(home + "/.local/share", ResourcePath::GetUserDataLocation());
        EXPECT_EQ(home + "/.local/share/Corvane 2/", ResourcePath::GetUserAtlasPath());
    }
}

TEST_F(FolderTest, FilesInTheWayOfTheApplicationFolderAreReplaced)
{
    fs::create_directories(data);
    WriteFile(data + "/Corvane 2");
    EXPECT_EQ(data + "/Corvane 2/Settings/", ResourcePath::GetUserSettingsPath());
}

// /proc takes no new folders, not even from the superuser.
TEST_F(FolderTest, UnwritableDataFolderThrowsAndCachesNothing)
{
    {
        ScopedEnv procData("XDG_DATA_HOME", "/proc/self");
        try
        {
            ResourcePath::GetUserSettingsPath();
            ADD_FAILURE() << "no exception";
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_STREQ("Could not initialize application support directory.", error.what());
        }
    }
    fs::create_directories(data);
    fs::create_directory_symlink("/proc/self", data + "/Corvane 2");
    try
    {
        ResourcePath::GetUserSettingsPath();
        ADD_FAILURE() << "no exception";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_STREQ("Could not initialize application settings directory.", error.what());
    }
    fs::remove(data + "/Corvane 2");
    EXPECT_EQ(data + "/Corvane 2/Settings/", ResourcePath::GetUserSettingsPath());
}

TEST_F(FolderTest, UserAtlasPathSettingGetsOneTrailingSlash)
{
    store.SetValue("UserAtlasPath", "/srv/atlases");
    UserPreferences::ResetPreferences();
    EXPECT_EQ("/srv/atlases/", ResourcePath::GetUserAtlasPath());

    ResourcePath::ClearCache();
    store.SetValue("UserAtlasPath", "/srv/atlases/");
    UserPreferences::ResetPreferences();
    EXPECT_EQ("/srv/atlases/", ResourcePath::GetUserAtlasPath());
}

TEST_F(FolderTest, UserAtlasPathDefaultsToTheApplicationFolder)
{
    EXPECT_EQ(data + "/Corvane 2/", ResourcePath::GetUserAtlasPath());
    EXPECT_TRUE(fs::is_directory(data + "/Corvane 2"));
}

TEST(ResourcePath, ProgramDataFolderOfTheBuildTree)
{
    const fs::path dataDir = fs::path(CORVANE_BINARY_DIR) / "share" / "corvane";
    fs::create_directories(dataDir);
    ResourcePath::ClearCache();
    EXPECT_EQ(fs::canonical(dataDir).string() + "/", ResourcePath::GetResourcePath());
    ResourcePath::ClearCache();
}

TEST(Directories, EnsureDirectoryMakesReplacesAndKeeps)
{
    TempDir tmp;
    const std::string nested = tmp.File("a/b/c");
    EnsureDirectory(nested);
    EXPECT_TRUE(fs::is_directory(nested));

    WriteFile(nested + "/keep.txt");
    EnsureDirectory(nested);
    EXPECT_TRUE(fs::exists(nested + "/keep.txt"));

    WriteFile(tmp.File("file"));
    EnsureDirectory(tmp.File("file"));
    EXPECT_TRUE(fs::is_directory(tmp.File("file")));

    fs::create_symlink(tmp.File("nowhere"), tmp.File("dangling"));
    EnsureDirectory(tmp.File("dangling"));
    EXPECT_TRUE(fs::is_directory(tmp.File("dangling")));
}

TEST(Directories, EnsureDirectoryReportsThePath)
{
    TempDir tmp;
    WriteFile(tmp.File("plain"));
    const std::string impossible = tmp.File("plain") + "/below/a/file";
    try
    {
        EnsureDirectory(impossible);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_EQ("Could not create directory at " + impossible, error.what());
    }
    EXPECT_TRUE(fs::is_regular_file(tmp.File("plain")));
}

TEST(Directories, MakeDirectory)
{
    TempDir tmp;
    EXPECT_TRUE(MakeDirectory(tmp.File("x/y")));
    EXPECT_TRUE(MakeDirectory(tmp.File("x/y")));
    WriteFile(tmp.File("f"));
    EXPECT_TRUE(MakeDirectory(tmp.File("f")));
    EXPECT_TRUE(fs::is_directory(tmp.File("f")));
    EXPECT_FALSE(MakeDirectory(""));
}

TEST(OSUtils, FileOperations)
{
    TempDir tmp;
    WriteFile(tmp.File("a.txt"), "alpha");
    EXPECT_TRUE(OSUtils::FileExists(tmp.File("a.txt").c_str()));
    EXPECT_FALSE(OSUtils::FileExists(tmp.File("missing").c_str()));
    EXPECT_FALSE(OSUtils::FileExists(tmp.Path().c_str()));
    EXPECT_FALSE(OSUtils::FileExists(nullptr));

    WriteFile(tmp.File("b.txt"), "beta");
    EXPECT_FALSE(OSUtils::MoveFile(tmp.File("a.txt").c_str(), tmp.File("b.txt").c_str()));
    std::ifstream kept(tmp.File("b.txt"));
    std::string text;
    kept >> text;
    EXPECT_EQ("beta", text);
    EXPECT_TRUE(OSUtils::MoveFile(tmp.File("a.txt").c_str(), tmp.File("c.txt").c_str()));
    EXPECT_FALSE(OSUtils::FileExists(tmp.File("a.txt").c_str()));
    EXPECT_TRUE(OSUtils::FileExists(tmp.File("c.txt").c_str()));
    EXPECT_FALSE(OSUtils::MoveFile(tmp.File("a.txt").c_str(), tmp.File("d.txt").c_str()));

    fs::create_directories(tmp.File("tree/sub"));
    WriteFile(tmp.File("tree/sub/leaf"));
    EXPECT_TRUE(OSUtils::DeleteFile(tmp.File("tree").c_str()));
    EXPECT_FALSE(fs::exists(tmp.File("tree")));
    EXPECT_FALSE(OSUtils::DeleteFile(tmp.File("tree").c_str()));
    EXPECT_TRUE(OSUtils::DeleteFile(tmp.File("c.txt").c_str()));
    EXPECT_EQ('/', OSUtils::DirectorySeparator());
}

TEST(OSUtils, TimeIsWallClockSeconds)
{
    const double before = static_cast<double>(std::time(nullptr));
    const double now = OSUtils::GetTime();
    EXPECT_GE(now, before);
    EXPECT_LT(now, before + 2);
    const double start = OSUtils::GetTime();
    OSUtils::OSSleep(20);
    EXPECT_GE(OSUtils::GetTime() - start, 0.019);
}

TEST(OSUtils, EscapeURLEscapesOnlyWhatMayNotStandInAURL)
{
    EXPECT_EQ("http://h/a%20b?q=x%20y&r=1#frag", OSUtils::EscapeURL("http://h/a b?q=x y&r=1#frag"));
    EXPECT_EQ("http://h/gen%C3%A9?x=%2F%41", OSUtils::EscapeURL("http://h/gen\xC3\xA9?x=%2F%41"));
    EXPECT_EQ("http://h/100%25%20sure%252", OSUtils::EscapeURL("http://h/100% sure%2"));
    EXPECT_EQ("http://h/%22%3C%3E%5C%5E%60%7B%7C%7D%0A%7F", OSUtils::EscapeURL("http://h/\"<>\\^`{|}\n\x7f"));
    EXPECT_EQ("http://[::1]:80/p;a=b,c@d!$'()*+", OSUtils::EscapeURL("http://[::1]:80/p;a=b,c@d!$'()*+"));
    // A percent sign that two hex digits do not follow is always escaped, also at the end.
    EXPECT_EQ("%25", OSUtils::EscapeURL("%"));
    EXPECT_EQ("a%25", OSUtils::EscapeURL("a%"));
    EXPECT_EQ("a%254", OSUtils::EscapeURL("a%4"));
}

TEST(OSUtils, OpenBrowserPassesTheEscapedURLToThePlatformAndTellsWhenItCannot)
{
    RecordingAlerts presenter;
    struct Case
    {
        const char* url;    // null: no URL at all
        int platform;       // 1 opens it, 0 refuses it, -1 none installed
        const char* handed; // what the platform receives; null: nothing
        bool alert;
    };
    const Case cases[] = {
        {"http://h/search?term=sonic hedgehog", 1, "http://h/search?term=sonic%20hedgehog", false},
        {"http://h/\xC3\xBC", 1, "http://h/%C3%BC", false},
        {"http://h/search?term=sonic hedgehog", 0, "http://h/search?term=sonic%20hedgehog", true},
        {"http://h/without browser", -1, nullptr, true},
        {nullptr, 1, nullptr, false},
    };
    for (const Case& c : cases)
    {
        const std::string name = c.url ? c.url : "(null)";
        std::optional<RecordingBrowser> browser;
        if (c.platform >= 0)
            browser.emplace().opens = c.platform == 1;
        presenter.alerts.clear();
        EXPECT_EQ(c.platform == 1 && c.url, OSUtils::OpenBrowser(c.url)) << name;
        const std::vector<std::string> handed = browser ? browser->urls : std::vector<std::string>{};
        EXPECT_EQ(c.handed ? std::vector<std::string>{c.handed} : std::vector<std::string>{}, handed) << name;
        if (!c.alert)
        {
            EXPECT_TRUE(presenter.alerts.empty()) << name;
            continue;
        }
        // The user hears of it, with the address to open by hand.
        ASSERT_EQ(1u, presenter.alerts.size()) << name;
        EXPECT_EQ(OSUtils::BrowserFailureMessage(OSUtils::EscapeURL(c.url)), presenter.alerts[0]);
        EXPECT_NE(std::string::npos, presenter.alerts[0].find("\n\n" + OSUtils::EscapeURL(c.url))) << name;
    }
}

TEST(Alerts, MessagesReachThePresenterLiterally)
{
    {
        RecordingAlerts presenter;
        presenter.answer = true;
        ShowAlertBox("Loaded 100%d of %1% <b>files</b>");
        EXPECT_TRUE(ShowConfirmationBox("Download 12 data sets?"));
        presenter.answer = false;
        EXPECT_FALSE(ShowConfirmationBox("%s"));
        EXPECT_EQ(std::vector<std::string>{"Loaded 100%d of %1% <b>files</b>"}, presenter.alerts);
        EXPECT_EQ((std::vector<std::string>{"Download 12 data sets?", "%s"}), presenter.confirmations);
    }
    // Without a platform the confirmation keeps to its default, "No".
    EXPECT_FALSE(ShowConfirmationBox("Proceed?"));
}

} // namespace
