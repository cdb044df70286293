// The program as a user runs it: the demo script starts the demo data server and the real corvane of this
// build over a tiny atlas 310, in a home of its own; xdotool types and presses keys, ImageMagick captures
// the window, and the server's log shows what reached it.

#include "TestSupport.h"
#include "atlas/AtlasFixture.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

bool WaitFor(const std::function<bool()>& condition, int seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end)
    {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return condition();
}

int FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class ProgramEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
#if !defined(CORVANE_PYTHON) || !defined(CORVANE_DEMO_SERVER)
        GTEST_SKIP() << "no demo server in this build";
#endif
        if (!std::getenv("DISPLAY") || CommandOutput("command -v xdotool import").empty())
            GTEST_SKIP() << "needs an X display, xdotool and ImageMagick";
        for (const char* sub : {"home", "data", "config/Corvane", "cache", "runtime"})
            boost::filesystem::create_directories(m_dir.File(sub));
        boost::filesystem::permissions(m_dir.File("runtime"), boost::filesystem::owner_all);
        m_port = FreePort();
        ASSERT_GT(m_port, 0);
        // The program's Host is this test's server.
        WriteWholeFile(m_dir.File("config/Corvane/Corvane.ini"),
                       "[General]\nHost=http://127.0.0.1:" + std::to_string(m_port) + "\n");
    }

    void TearDown() override
    {
        if (m_demo > 0)
        {
            kill(m_demo, SIGTERM);
            waitpid(m_demo, nullptr, 0);
        }
    }

    // The private home in the environment of a command.
    std::string Environment() const
    {
        return "env HOME=" + Quote(m_dir.File("home")) + " XDG_DATA_HOME=" + Quote(m_dir.File("data")) +
               " XDG_CONFIG_HOME=" + Quote(m_dir.File("config")) + " XDG_CACHE_HOME=" + Quote(m_dir.File("cache")) +
               " XDG_RUNTIME_DIR=" + Quote(m_dir.File("runtime")) + " ";
    }

    void StartDemo()
    {
        const std::string command = Environment() + Quote(std::string(CORVANE_SOURCE_DIR) + "/scripts/demo.sh") + " " +
                                    Quote(std::string(CORVANE_BINARY_DIR) + "/bin") + " --port " +
                                    std::to_string(m_port) + " --profile tiny --log " + Quote(Log()) + " > " +
                                    Quote(m_dir.File("demo.out")) + " 2>&1";
        m_demo = fork();
        if (m_demo == 0)
        {
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    // The demo's exit status once it ends within the time, else -1.
    int WaitForDemo(int seconds)
    {
        int status = -1;
        const bool ended = WaitFor(
            [&] {
                int raw = 0;
                if (waitpid(m_demo, &raw, WNOHANG) != m_demo)
                    return false;
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
                return true;
            },
            seconds);
        if (ended)
            m_demo = -1;
        return ended ? status : -1;
    }

    std::string Log() const
    {
        return m_dir.File("requests.log");
    }
    std::string LogText() const
    {
        return boost::filesystem::exists(Log()) ? ReadBytes(Log()) : std::string();
    }
    std::string Base() const
    {
        return "http://127.0.0.1:" + std::to_string(m_port);
    }

    // Pixels of the window of a magenta hue at any brightness: glyphs are shaded by their expression level,
    // the background is black and the overlays grey.
    long CountMagenta(const std::string& window, const std::string& name)
    {
        const std::string shot = m_dir.File(name);
        CommandOutput("import -window " + window + " " + Quote(shot) + " 2>/dev/null");
        const std::string count =
            CommandOutput("convert " + Quote(shot) +
                          " -alpha off -fx '(r > 0.05 && b > 0.05 && g < 0.4 * min(r, b) && abs(r - b) < 0.15) ? 1 : 0'"
                          " -format '%[fx:round(mean*w*h)]' info: 2>/dev/null");
        return count.empty() ? -1 : std::atol(count.c_str());
    }

    TempDir m_dir;
    int m_port = 0;
    pid_t m_demo = -1;
};

TEST_F(ProgramEndToEndTest, DemoWindowSearchesAddsUrlDataSetAndQuitsCleanly)
{
    StartDemo();
    std::string window;
    ASSERT_TRUE(WaitFor(
        [&] {
            window = CommandOutput("xdotool search --onlyvisible --name '^Ostrel Adult Mouse$' 2>/dev/null | head -1");
            return !window.empty();
        },
        120))
        << ReadBytes(m_dir.File("demo.out"));
    window.erase(window.find_last_not_of(" \n") + 1);

    // A gene and one of its data sets, as the server lists them.
    const std::string answer =
        CommandOutput("python3 -c 'import sys, urllib.request; sys.stdout.write(urllib.request.urlopen(sys.argv[1])"
                      ".read().decode())' " +
                      Quote(Base() + "/search/0310/gene?start=0&num=1&term="));
    std::smatch symbol, series;
    ASSERT_TRUE(std::regex_search(answer, symbol, std::regex("<gene-symbol>([^<]+)</gene-symbol>"))) << answer;
    ASSERT_TRUE(std::regex_search(answer, series, std::regex("<image-series>\\s*<image-series>\\s*<id>(\\d+)</id>")))
        << answer;
    const std::string term = symbol[1];

    // Keys go to the window with the input focus: it is given to the program's window before each step, since
    // windows of other suites may come and go on the same display.
    const std::string focus = "xdotool windowfocus " + window + " 2>/dev/null; sleep 0.1; ";
    CommandOutput(focus + "sleep 0.3; xdotool key --clearmodifiers ctrl+f");
    CommandOutput(focus + "sleep 0.2; xdotool type --delay 40 " + Quote(term) + "; xdotool key Return");
    EXPECT_TRUE(WaitFor([&] { return LogText().find("term=" + term) != std::string::npos; }, 30)) << LogText();

    // The result tab shows the results' thumbnails, fetched from the server and spinning: two shots a moment
    // apart differ (nothing else in the window moves). On a loaded machine the thumbnails may come and start
    // turning late, so pairs of shots are taken for a while.
    EXPECT_TRUE(WaitFor([&] { return LogText().find("/thumbnail") != std::string::npos; }, 30)) << LogText();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const std::string spin1 = m_dir.File("spin1.png");
    const std::string spin2 = m_dir.File("spin2.png");
    std::string moved;
    WaitFor(
        [&] {
            CommandOutput("import -window " + window + " " + Quote(spin1) + " 2>/dev/null");
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            CommandOutput("import -window " + window + " " + Quote(spin2) + " 2>/dev/null");
            moved = CommandOutput("compare -metric AE " + Quote(spin1) + " " + Quote(spin2) + " null: 2>&1");
            return std::atol(moved.c_str()) > 100;
        },
        30);
    EXPECT_GT(std::atol(moved.c_str()), 100) << "thumbnails do not spin: " << moved;

    // The result tab's key equivalent closes it, and the scene is back.
    CommandOutput(focus + "xdotool key --clearmodifiers ctrl+w");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long before = CountMagenta(window, "before.png");
    ASSERT_GE(before, 0);

    // The data set's own colour shows in the "constant" colour mode, which the URL chooses.
    const auto launched = std::chrono::steady_clock::now();
    const std::string url = "corv://127.0.0.1:" + std::to_string(m_port) +
                            "/demo/data?atlas=310&datasets=" + std::string(series[1]) + "(255/0/255)&colormap=constant";
    const int second = std::system((Environment() + Quote(std::string(CORVANE_BINARY_DIR) + "/bin/corvane") + " " +
                                    Quote(url) + " > " + Quote(m_dir.File("second.out")) + " 2>&1")
                                       .c_str());
    EXPECT_EQ(0, second) << ReadBytes(m_dir.File("second.out"));
    EXPECT_LT(std::chrono::steady_clock::now() - launched, std::chrono::seconds(30));
    EXPECT_TRUE(
        WaitFor([&] { return LogText().find("/demo/data/" + std::string(series[1])) != std::string::npos; }, 30));
    long after = 0;
    EXPECT_TRUE(WaitFor(
        [&] {
            after = CountMagenta(window, "after.png");
            return after > before + 200;
        },
        30))
        << before << " magenta pixels before, " << after << " after";

    CommandOutput(focus + "sleep 0.2; xdotool key --clearmodifiers ctrl+q");
    EXPECT_EQ(0, WaitForDemo(60));
    const std::string output = ReadBytes(m_dir.File("demo.out"));
    EXPECT_EQ(std::string::npos, output.find("Sanitizer")) << output;
    EXPECT_EQ(std::string::npos, output.find("runtime error")) << output;
    const std::string settings = ReadBytes(m_dir.File("config/Corvane/Corvane.ini"));
    for (const char* key : {"OntologyViewMode", "ExpandedDisplayMode", "ImageControlsVisible"})
        EXPECT_NE(std::string::npos, settings.find(key)) << key << " not in\n" << settings;
    // Every request of the program carried its user agent (the test's own look-up is Python's).
    std::istringstream lines(LogText());
    for (std::string line; std::getline(lines, line);)
    {
        if (line.find("Python-urllib") == std::string::npos)
        {
            EXPECT_NE(std::string::npos, line.find("\"user_agent\": \"Corvane/")) << line;
        }
    }
}

// The rat atlas with volume rendering on, run by a copy of the program whose data folder lacks the
// transform library: the window opens on the scene, its structures drawn, and the log names the library
// once.
TEST_F(ProgramEndToEndTest, RatSceneWithoutItsTransformLibraryStillOpens)
{
    namespace fs = boost::filesystem;
    const fs::path program = m_dir.File("program");
    fs::create_directories(program / "bin");
    boost::system::error_code linked;
    fs::create_hard_link(std::string(CORVANE_BINARY_DIR) + "/bin/corvane", program / "bin" / "corvane", linked);
    if (linked)
        fs::copy_file(std::string(CORVANE_BINARY_DIR) + "/bin/corvane", program / "bin" / "corvane");
    const fs::path data = program / "share" / "corvane";
    fs::create_directories(data);
    for (fs::recursive_directory_iterator entry(std::string(CORVANE_BINARY_DIR) + "/share/corvane"), end; entry != end;
         ++entry)
    {
        const fs::path relative = fs::relative(entry->path(), std::string(CORVANE_BINARY_DIR) + "/share/corvane");
        if (fs::is_directory(entry->path()))
            fs::create_directories(data / relative);
        else if (relative.filename().string().find("ItkTransform") == std::string::npos)
            fs::copy_file(entry->path(), data / relative);
    }
    ASSERT_NO_THROW(GenerateAtlas("micro", 50000, m_dir.File("data/Corvane 2/Atlases/50000")));
    WriteWholeFile(m_dir.File("config/Corvane/Corvane.ini"),
                   "[General]\nHost=http://127.0.0.1:" + std::to_string(m_port) +
                       "\nVolumeRenderingActive=true\nAutomaticVersionCheck=false\nLastVersionRun=2000000000\n");

    const std::string errors = m_dir.File("rat.err");
    const std::string command = Environment() + Quote((program / "bin" / "corvane").string()) + " > " +
                                Quote(m_dir.File("rat.out")) + " 2> " + Quote(errors);
    m_demo = fork();
    if (m_demo == 0)
    {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string window;
    ASSERT_TRUE(WaitFor(
        [&] {
            window = CommandOutput("xdotool search --onlyvisible --name '^Ostrel Waxholm Rat$' 2>/dev/null | head -1");
            return !window.empty();
        },
        120))
        << ReadBytes(errors);
    window.erase(window.find_last_not_of(" \n") + 1);

    // The scene was set up: its compass corner lays a square of dark grey (about 26 of 255) over the black
    // scene, some 180 pixels a side. A window whose scene could not be set up shows a black view.
    const std::string shot = m_dir.File("rat.png");
    std::string grey;
    WaitFor(
        [&] {
            CommandOutput("import -window " + window + " " + Quote(shot) + " 2>/dev/null");
            grey = CommandOutput("convert " + Quote(shot) +
                                 " -alpha off -fx '(abs(r - g) < 0.02 && abs(g - b) < 0.02 && r > 0.06 && r < 0.14)"
                                 " ? 1 : 0' -format '%[fx:round(mean*w*h)]' info: 2>/dev/null");
            return std::atol(grey.c_str()) > 10000;
        },
        30);
    EXPECT_GT(std::atol(grey.c_str()), 10000) << "no scene in " << shot;

    const std::string focus = "xdotool windowfocus " + window + " 2>/dev/null; sleep 0.1; ";
    CommandOutput(focus + "sleep 0.2; xdotool key --clearmodifiers ctrl+q");
    EXPECT_EQ(0, WaitForDemo(60));
    const std::string log = ReadBytes(errors);
    const std::string library = (fs::canonical(data) / "libItkTransform.so").string();
    std::size_t lines = 0;
    for (std::size_t at = log.find(library); at != std::string::npos; at = log.find(library, at + 1))
        ++lines;
    EXPECT_EQ(1u, lines) << log;
    EXPECT_NE(std::string::npos, log.find("Transform library not available.")) << log;
    EXPECT_EQ(std::string::npos, log.find("Sanitizer")) << log;
}

} // namespace
