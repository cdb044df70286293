// The catalogue query and the installer against the demo data server, over the program's HTTP stack.

#include "DemoServerFixture.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasInstaller.h"
#include "atlas/AtlasesAvailableQuery.h"
#include "atlas/FolderListing.h"
#include "atlas/InstallListeners.h"
#include "core/TaskProgress.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace
{

const int NETWORK_WAIT_MS = 60000;

class RecordingProgress : public TaskProgress
{
public:
    void SetProgress(float value) override
    {
        values.push_back(value);
        TaskProgress::SetProgress(value);
    }
    std::vector<float> values;
};

// The kept entries of the catalogue at the settings' Host, as "name id version" and a mark for the
// installed ones.
std::vector<std::string> FetchCatalogue(std::unique_ptr<AtlasesAvailableQuery>& query, RecordingQueryListener& listener)
{
    query = std::make_unique<AtlasesAvailableQuery>(&listener);
    EXPECT_TRUE(RunEventsUntil([&] { return !listener.log.empty(); }, NETWORK_WAIT_MS));
    std::vector<std::string> kept;
    for (int i = 0; i < query->GetNumAtlases(); ++i)
    {
        const AtlasDownloadInfo& info = query->GetAtlasInfo(i);
        kept.push_back(info.name + " " + std::to_string(info.id) + " " + std::to_string(info.version) +
                       (info.needsInstall ? "" : " installed"));
    }
    return kept;
}

// Downloads one entry and waits for the outcome.
std::unique_ptr<AtlasInstaller> Download(const AtlasDownloadInfo& info, RecordingInstallerListener& listener,
                                         std::shared_ptr<TaskProgress> progress = nullptr)
{
    auto installer = std::make_unique<AtlasInstaller>(info, &listener, progress);
    listener.log.clear();
    installer->Download();
    EXPECT_TRUE(RunEventsUntil([&] { return !listener.log.empty(); }, NETWORK_WAIT_MS)) << info.name;
    return installer;
}

void Python(const std::string& arguments)
{
    const std::string command =
        std::string(CORVANE_PYTHON) + " '" + CORVANE_SOURCE_DIR + "/tests/atlas/atlas_package.py' " + arguments;
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

TEST(AtlasCatalogueNetworkTest, EntriesAndInstalledVersions)
{
    REQUIRE_GENERATOR();
    ServerAtlasRoot root;
    std::unique_ptr<AtlasesAvailableQuery> query;
    RecordingQueryListener listener;
    EXPECT_EQ((std::vector<std::string>{"Ostrel Adult Mouse 310 3", "Ostrel Developing Mouse 350 4",
                                        "Ostrel Mouse Connectivity 378 3"}),
              FetchCatalogue(query, listener));
    EXPECT_TRUE(query->UpdatesAvailable());
    EXPECT_EQ(std::vector<std::string>{"complete"}, listener.log);

    root.Install(310, "Mouse");
    root.Install(378, "Connectivity");
    root.Install(350, "Developing", true);
    listener.log.clear();
    EXPECT_EQ((std::vector<std::string>{"Ostrel Adult Mouse 310 3 installed", "Ostrel Developing Mouse 350 4",
                                        "Ostrel Mouse Connectivity 378 3 installed"}),
              FetchCatalogue(query, listener));
    EXPECT_TRUE(query->UpdatesAvailable());

    root.Install(350, "Developing Current");
    std::filesystem::remove_all(root.Folder("Developing"));
    AtlasSet::GetAtlases()->Reload();
    listener.log.clear();
    FetchCatalogue(query, listener);
    EXPECT_FALSE(query->UpdatesAvailable());
}

TEST(AtlasCatalogueNetworkTest, FaultyAnswers)
{
    REQUIRE_GENERATOR();
    struct Case
    {
        const char* prefix;
        std::string outcome;
        int maxKept;
    };
    const std::vector<Case> cases = {
        {"/fault-malformed", "complete", 2},
        {"/fault-truncated", "complete", 2},
        {"/fault-html", "error No atlases available for download.", 0},
        {"/fault-404", "error Server returned error 404", 0},
        {"/fault-chunked", "complete", 3},
    };
    for (const Case& c : cases)
    {
        ServerAtlasRoot root(c.prefix);
        std::unique_ptr<AtlasesAvailableQuery> query;
        RecordingQueryListener listener;
        const std::vector<std::string> kept = FetchCatalogue(query, listener);
        EXPECT_EQ(std::vector<std::string>{c.outcome}, listener.log) << c.prefix;
        EXPECT_LE(static_cast<int>(kept.size()), c.maxKept) << c.prefix;
        if (!kept.empty())
        {
            EXPECT_EQ("Ostrel Adult Mouse 310 3", kept[0]) << c.prefix;
        }
    }
}

TEST(AtlasCatalogueNetworkTest, HostileCatalogueAndPackagesChangeNothing)
{
    REQUIRE_GENERATOR();
    ServerAtlasRoot root("/hostile");
    root.Install(310, "Ostrel Adult Mouse");
    std::unique_ptr<AtlasesAvailableQuery> query;
    RecordingQueryListener listener;
    const std::vector<std::string> kept = FetchCatalogue(query, listener);
    EXPECT_EQ((std::vector<std::string>{
                  "Hostile Five New 5 3", "Hostile Six New 6 3", "Hostile Undated 9207 1",
                  "Hostile Parent Escape 9101 1", "Hostile Absolute 9102 1", "Hostile Spaces Escape 9103 1",
                  "Hostile No Info 9104 1", "Hostile Broken Info 9105 1", "Hostile Huge Stored 9106 1",
                  "Hostile Huge Deflated 9107 1", "Hostile Truncated 9108 1", "Hostile Bad CRC 9109 1"}),
              kept);
    ASSERT_EQ(12, query->GetNumAtlases());
    EXPECT_EQ("", query->GetAtlasInfo(2).datePublished);

    const std::map<std::string, std::string> before = ListFolder(root.Base(), {"Download"});
    RecordingInstallerListener installerListener;
    for (int i = 3; i < query->GetNumAtlases(); ++i)
    {
        const AtlasDownloadInfo& info = query->GetAtlasInfo(i);
        std::unique_ptr<AtlasInstaller> installer = Download(info, installerListener);
        ASSERT_EQ(std::vector<std::string>{"complete"}, installerListener.log) << info.name;
        EXPECT_ANY_THROW(installer->Unpack()) << info.name;
        EXPECT_EQ(before, ListFolder(root.Base(), {"Download"})) << info.name;
        EXPECT_FALSE(std::filesystem::exists(root.Base() + "/Download/" + info.name)) << info.name;
        EXPECT_FALSE(std::filesystem::exists(root.Base() + "/Download/x")) << info.name;
        EXPECT_FALSE(std::filesystem::exists("/abs.txt")) << info.name;
    }
}

TEST(AtlasInstallerNetworkTest, InstallsAPackageAsPythonExtractsIt)
{
    REQUIRE_GENERATOR();
    ServerAtlasRoot root;
    const TempDir scratch;
    root.Install(310, "Old Mouse", true);
    WriteBytes(root.Base() + "/PreviousAtlasVersions/Ostrel Adult Mouse/stale.txt", "stale");
    const std::map<std::string, std::string> old = ListFolder(root.Folder("Old Mouse"));

    std::unique_ptr<AtlasesAvailableQuery> query;
    RecordingQueryListener queryListener;
    FetchCatalogue(query, queryListener);
    ASSERT_LE(1, query->GetNumAtlases());
    const AtlasDownloadInfo info = query->GetAtlasInfo(0);
    const std::string package = root.Base() + "/Download/Ostrel Adult Mouse 3.zip";

    auto progress = std::make_shared<RecordingProgress>();
    auto installer = std::make_unique<AtlasInstaller>(info, nullptr, progress);
    installer->Download();
    EXPECT_TRUE(std::filesystem::exists(package));
    ASSERT_TRUE(
        RunEventsUntil([&] { return !progress->values.empty() && progress->values.back() >= 50.0f; }, NETWORK_WAIT_MS));
    RunEventsFor(50);
    EXPECT_EQ(info.size, std::filesystem::file_size(package));
    for (std::size_t i = 1; i < progress->values.size(); ++i)
        EXPECT_LE(progress->values[i - 1], progress->values[i]);
    EXPECT_FLOAT_EQ(50.0f, progress->values.back());

    std::filesystem::copy_file(package, scratch.File("copy.zip"));
    Python("extract '" + scratch.File("copy.zip") + "' '" + scratch.File("python") + "'");
    installer->Unpack();

    // Installing adds the derived files: the reference volume rebuilt from its slices and the Local folder.
    std::map<std::string, std::string> installed = ListFolder(root.Folder("Ostrel Adult Mouse"), {"Local"});
    installed.erase("Local");
    installed.erase("Spaces/P56/Atlas");
    EXPECT_EQ(ListFolder(scratch.File("python")), installed);
    EXPECT_EQ(old, ListFolder(root.Base() + "/PreviousAtlasVersions/Ostrel Adult Mouse"));
    EXPECT_FALSE(std::filesystem::exists(root.Folder("Old Mouse")));
    EXPECT_FALSE(std::filesystem::exists(package));
    EXPECT_FALSE(std::filesystem::exists(root.Base() + "/Download/Ostrel Adult Mouse"));
}

TEST(AtlasInstallerNetworkTest, AbortDuringASlowDownloadRemovesThePackage)
{
    REQUIRE_GENERATOR();
    ServerAtlasRoot root;
    AtlasDownloadInfo info;
    info.name = "Ostrel Adult Mouse";
    info.id = 310;
    info.version = 3;
    info.size = 1000000;
    info.url = DemoServer::Get().Url() + "/fault-slow/Corvane2/packages/310-3.zip";
    RecordingInstallerListener listener;
    auto progress = std::make_shared<RecordingProgress>();
    AtlasInstaller installer(info, &listener, progress);
    installer.Download();
    const std::string package = root.Base() + "/Download/Ostrel Adult Mouse 3.zip";
    ASSERT_TRUE(RunEventsUntil([&] { return progress->values.size() >= 2; }, NETWORK_WAIT_MS));
    EXPECT_TRUE(std::filesystem::exists(package));
    installer.Abort();
    RunEventsFor(600);
    EXPECT_FALSE(std::filesystem::exists(package));
    EXPECT_TRUE(listener.log.empty());
}

} // namespace
