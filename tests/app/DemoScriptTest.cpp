// The demo script's checks, in a home of its own, without the program: the bin folder's tools are stand-ins
// that note each call and fail (or, told HOLD, wait to be killed), so a run that passes its checks stops at
// the first atlas it generates.

#include "TestSupport.h"
#include "atlas/AtlasFixture.h"
#include "ProgramDriving.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

namespace
{

class DemoScriptTest : public ::testing::Test
{
protected:
    DemoScriptTest()
    {
        std::filesystem::create_directories(m_dir.File("data"));
        std::filesystem::create_directories(m_bin);
        for (const char* tool : {"/corvane", "/corvane-atlasgen"})
        {
            WriteWholeFile(m_bin + tool,
                           "#!/bin/sh\necho \"$@\" >> \"$0.calls\"\n[ -z \"$HOLD\" ] || exec sleep 600\nexit 1\n");
            std::filesystem::permissions(m_bin + tool, std::filesystem::perms::owner_all);
        }
    }

    // The script run with its first argument (the bin folder or --check) and a port, as a shell command, in
    // this test's home: the suite's process keeps its own for the tests after this one.
    std::string Command(const std::string& first, const std::string& port, const std::string& as = "") const
    {
        return as + "env HOME=" + Quote(m_dir.File("home")) + " XDG_DATA_HOME=" + Quote(m_dir.File("data")) +
               " XDG_CONFIG_HOME=" + Quote(m_dir.File("config")) + " " + Quote(m_script) + " " + Quote(first) +
               " --port " + Quote(port);
    }
    // Its exit status and output.
    std::pair<int, std::string> Run(const std::string& first, const std::string& port, const std::string& as = "") const
    {
        int status = -1;
        const std::string output = CommandOutput("timeout 60 " + Command(first, port, as) + " 2>&1", &status);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
    }

    TempDir m_dir;
    const std::string m_bin = m_dir.File("bin");
    std::string m_script = std::string(CORVANE_SOURCE_DIR) + "/scripts/demo.sh";
};

// A port that is none, or one taken, is refused by the check and by a run before either changes anything.
TEST_F(DemoScriptTest, RefusesAPortThatIsNoneOrTaken)
{
    const TakenPort taken;
    const std::string takenPort = std::to_string(taken.Port());
    for (const std::string& first : {std::string("--check"), m_bin})
    {
        for (const std::string& port :
             {std::string("abc"), std::string("99999"), std::string("-5"), std::string("0"), takenPort})
        {
            const auto [status, output] = Run(first, port);
            const bool number = port == takenPort;
            EXPECT_EQ(number ? 1 : 2, status) << first << " --port " << port << ": " << output;
            EXPECT_NE(std::string::npos, output.find(number ? "port " + port + " on 127.0.0.1 is taken"
                                                            : "'" + port + "' is not a port number (1-65535)"))
                << first << " --port " << port << ": " << output;
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.File("data")));
    EXPECT_EQ(0, Run("--check", std::to_string(FreePort())).first);
}

// A folder that the run would make or write in and could not, or a lock it could not read, is refused by the
// check and by a run before either changes anything, naming it. Rights are taken away from a user other than
// root, whom they do not stop: as root the script runs as nobody.
TEST_F(DemoScriptTest, RefusesAFolderThatTheRunCouldNotMakeOrWrite)
{
    namespace fs = std::filesystem;
    const std::string as = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    fs::permissions(m_dir.Path(), fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
    // The source tree may lie in a folder that the user nobody cannot enter; the check needs nothing else of it.
    fs::copy_file(m_script, m_dir.File("demo.sh"));
    m_script = m_dir.File("demo.sh");
    const std::string data = m_dir.File("data");
    const fs::perms readOnly =
        fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec;
    const struct
    {
        const char* file;    // made a file where the run wants a folder, or the lock
        const char* reduced; // a folder or file whose rights are then only these
        fs::perms rights;
        std::string said;
    } rows[] = {{"data/Corvane 2",
                 "",
                 {},
                 "the folder " + data + "/Corvane 2/Atlases cannot be made: " + data + "/Corvane 2 is not"},
                {"data/corvane-demo",
                 "",
                 {},
                 "the folder " + data + "/corvane-demo cannot be made: " + data + "/corvane-demo is not"},
                {"config/corvane-demo",
                 "",
                 {},
                 "the folder " + m_dir.File("config/corvane-demo/Corvane") +
                     " cannot be made: " + m_dir.File("config/corvane-demo") + " is not a folder"},
                {"", "data", readOnly,
                 "the folder " + data + "/corvane-demo cannot be made: " + data + " is not writable for this user"},
                {"data/corvane-demo/demo.lock", "data/corvane-demo/demo.lock", fs::perms::owner_write,
                 "the demo's lock " + data + "/corvane-demo/demo.lock cannot be read and written by this user"}};
    const auto listing = [&] {
        std::vector<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(m_dir.Path()))
            paths.push_back(entry.path().string());
        std::sort(paths.begin(), paths.end());
        return paths;
    };
    for (const auto& row : rows)
    {
        if (*row.file)
        {
            fs::create_directories(fs::path(m_dir.File(row.file)).parent_path());
            m_dir.Write(row.file, "");
        }
        if (*row.reduced)
            fs::permissions(m_dir.File(row.reduced), row.rights);
        const std::vector<std::string> before = listing();
        for (const std::string& first : {std::string("--check"), m_bin})
        {
            const auto [status, output] = Run(first, std::to_string(FreePort()), *row.reduced ? as : "");
            EXPECT_EQ(1, status) << row.said << ", " << first << ": " << output;
            EXPECT_NE(std::string::npos, output.find(row.said)) << first << ": " << output;
        }
        EXPECT_EQ(before, listing()) << row.said;
        fs::permissions(data, fs::perms::owner_all);
        fs::remove_all(data);
        fs::remove_all(m_dir.File("config"));
        fs::create_directories(data);
    }
}

// A second run, on another port, while the first generates its atlas: it says so and leaves the first's
// atlas alone; the check says so too. Once the first has been killed, the check passes again.
TEST_F(DemoScriptTest, ASecondRunIsRefusedWhileTheFirstIsUnderWay)
{
    ProgramProcess first;
    const std::string calls = m_bin + "/corvane-atlasgen.calls";
    first.Start("HOLD=1 " + Command(m_bin, std::to_string(FreePort())) + " > " + Quote(m_dir.File("first.out")) +
                " 2>&1");
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(calls); }, 60)) << ReadBytes(m_dir.File("first.out"));
    for (const std::string& second : {m_bin, std::string("--check")})
    {
        const auto [status, output] = Run(second, std::to_string(FreePort()));
        EXPECT_EQ(1, status) << second << ": " << output;
        EXPECT_NE(std::string::npos, output.find("a demo run is under way")) << second << ": " << output;
    }
    const std::string called = ReadBytes(calls);
    EXPECT_EQ(1, std::count(called.begin(), called.end(), '\n')) << called;
    first.Stop();
    const auto [status, output] = Run("--check", std::to_string(FreePort()));
    EXPECT_EQ(0, status) << output;
}

// An installed atlas's Info.xml is atlas 310 to the script exactly when the program reads it so, in whatever
// folder the program reads (one whose name begins with a dot or ends in .part too): then the run goes on to
// the offered atlases, else it leaves the folder 310, which is the user's.
TEST_F(DemoScriptTest, ReadsTheInstalledAtlasAsTheProgramDoes)
{
    std::filesystem::create_directories(m_dir.File("data/Corvane 2/Atlases/310"));
    const struct
    {
        const char* folder;
        const char* xml;
        bool atlas;
    } rows[] = {{"310", "<atlas-info xmlns=\"urn:a\" id=\"310\" name=\"A\"/>", true},
                {"310", "<atlases><atlas-info id=\"310\" name=\"A\"/></atlases>", true},
                {"310", "<atlas-info id=\"310\" name=\"A\"><atlas id=\"-1\"/></atlas-info>", false},
                {"310", "<atlas-info id=\"&#160;310\" name=\"A\"/>", false},
                {"310", "<atlas-info id=\"\u0663\u0661\u0660\" name=\"A\"/>", false},
                {".kept", "<atlas-info id=\"310\" name=\"A\"/>", true},
                {"310.part", "<atlas-info id=\"310\" name=\"A\"/>", true}};
    for (const auto& [folder, xml, atlas] : rows)
    {
        const std::string info = "data/Corvane 2/Atlases/" + std::string(folder) + "/Info.xml";
        std::filesystem::create_directories(std::filesystem::path(m_dir.File(info)).parent_path());
        m_dir.Write(info, xml);
        const std::string output = Run(m_bin, std::to_string(FreePort())).second;
        EXPECT_NE(std::string::npos, output.find(atlas ? "generating atlas 378" : "holds no atlas 310"))
            << folder << ", " << xml << ": " << output;
        std::filesystem::remove(m_dir.File(info));
    }
}

} // namespace
