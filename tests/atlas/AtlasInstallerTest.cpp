#include "AtlasFixture.h"
#include "FolderListing.h"
#include "InstallListeners.h"
#include "ScriptedServer.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasInstaller.h"
#include "atlas/AtlasInstallerListener.h"
#include "atlas/AtlasSet.h"
#include "core/TaskProgress.h"
#include "core/UserCancelledOperationException.h"

#include <boost/filesystem/operations.hpp>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace
{

// Remembers every progress value reported.
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

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

void RunPackageScript(const std::string& arguments)
{
    const std::string command = "/usr/bin/python3 " +
                                Quoted(std::string(CORVANE_SOURCE_DIR) + "/tests/atlas/atlas_package.py") + " " +
                                arguments;
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("package script failed: " + command);
}

class AtlasInstallerTest : public ::testing::Test
{
public:
    AtlasInstallerTest() { AtlasSet::GetAtlases()->Reload(); }
    ~AtlasInstallerTest() override { AtlasSet::GetAtlases()->Reload(); }

    std::string Base() const { return fs::path(root.Atlases()).parent_path().string(); }

    // The hand atlas of that version zipped by Python, with fillers extra entries.
    std::string Package(int version, int fillers = 0, const std::string& name = "Hand Atlas")
    {
        const std::string folder = scratch.File("src" + std::to_string(packages));
        HandAtlas atlas;
        atlas.name = name;
        atlas.Write(folder);
        std::string info = ReadBytes(folder + "/Info.xml");
        info.replace(info.find("version=\"2\""), 11, "version=\"" + std::to_string(version) + "\"");
        WriteBytes(folder + "/Info.xml", info);
        const std::string zip = scratch.File("p" + std::to_string(packages++) + ".zip");
        RunPackageScript("zip " + Quoted(folder) + " " + Quoted(zip) + " " + std::to_string(fillers));
        return ReadBytes(zip);
    }

    std::unique_ptr<AtlasInstaller> Installer(const std::string& name, unsigned int version, unsigned int size)
    {
        AtlasDownloadInfo info;
        info.name = name;
        info.version = version;
        info.id = 42;
        info.size = size;
        info.url = "http://127.0.0.1:1/pkg.zip";
        return std::make_unique<AtlasInstaller>(info, &listener, progress);
    }

    // Downloads the package bytes through the scripted transport.
    std::unique_ptr<AtlasInstaller> Downloaded(const std::string& bytes, const std::string& name = "Hand Atlas")
    {
        std::unique_ptr<AtlasInstaller> installer = Installer(name, 3, static_cast<unsigned int>(bytes.size()));
        installer->Download();
        transport.Answer(bytes);
        return installer;
    }

    void InstallHandAtlas(const std::string& folder, const std::string& name = "Hand Atlas")
    {
        HandAtlas atlas;
        atlas.name = name;
        atlas.Write(root.Folder(folder));
        AtlasSet::GetAtlases()->Reload();
    }

    AtlasRoot root;
    TempDir scratch;
    int packages = 0;
    ScriptedServer transport;
    RecordingInstallerListener listener;
    std::shared_ptr<RecordingProgress> progress = std::make_shared<RecordingProgress>();
};

TEST_F(AtlasInstallerTest, DownloadStoresThePackageWithHalfAStageOfProgress)
{
    const std::string bytes(4000, 'z');
    std::unique_ptr<AtlasInstaller> installer = Installer("Hand Atlas", 3, 4000);
    installer->Download();
    const std::string package = Base() + "/Download/Hand Atlas 3.zip";
    EXPECT_TRUE(fs::exists(package));
    EXPECT_EQ(std::vector<std::string>{"http://127.0.0.1:1/pkg.zip"}, transport.Urls());
    transport.Respond(200);
    transport.Send(bytes, 1000);
    EXPECT_EQ((std::vector<float>{12.5f, 25.0f, 37.5f, 50.0f}), progress->values);
    EXPECT_TRUE(listener.log.empty());
    transport.Finish();
    EXPECT_EQ(std::vector<std::string>{"complete"}, listener.log);
    EXPECT_EQ(bytes, ReadBytes(package));
}

TEST_F(AtlasInstallerTest, DownloadEndings)
{
    struct Case
    {
        const char* what;
        int status;
        const char* failure;
        void (*stop)(std::unique_ptr<AtlasInstaller>&);
        std::vector<std::string> log;
    };
    const auto abort = [](std::unique_ptr<AtlasInstaller>& installer) { installer->Abort(); };
    // As the program's end does.
    const auto destroy = [](std::unique_ptr<AtlasInstaller>& installer) { installer.reset(); };
    const std::vector<Case> cases = {
        {"server error", 500, nullptr, nullptr, {"error Server returned error 500"}},
        {"connection lost", 200, "Connection lost", nullptr, {"error Connection lost"}},
        {"aborted", 200, nullptr, abort, {}},
        {"destroyed", 200, nullptr, destroy, {}},
    };
    for (const Case& c : cases)
    {
        listener.log.clear();
        // A stale package of an earlier run is replaced.
        WriteBytes(Base() + "/Download/Hand Atlas 3.zip", "stale");
        std::unique_ptr<AtlasInstaller> installer = Installer("Hand Atlas", 3, 100);
        installer->Download();
        EXPECT_EQ(0u, fs::file_size(Base() + "/Download/Hand Atlas 3.zip")) << c.what;
        transport.Respond(c.status);
        if (transport.IsOpen())
            transport.Send(std::string(40, 'x'));
        if (c.stop)
            c.stop(installer);
        else if (c.failure)
            transport.Fail(c.failure);
        EXPECT_FALSE(transport.IsOpen()) << c.what;
        EXPECT_EQ(c.log, listener.log) << c.what;
        EXPECT_FALSE(fs::exists(Base() + "/Download/Hand Atlas 3.zip")) << c.what;
    }
}

TEST_F(AtlasInstallerTest, DownloadThatCannotStartCleansUp)
{
    transport.transport.refuse = true;
    std::unique_ptr<AtlasInstaller> installer = Installer("Hand Atlas", 3, 100);
    EXPECT_EQ("Could not open connection.", ErrorOf([&] { installer->Download(); }));
    EXPECT_FALSE(fs::exists(Base() + "/Download/Hand Atlas 3.zip"));

    EXPECT_TRUE(listener.log.empty());
}

// A folder where the package is to be written is not the install's to remove: the download stops with a
// message that names the place, and the folder and the installed atlases stay as they were.
TEST_F(AtlasInstallerTest, AFolderInThePackagesPlaceStaysAndIsNamed)
{
    InstallHandAtlas("Installed", "Other Atlas");
    const std::string package = Base() + "/Download/Hand Atlas 3.zip";
    const std::function<void()> folders[] = {
        [&] { WriteBytes(package + "/inside", "x"); },
        [&] { fs::create_directories(package); },
    };
    for (const auto& makeFolder : folders)
    {
        fs::remove_all(package);
        makeFolder();
        const std::map<std::string, std::string> before = ListFolder(Base());
        std::unique_ptr<AtlasInstaller> installer = Installer("Hand Atlas", 3, 100);
        EXPECT_EQ("Unable to remove file at " + package + ": a folder is in its place.",
                  ErrorOf([&] { installer->Download(); }));
        EXPECT_EQ(before, ListFolder(Base()));
        EXPECT_TRUE(fs::is_directory(package));
        EXPECT_FALSE(transport.IsOpen());
    }
    EXPECT_TRUE(listener.log.empty());
}

TEST_F(AtlasInstallerTest, UnpackReportsAfterEvery26Entries)
{
    struct Case
    {
        int entries;
        std::vector<float> values;
    };
    // The hand atlas has four files of its own.
    const std::vector<Case> cases = {
        {26, {}}, {27, {26.0f / 27.0f * 100.0f * 0.5f}}, {53, {26.0f / 53.0f * 50.0f, 52.0f / 53.0f * 50.0f}}};
    for (const Case& c : cases)
    {
        std::unique_ptr<AtlasInstaller> installer = Downloaded(Package(3, c.entries - 4));
        progress->values.clear();
        installer->Unpack();
        ASSERT_EQ(c.values.size(), progress->values.size()) << c.entries;
        for (std::size_t i = 0; i < c.values.size(); ++i)
            EXPECT_FLOAT_EQ(c.values[i], progress->values[i]) << c.entries;
        EXPECT_EQ(3, Atlas(root.Folder("Hand Atlas")).GetVersion()) << c.entries;
        AtlasSet::GetAtlases()->Reload();
    }
}

TEST_F(AtlasInstallerTest, CancelWhileUnpackingRemovesTheUnpackFolder)
{
    std::unique_ptr<AtlasInstaller> installer = Downloaded(Package(3, 30));
    progress->Cancel();
    EXPECT_THROW(installer->Unpack(), UserCancelledOperationException);
    EXPECT_FALSE(fs::exists(Base() + "/Download/Hand Atlas"));
    EXPECT_FALSE(fs::exists(root.Folder("Hand Atlas")));
}

TEST_F(AtlasInstallerTest, InstalledAtlasWithoutAPlainNameMovesByItsFolderName)
{
    InstallHandAtlas("Dots", "..");
    std::unique_ptr<AtlasInstaller> installer = Downloaded(Package(3));
    installer->Unpack();
    EXPECT_TRUE(fs::exists(Base() + "/PreviousAtlasVersions/Dots/Info.xml"));
    EXPECT_TRUE(fs::exists(root.Folder("Hand Atlas") + "/Info.xml"));
    EXPECT_TRUE(fs::exists(Base() + "/PreviousAtlasVersions"));
    EXPECT_TRUE(fs::exists(root.Atlases()));
}

TEST_F(AtlasInstallerTest, FailedInstallLeavesTheInstalledAtlasesAsTheyWere)
{
    struct Case
    {
        const char* what;
        // Spoils the package's source folder or the atlas folder before the unpack.
        std::function<std::string(AtlasInstallerTest&)> package;
    };
    const std::vector<Case> cases = {
        {"the final move fails",
         [](AtlasInstallerTest& t) {
             WriteBytes(t.root.Folder("Hand Atlas") + "/someone else's.txt", "keep");
             return t.Package(3);
         }},
        {"the atlas cannot be installed",
         [](AtlasInstallerTest& t) {
             const std::string folder = t.scratch.File("spoilt");
             HandAtlas atlas;
             atlas.withAtlasVolume = false;
             atlas.Write(folder);
             WriteBytes(folder + "/Spaces/S/AtlasSlices/000.jpg", "not a JPEG");
             RunPackageScript("zip " + Quoted(folder) + " " + Quoted(t.scratch.File("spoilt.zip")));
             return ReadBytes(t.scratch.File("spoilt.zip"));
         }},
        {"broken Info.xml", [](AtlasInstallerTest& t) {
             const std::string folder = t.scratch.File("broken");
             HandAtlas().Write(folder);
             WriteBytes(folder + "/Info.xml", "<atlas-info id=\"42\" name=<<");
             RunPackageScript("zip " + Quoted(folder) + " " + Quoted(t.scratch.File("broken.zip")));
             return ReadBytes(t.scratch.File("broken.zip"));
         }}};
    InstallHandAtlas("Installed Copy");
    for (const Case& c : cases)
    {
        const std::string bytes = c.package(*this);
        const std::map<std::string, std::string> before = ListFolder(Base(), {"Download"});
        std::unique_ptr<AtlasInstaller> installer = Downloaded(bytes);
        EXPECT_ANY_THROW(installer->Unpack()) << c.what;
        EXPECT_EQ(before, ListFolder(Base(), {"Download"})) << c.what;
        EXPECT_FALSE(fs::exists(Base() + "/Download/Hand Atlas")) << c.what;
        fs::remove_all(root.Folder("Hand Atlas"));
    }
}

} // namespace
