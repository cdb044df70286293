// The program as a new user meets it: the demo script starts the demo data server on a free port and the
// real corvane of this build over a tiny atlas 310, in a home of its own; xdotool opens menus, types, clicks
// and presses keys as the README says, menu items are found by their texts, the window is captured by its id,
// ImageMagick measures the captures, and the server's log shows what reached it. On a failure the captures are
// kept in the build tree (the path is printed).

#include "TestSupport.h"
#include "atlas/AtlasFixture.h"
#include "ProgramDriving.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

std::string Trimmed(std::string text)
{
    text.erase(text.find_last_not_of(" \n") + 1);
    return text;
}

std::size_t Occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Places in the window (1120 x 700 at first; clicks are placed relative to it).
// The scene's crop leaves out the compass, the threshold overlay and the attribution line.
const char* const SCENE = "470x560+10+62";
const char* const CELLS = "650x420+10+100";        // the result tab's thumbnail cells
const char* const STATUS_LINE = "370x14+120+82";   // the result tab's status text, left of the compass
const char* const DATA_SET_ROW = "300x16+680+502"; // the first row of the data-set table
struct Point
{
    int x, y;
};
const Point SECTION_BUTTONS[3] = {{115, 36}, {145, 36}, {175, 36}};
const Point CUTTING_PLANES_BUTTON = {251, 36};
const Point BOOKMARKS_PANE = {1002, 68};
// The first row of the second column: not the data set of the README's corv URL, which would then be
// loaded already.
const Point SECOND_COLUMN_DOWNLOAD = {432, 176};
const Point CORONAL_BOOKMARK = {914, 152}; // the first of the default "Views"
const Point STRUCTURE_ROW = {790, 166};    // the cerebral cortex in the structure outline
const Point DATA_SET_POINT = {830, 510};   // the first row of the data-set table
const Point TOOLBAR_SPACE = {600, 36};     // the toolbar's flexible space
const Point NEW_BOOKMARK = {860, 236};     // a bookmark added after them

// Colour tests on a capture, as ImageMagick -fx expressions: lit meshes are coloured and shaded, from
// bright to mid tones; the unlit ones were near-black grey.
const char* const CHROMA = "(max(r,max(g,b))-min(r,min(g,b)))";
const char* const VALUE = "max(r,max(g,b))";

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
        for (const char* sub : {"home", "data", "config/Corvane", "cache", "runtime", "shots"})
            boost::filesystem::create_directories(m_dir.File(sub));
        boost::filesystem::permissions(m_dir.File("runtime"), boost::filesystem::owner_all);
        m_port = FreePort();
        ASSERT_GT(m_port, 0);
        // The user's own settings name a server that does not answer: the demo must not use them, nor
        // change them.
        WriteWholeFile(UserSettings(), m_userSettings);
    }

    void TearDown() override
    {
        m_demo.Stop();
        if (HasFailure())
        {
            const std::string kept = std::string(CORVANE_BINARY_DIR) + "/tests/app/journey-captures";
            CommandOutput("rm -rf " + Quote(kept) + "; mkdir -p " + Quote(kept) + "; cp " + Quote(m_dir.File("shots")) +
                          "/*.png " + Quote(m_dir.Path()) + "/*.out " + Quote(Log()) + " " + Quote(m_menus.Path()) +
                          " " + Quote(kept) + " 2>/dev/null");
            std::cerr << "The journey's captures, outputs and request log are kept in " << kept << "\n";
        }
    }

    std::string UserSettings() const
    {
        return m_dir.File("config/Corvane/Corvane.ini");
    }

    // The private home in the environment of a command.
    std::string Environment() const
    {
        return "env HOME=" + Quote(m_dir.File("home")) + " XDG_DATA_HOME=" + Quote(m_dir.File("data")) +
               " XDG_CONFIG_HOME=" + Quote(m_dir.File("config")) + " XDG_CACHE_HOME=" + Quote(m_dir.File("cache")) +
               " XDG_RUNTIME_DIR=" + Quote(m_dir.File("runtime")) + " CORVANE_MENU_MAP=" + Quote(m_menus.Path()) + " ";
    }

    std::string DemoCommand(const std::string& port, const std::string& output, const std::string& environment) const
    {
        return Environment() + environment + Quote(std::string(CORVANE_SOURCE_DIR) + "/scripts/demo.sh") + " " +
               Quote(std::string(CORVANE_BINARY_DIR) + "/bin") + " --port " + Quote(port) + " --profile tiny --log " +
               Quote(Log()) + " > " + Quote(m_dir.File(output)) + " 2>&1";
    }
    void StartDemo(const std::string& output, const std::string& environment = std::string())
    {
        m_demo.Start(DemoCommand(std::to_string(m_port), output, environment));
    }
    // A run of the demo that is due to be refused at once: its exit status and the output's text.
    std::pair<int, std::string> RefusedDemo(const std::string& port)
    {
        const int status = std::system(("timeout 60 " + DemoCommand(port, "refused.out", "")).c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(m_dir.File("refused.out"))};
    }

    // The document window once it shows, else empty.
    std::string AwaitWindow(int seconds)
    {
        m_window = ::AwaitWindow("^Ostrel Adult Mouse$", seconds);
        return m_window;
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

    void Keys(const std::string& keys, const std::string& window = std::string())
    {
        EXPECT_TRUE(PressKeys(window.empty() ? m_window : window, keys)) << keys;
    }
    void Menu(const std::vector<std::string>& path)
    {
        std::string why;
        EXPECT_TRUE(m_menus.Choose(m_window, path, &why)) << why;
    }
    void Click(Point at)
    {
        ClickAt(m_window, at.x, at.y);
    }
    // The keys reach the program in the order sent, and Ctrl+F moves the focus to the field as it handles its
    // key: the term follows it there. The request in the server's log is the state that the next step needs.
    void Search(const std::string& term, bool served = true)
    {
        const std::size_t from = FileSize(Log());
        Keys("ctrl+f");
        TypeText(term);
        CommandOutput("timeout 20 xdotool key Return");
        EXPECT_TRUE(!served || WaitForText(Log(), "term=" + term, from, 30)) << term;
    }
    // A second launch of the program with one argument: it hands the argument on and ends.
    int Launch(const std::string& argument, const std::string& output)
    {
        return std::system((Environment() + Quote(std::string(CORVANE_BINARY_DIR) + "/bin/corvane") + " " +
                            Quote(argument) + " > " + Quote(m_dir.File(output)) + " 2>&1")
                               .c_str());
    }

    // A capture of a window (the document's by default) under the shots folder.
    std::string Shot(const std::string& name, const std::string& window = std::string())
    {
        const std::string path = m_dir.File("shots/" + name + ".png");
        EXPECT_TRUE(CaptureWindow(window.empty() ? m_window : window, path)) << name;
        return path;
    }
    // Pixels of a region of a capture for which an -fx test holds.
    // Every other pixel of every other row is tested (-fx is slow on a loaded machine); the count is scaled
    // back to the whole region.
    static long Count(const std::string& shot, const std::string& region, const std::string& test)
    {
        const std::string count = CommandOutput(
            "timeout 30 convert " + Quote(shot) + " -crop " + region + " +repage -alpha off -sample 50% -fx " +
            Quote("(" + test + ") ? 1 : 0") + " -format '%[fx:round(4*mean*w*h)]' info: 2>/dev/null");
        return count.empty() ? -1 : std::atol(count.c_str());
    }
    // Pixels of a region that differ between two captures.
    static long Difference(const std::string& a, const std::string& b, const std::string& region)
    {
        const std::string out = CommandOutput("timeout 30 compare -metric AE -fuzz 8% -extract " + region + " " +
                                              Quote(a) + " " + Quote(b) + " null: 2>&1");
        return out.empty() ? -1 : std::atol(out.c_str());
    }
    static long BrightColour(const std::string& shot, const std::string& region)
    {
        return Count(shot, region, std::string(CHROMA) + " > 0.12 && " + VALUE + " > 0.6");
    }
    static long MidColour(const std::string& shot, const std::string& region)
    {
        return Count(shot, region, std::string(CHROMA) + " > 0.06 && " + VALUE + " > 0.15 && " + VALUE + " <= 0.6");
    }
    // Whether the scene is shown rather than a result tab, whose status line has text.
    static bool SceneShown(const std::string& shot)
    {
        return Count(shot, STATUS_LINE, "min(r,min(g,b)) > 0.6") < 5;
    }
    // The same view once it stops changing over half a second (a bookmark animates the camera) and the
    // shot shows what is awaited: on a busy machine the animation may begin only after two equal shots.
    std::string SteadyShot(const std::string& name, const std::function<bool(const std::string&)>& awaited = {})
    {
        std::string previous = Shot(name + "-a");
        std::string current;
        WaitFor(
            [&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                current = Shot(name);
                const bool steady = Difference(previous, current, SCENE) == 0;
                CommandOutput("cp " + Quote(current) + " " + Quote(previous));
                return steady && (!awaited || awaited(current));
            },
            30);
        return current;
    }

    // The lit meshes of a structure preset in the frame that follows the command, without a tab switch.
    std::string ShowsLitMeshes(const std::string& item, const std::string& name)
    {
        Menu({"Structure", item});
        std::string shot;
        long bright = 0, mid = 0;
        WaitFor(
            [&] {
                shot = Shot(name);
                bright = BrightColour(shot, SCENE);
                mid = MidColour(shot, SCENE);
                return bright > 2000 && mid > 500;
            },
            20);
        EXPECT_GT(bright, 2000) << name << ": no lit, coloured meshes";
        EXPECT_GT(mid, 500) << name << ": the meshes are not shaded";
        return shot;
    }

    // The records of a search as the server answers them: the series ids.
    std::vector<std::string> Served(const std::string& term)
    {
        const std::string answer =
            CommandOutput("python3 -c 'import sys, urllib.request; sys.stdout.write(urllib.request.urlopen(sys.argv[1])"
                          ".read().decode())' " +
                          Quote(Base() + "/search/0310/gene?start=0&num=10&term=" + term));
        // Each record's series id: <image-series> <image-series> <id>N</id>.
        std::vector<std::string> ids;
        const auto skip = [&](std::size_t at, const std::string& tag) {
            at = answer.find_first_not_of(" \t\r\n", at);
            return at != std::string::npos && answer.compare(at, tag.size(), tag) == 0 ? at + tag.size()
                                                                                       : std::string::npos;
        };
        for (std::size_t at = answer.find("<image-series>"); at != std::string::npos;
             at = answer.find("<image-series>", at + 1))
        {
            std::size_t id = skip(at + 14, "<image-series>");
            id = id == std::string::npos ? id : skip(id, "<id>");
            if (id != std::string::npos)
                ids.push_back(answer.substr(id, answer.find('<', id) - id));
        }
        return ids;
    }

    // A process of the demo whose command line holds the text, else -1.
    pid_t DemoProcess(const std::string& part) const
    {
        for (pid_t pid : GroupMembers(m_demo.Group()))
        {
            if (ProcessFile(pid, "cmdline").find(part) != std::string::npos)
                return pid;
        }
        return -1;
    }
    pid_t ServerProcess() const
    {
        return DemoProcess("corvane-demo-server.py");
    }

    // The atlas download window once it shows, else empty.
    static std::string AwaitDownloadWindow(int seconds = 20)
    {
        return ::AwaitWindow("^Download Atlases$", seconds);
    }

    // The download window lists the demo's three atlases, one a row: the installed one and the two of the
    // demo server's own folder.
    void ExpectCatalogueRows(const std::string& window, const std::string& name)
    {
        std::vector<long> listed(3, 0);
        EXPECT_TRUE(WaitFor(
            [&] {
                const std::string shot = Shot(name, window);
                for (std::size_t row = 0; row < listed.size(); ++row)
                    listed[row] = Count(shot, "460x30+10+" + std::to_string(50 + 30 * row), "max(r,max(g,b)) < 0.4");
                return *std::min_element(listed.begin(), listed.end()) > 40;
            },
            20))
            << "text pixels of the rows: " << listed[0] << ", " << listed[1] << ", " << listed[2];
    }

    // A window of the program other than the document's, once one shows.
    std::string OtherWindow(int seconds)
    {
        std::string other;
        WaitFor(
            [&] {
                for (const std::string& id : ShownWindows())
                    if (id != m_window)
                        other = id;
                return !other.empty();
            },
            seconds);
        return other;
    }

    // By Ctrl+Q, or by TERM to the demo script, which hands it on to the viewer (a logout, Ctrl+C in its
    // terminal): either way the viewer ends as Quit does, with status 0.
    void ExpectCleanQuit(const std::string& output, bool terminated = false)
    {
        const pid_t script = terminated ? DemoProcess(std::string("/scripts/demo.sh") + '\0') : 0;
        ASSERT_GE(script, 0);
        if (terminated)
            ASSERT_EQ(0, kill(script, SIGTERM));
        else
            Keys("ctrl+q");
        EXPECT_EQ(0, m_demo.WaitForExit(60)) << (terminated ? "TERM" : "Ctrl+Q");
        const std::string text = ReadBytes(m_dir.File(output));
        EXPECT_EQ(std::string::npos, text.find("Sanitizer")) << text;
        EXPECT_EQ(std::string::npos, text.find("runtime error")) << text;
    }

    TempDir m_dir;
    int m_port = 0;
    ProgramProcess m_demo;
    MenuMap m_menus{m_dir.File("menus.txt")};
    std::string m_window;
    const std::string m_userSettings = "[General]\nHost=http://127.0.0.1:9\nAutoRotateView=false\n";
};

// How a user answers what a command shows: the window's name, the text typed into its focused field and the
// keys pressed after it (a choice in a pop-up), the key that ends it, and whether that answer is due to bring
// an alert. Every such window is first cancelled with Escape, then answered.
struct Answer
{
    Answer(std::string shown, std::string typed = {}, bool alerted = false, std::string closing = "Return",
           std::string pressed = {})
        : window(std::move(shown))
        , input(std::move(typed))
        , keys(std::move(pressed))
        , alert(alerted)
        , close(std::move(closing))
    {
    }
    std::string window; // empty: the command shows an alert at once
    std::string input, keys;
    bool alert;
    std::string close;
    // The closing key sent twice while the program is busy, as a held key's repeat reaches a panel that the
    // first press has already closed.
    bool repeated = false;
};

// Every command of the program, as a user meets it: each item of the menu bar's menus and their submenus, of
// the toolbar and of the context menus, chosen once in the real program. The items are read from the
// program's own menus as they open, so a new command is swept without a change here. After each, the program
// still runs, no window is left that the command should not have shown, and no sanitizer report and no Qt
// warning reached its output.
class CommandSweep
{
public:
    CommandSweep(MenuMap& menus, std::string output, std::string shots, std::function<bool()> running)
        : m_menus(menus)
        , m_output(std::move(output))
        , m_shots(std::move(shots))
        , m_running(std::move(running))
    {
    }

    // The document window that the commands go to; the windows of earlier documents stay open.
    void SetWindow(const std::string& window)
    {
        m_window = window;
        m_documents.push_back(window);
    }
    void SetAnswers(std::map<std::string, Answer> answers) { m_answers = std::move(answers); }
    int Chosen() const { return m_chosen; }
    // A window that the program shows besides its documents, pop-ups left out: an alert or a dialog.
    std::string Alert() { return Others(false); }
    const std::string& Skipped() const { return m_skipped; }

    // The items of a menu of the menu bar (with its submenus), each chosen once; items that end the window's
    // state come after the others.
    void SweepMenu(const std::vector<std::string>& path)
    {
        std::vector<MenuMap::Item> items = OpenMenu(path);
        CloseMenus();
        std::stable_partition(items.begin(), items.end(), [](const MenuMap::Item& item) { return !Ends(item.text); });
        for (const MenuMap::Item& listed : items)
        {
            if (Special(listed.text))
                continue;
            std::vector<std::string> itemPath = path;
            itemPath.push_back(listed.text);
            std::vector<MenuMap::Item> now;
            std::vector<MenuMap::Item>::const_iterator item;
            const auto enabled = [&] {
                now = OpenMenu(path);
                item = std::find_if(now.begin(), now.end(), [&](auto& i) { return i.text == listed.text; });
                const bool on = item != now.end() && item->enabled;
                if (!on)
                    CloseMenus();
                return on;
            };
            // Most commands act on the scene: a result tab that an earlier command opened is closed first.
            if (!enabled() && !(CloseResultTabs() && enabled()))
            {
                m_skipped += " \"" + Join(itemPath) + "\"";
                continue;
            }
            if (ClickItem(*item, m_menus.Size()))
                SweepMenu(itemPath);
            else
                Answered(
                    itemPath, [&] { return ChooseAgain(OpenMenu(path), listed.text); }, item->checked);
        }
    }

    // The items of a context menu that a right click at a point of the window opens.
    void SweepContextMenu(const std::string& name, int x, int y)
    {
        const auto open = [&] {
            const std::size_t from = m_menus.Size();
            std::vector<MenuMap::Item> shown;
            // At three test processes a core, one right click in a few runs opened no menu while a second one,
            // as a user would make, did: the journey is about the commands, so it makes the second one.
            for (int click = 0; click < 2 && shown.empty(); ++click)
            {
                ClickAt(m_window, x, y, 3);
                shown = ShownMenu(m_menus, from);
            }
            return std::make_pair(from, shown);
        };
        const std::vector<MenuMap::Item> items = open().second;
        if (items.empty())
            CaptureWindow(m_window, m_shots + "/no-menu-" + name + ".png");
        EXPECT_FALSE(items.empty()) << "no context menu in " << name << "; shown: " << Shown();
        CloseMenus();
        for (const MenuMap::Item& listed : items)
        {
            const auto [from, now] = open();
            const auto item = std::find_if(now.begin(), now.end(), [&](auto& i) { return i.text == listed.text; });
            if (item == now.end() || !item->enabled)
            {
                CloseMenus();
                m_skipped += " \"" + name + " > " + listed.text + "\"";
                continue;
            }
            ClickItem(*item, m_menus.Size());
            Answered(
                {name, listed.text}, [&] { return ChooseAgain(open().second, listed.text); }, item->checked);
        }
    }

    // Each item of the toolbar, clicked twice so that a toggle is left as it was.
    void SweepToolbar()
    {
        std::vector<MenuMap::Item> tools;
        for (const MenuMap::Item& item : m_menus.Items())
            if (item.kind == "tool" && item.window == m_window)
                tools.push_back(item);
        EXPECT_FALSE(tools.empty()) << "no toolbar";
        for (const MenuMap::Item& item : tools)
            for (int click = 0; click < 2 && item.enabled; ++click)
            {
                ClickCentre(item);
                Check({"Toolbar", item.text});
            }
        PointerAway();
    }

    // The program runs, shows no window besides the document's, and printed nothing of a fault since the last
    // check.
    void Check(const std::vector<std::string>& path, bool running = true)
    {
        ++m_chosen;
        const std::string at = Join(path);
        // A pop-up on its way out (a file field's completions) is not one left up.
        std::string other;
        if (!WaitFor([&] { return (other = Others()).empty(); }, 10))
        {
            const std::string shot = m_shots + "/left-" + std::to_string(m_chosen) + ".png";
            CaptureWindow(other, shot);
            ADD_FAILURE() << at << " left a window up: " << Trimmed(CommandOutput("xdotool getwindowname " + other))
                          << " (" << shot << "); shown: " << Shown() << m_answered;
            DismissOthers();
        }
        EXPECT_EQ(running, m_running()) << at << (running ? " ended the program" : " left the program running");
        const std::string text = ReadBytes(m_output);
        const std::string added = text.substr(std::min(m_checked, text.size()));
        m_checked = text.size();
        std::istringstream lines(added);
        for (std::string line; std::getline(lines, line);)
        {
            // Qt's own word on a web page that it could not open: the program says so in an alert.
            if (line.find("Unable to detect a web browser") != std::string::npos)
                continue;
            for (const char* fault : {"Sanitizer", "runtime error", "[qt warning]", "[qt critical]", "[qt fatal]"})
                EXPECT_EQ(std::string::npos, line.find(fault)) << at << " printed:\n" << added;
        }
    }

private:
    static bool Ends(const std::string& text)
    {
        for (const char* ending : {"Remove Data Set", "Delete", "Close Tab", "New Tab", "Next Tab", "Previous Tab"})
            if (text == ending)
                return true;
        return false;
    }
    // Chosen by the test itself at its own time: they end the document or the program.
    static bool Special(const std::string& text)
    {
        return text == "New" || text == "Close Window" || text == "Quit Corvane";
    }
    static std::string Join(const std::vector<std::string>& path)
    {
        std::string joined;
        for (const std::string& part : path)
            joined += (joined.empty() ? "" : " > ") + part;
        return joined;
    }

    std::vector<MenuMap::Item> OpenMenu(const std::vector<std::string>& path)
    {
        std::string why;
        std::vector<MenuMap::Item> items = m_menus.Open(m_window, path, &why);
        EXPECT_FALSE(items.empty()) << why;
        return items;
    }
    // Clicks an item of an open menu: true when it opened a submenu (left open), false once every menu closed.
    bool ClickItem(const MenuMap::Item& item, std::size_t from)
    {
        ClickCentre(item);
        bool submenu = false;
        EXPECT_TRUE(WaitFor(
            [&] {
                for (const MenuMap::Item& shown : m_menus.Items(from))
                    submenu = submenu || (shown.kind == "menu" && shown.menu == item.text);
                return submenu || !WindowShown(item.window);
            },
            30))
            << item.text << ": the menu stayed open";
        if (submenu)
            CloseMenus();
        PointerAway();
        return submenu;
    }
    // File > Close Tab while it is enabled; whether a tab was closed.
    bool CloseResultTabs()
    {
        for (bool closed = false;; closed = true)
        {
            const std::vector<MenuMap::Item> file = OpenMenu({"File"});
            const auto close = std::find_if(file.begin(), file.end(), [](auto& i) { return i.text == "Close Tab"; });
            if (close == file.end() || !close->enabled)
            {
                CloseMenus();
                return closed;
            }
            ClickItem(*close, m_menus.Size());
        }
    }
    bool ChooseAgain(const std::vector<MenuMap::Item>& menu, const std::string& text)
    {
        const auto item = std::find_if(menu.begin(), menu.end(), [&](auto& i) { return i.text == text; });
        return item != menu.end() && !ClickItem(*item, m_menus.Size());
    }
    // Escape until no menu of the program is shown.
    void CloseMenus()
    {
        EXPECT_TRUE(WaitFor(
            [&] {
                const bool open = !Others().empty();
                if (open)
                    CommandOutput("timeout 20 xdotool key Escape");
                return !open;
            },
            30));
    }

    // A command that shows a window: cancelled once, then chosen again and answered. A checked item (a part of
    // the toolbar shown, a view shown) is chosen again, so that it is left as it was.
    void Answered(const std::vector<std::string>& path, const std::function<bool()>& chooseAgain, bool checked)
    {
        const auto found = m_answers.find(path.back());
        if (found == m_answers.end())
        {
            Check(path);
            if (checked)
            {
                EXPECT_TRUE(chooseAgain()) << Join(path);
                Check(path);
            }
            return;
        }
        const Answer& answer = found->second;
        const std::string at = Join(path);
        if (!answer.window.empty())
        {
            std::string shown = ::AwaitWindow(answer.window, 60);
            if (shown.empty())
                CaptureWindow(m_window, m_shots + "/not-shown-" + std::to_string(m_chosen) + ".png");
            ASSERT_FALSE(shown.empty()) << at << " showed no window " << answer.window;
            EXPECT_TRUE(PressKeys(shown, "Escape") && WaitForGone(shown, 30)) << at << ": Escape";
            Check(path);
            ASSERT_TRUE(chooseAgain()) << at;
            shown = ::AwaitWindow(answer.window, 60);
            ASSERT_FALSE(shown.empty()) << at << " showed no window " << answer.window << " again";
            EXPECT_TRUE(Focus(shown));
            if (!answer.input.empty())
                TypeText(answer.input);
            if (!answer.keys.empty())
            {
                EXPECT_TRUE(PressKeys(shown, answer.keys)) << at;
            }
            EXPECT_TRUE((answer.repeated ? PressTwiceWhileBusy(shown, answer.close) : PressKeys(shown, answer.close)) &&
                        WaitForGone(shown, 30))
                << at << ": " << answer.close;
        }
        if (answer.alert)
        {
            std::string alert;
            EXPECT_TRUE(WaitFor([&] { return !(alert = Others(false)).empty(); }, 60)) << at << ": no alert";
            // Kept for the report of a window left up: what was taken for the alert and answered.
            const std::string shot = m_shots + "/answered-" + std::to_string(m_chosen + 1) + ".png";
            if (!alert.empty())
                CaptureWindow(alert, shot);
            m_answered = "; answered " + alert + " among " + Shown() + "(" + shot + ")";
            EXPECT_TRUE(alert.empty() || (PressKeys(alert, "Return") && WaitForGone(alert, 30))) << at;
        }
        Check(path);
    }

    // The program stopped while the keys go out: both presses queue for the window that had the keyboard.
    static bool PressTwiceWhileBusy(const std::string& window, const std::string& keys)
    {
        const pid_t pid = std::atoi(CommandOutput("timeout 20 xdotool getwindowpid " + window).c_str());
        if (pid <= 0 || !Focus(window) || kill(pid, SIGSTOP) != 0)
            return false;
        CommandOutput("timeout 20 xdotool key --clearmodifiers " + keys + " " + keys);
        return kill(pid, SIGCONT) == 0;
    }

    // The shown windows of the program other than the document's: menus, dialogs, alerts.
    // With pop-ups left out: a menu that the window system has not yet taken away or a completion list on its
    // way out, as on a loaded machine, is not the alert that a command brought.
    std::string Others(bool popUps = true)
    {
        for (const std::string& id : ShownWindows())
            if (std::find(m_documents.begin(), m_documents.end(), id) == m_documents.end() && (popUps || !PopUp(id)))
                return id;
        return {};
    }
    // Every shown window of the program, with its name, for a report.
    std::string Shown() const
    {
        std::string shown;
        for (const std::string& id : ShownWindows())
            shown += id + " \"" + Trimmed(CommandOutput("xdotool getwindowname " + id)) + "\"" +
                     (PopUp(id) ? " (pop-up) " : " ");
        return shown;
    }
    void DismissOthers()
    {
        WaitFor(
            [&] {
                const std::string other = Others();
                if (!other.empty())
                    PressKeys(other, "Escape");
                return other.empty() || WaitForGone(other, 2);
            },
            30);
    }

    MenuMap& m_menus;
    const std::string m_output, m_shots;
    const std::function<bool()> m_running;
    std::string m_window;
    std::vector<std::string> m_documents;
    std::map<std::string, Answer> m_answers;
    std::string m_answered;
    std::size_t m_checked = 0;
    int m_chosen = 0;
    std::string m_skipped;
};

TEST_F(ProgramEndToEndTest, NewUsersJourneyThroughTheReadme)
{
    // The demo refuses a folder in the way of the atlas that it would generate, and leaves it as it is.
    const std::string inTheWay = m_dir.File("data/Corvane 2/Atlases/310/notes.txt");
    boost::filesystem::create_directories(m_dir.File("data/Corvane 2/Atlases/310"));
    WriteWholeFile(inTheWay, "kept");
    EXPECT_NE(std::string::npos, RefusedDemo(std::to_string(m_port)).second.find("holds no atlas 310"));
    EXPECT_EQ("kept", ReadBytes(inTheWay));
    boost::filesystem::remove_all(m_dir.File("data/Corvane 2/Atlases/310"));

    // The first window opens; every request built on the server address reaches the demo server, among them
    // the catalogue of a first run.
    StartDemo("demo.out");
    ASSERT_FALSE(AwaitWindow(120).empty()) << ReadBytes(m_dir.File("demo.out"));
    EXPECT_TRUE(WaitFor([&] { return LogText().find("/Corvane2/atlases.xml") != std::string::npos; }, 30)) << LogText();
    // The demo names its own settings file to the viewer and leaves the user's configuration folder, which
    // holds the desktop's settings too, in force.
    const std::string environment =
        '\0' + ReadBytes("/proc/" + Trimmed(CommandOutput("xdotool getwindowpid " + m_window)) + "/environ");
    EXPECT_NE(std::string::npos,
              environment.find('\0' + std::string("XDG_CONFIG_HOME=") + m_dir.File("config") + '\0'));
    EXPECT_NE(std::string::npos, environment.find('\0' + std::string("CORVANE_SETTINGS_FILE=") +
                                                  m_dir.File("config/corvane-demo/Corvane/Corvane.ini") + '\0'));
    // INT ends it as TERM does: it does not come ignored, as to a script's background job.
    const pid_t viewer = std::atoi(CommandOutput("xdotool getwindowpid " + m_window).c_str());
    const std::string dispositions = ProcessFile(viewer, "status");
    const std::size_t ignored = dispositions.find("SigIgn:");
    ASSERT_NE(std::string::npos, ignored) << dispositions;
    EXPECT_EQ(0u, std::stoull(dispositions.substr(ignored + 7), nullptr, 16) & (1ull << (SIGINT - 1)));
    // A second run beside it says so and changes nothing. The viewer notes the catalogue's check in the
    // settings once it has the answer, which comes after the server's log line.
    const std::string demoIni = m_dir.File("config/corvane-demo/Corvane/Corvane.ini");
    ASSERT_TRUE(WaitFor([&] { return ReadBytes(demoIni).find("LastVersionCheck=") != std::string::npos; }, 30));
    const std::string settings = ReadBytes(demoIni);
    const auto [refused, said] = RefusedDemo(std::to_string(FreePort()));
    EXPECT_EQ(1, refused) << said;
    EXPECT_NE(std::string::npos, said.find("a demo viewer already runs (process " + std::to_string(viewer) + ")"))
        << said;
    EXPECT_EQ(settings, ReadBytes(demoIni));
    // That first check finds the atlases that the demo server offers besides the installed one: the download
    // window comes forward with them, and is closed.
    const std::string offer = AwaitDownloadWindow();
    ASSERT_FALSE(offer.empty());
    ExpectCatalogueRows(offer, "offer");
    Keys("Escape", offer);
    EXPECT_TRUE(WaitFor([&] { return AwaitDownloadWindow(0).empty(); }, 20));

    // Structure > Show Searchable Structures, then Show Inner Structures: each draws lit, coloured meshes at
    // once, and not the same ones.
    const std::string searchable = ShowsLitMeshes("Show Searchable Structures", "searchable");
    const std::string inner = ShowsLitMeshes("Show Inner Structures", "inner");
    EXPECT_GT(Difference(searchable, inner, SCENE), 2000);
    Menu({"Structure", "Deselect Structures"});
    EXPECT_TRUE(WaitFor([&] { return BrightColour(Shot("deselected"), SCENE) < 100; }, 20));

    // The README's searches: each opens a result tab whose rows' thumbnails are fetched and drawn.
    for (const std::string term : {"Bad6", "Cx"})
    {
        const std::vector<std::string> ids = Served(term);
        ASSERT_FALSE(ids.empty()) << term << " finds nothing on the demo server";
        Search(term);
        EXPECT_TRUE(WaitFor([&] { return LogText().find("/" + ids.back() + "/thumbnail") != std::string::npos; }, 30))
            << term << ": no thumbnail of the last row was fetched";
        long drawn = 0;
        EXPECT_TRUE(WaitFor(
            [&] {
                drawn = Count(Shot("search-" + term), CELLS, std::string(CHROMA) + " > 0.15");
                return drawn > 150 * static_cast<long>(ids.size());
            },
            30))
            << term << ": " << drawn << " thumbnail pixels for " << ids.size() << " rows";
    }

    // Download of a result: its data set comes from the server and shows in the scene.
    Click(SECOND_COLUMN_DOWNLOAD);
    EXPECT_TRUE(WaitFor([&] { return LogText().find("/visualize") != std::string::npos; }, 30)) << LogText();
    // Closing the result tab ends its downloads: the data set must have arrived, a row of the data-set table.
    EXPECT_TRUE(WaitFor([&] { return Count(Shot("arrived"), DATA_SET_ROW, "min(r,min(g,b)) < 0.6") > 1000; }, 30));
    // Both searches share the one result tab; closing it shows the scene.
    Keys("ctrl+w");
    long glyphs = 0;
    EXPECT_TRUE(WaitFor(
        [&] {
            const std::string shot = Shot("downloaded");
            glyphs = Count(shot, SCENE, std::string(CHROMA) + " > 0.15");
            return glyphs > 300 && SceneShown(shot);
        },
        30))
        << glyphs << " coloured pixels in the scene after the download";

    // The README's corv URL, on this run's port, from a second launch: its data set in magenta.
    const std::string magenta = "r > 0.05 && b > 0.05 && g < 0.4 * min(r, b) && abs(r - b) < 0.15";
    const long before = Count(Shot("before-url"), SCENE, magenta);
    const std::string url = "corv://127.0.0.1:" + std::to_string(m_port) +
                            "/demo/data?atlas=310&datasets=3100044(255/0/255)&colormap=constant";
    EXPECT_EQ(0, Launch(url, "second.out")) << ReadBytes(m_dir.File("second.out"));
    EXPECT_TRUE(WaitFor([&] { return LogText().find("/demo/data/3100044") != std::string::npos; }, 30));
    long after = 0;
    EXPECT_TRUE(WaitFor(
        [&] {
            after = Count(Shot("after-url"), SCENE, magenta);
            return after > before + 200;
        },
        30))
        << before << " magenta pixels before, " << after << " after";

    // The three atlas sections and the cutting planes each change the scene.
    std::string previous = Shot("no-sections");
    int step = 0;
    for (const Point& button : {SECTION_BUTTONS[0], SECTION_BUTTONS[1], SECTION_BUTTONS[2], CUTTING_PLANES_BUTTON})
    {
        Click(button);
        const std::string name = "planes-" + std::to_string(++step);
        long changed = 0;
        EXPECT_TRUE(WaitFor(
            [&] {
                changed = Difference(previous, Shot(name), SCENE);
                return changed > 100;
            },
            20))
            << name << " changed " << changed << " pixels";
        previous = m_dir.File("shots/" + name + ".png");
        if (step == 3)
        {
            EXPECT_GT(Difference(m_dir.File("shots/no-sections.png"), previous, SCENE), 2000) << "the sections";
        }
    }

    // A bookmark of this view; another view; the bookmark brings this one back.
    Click(BOOKMARKS_PANE);
    Keys("ctrl+d");
    const std::string dialog = ::AwaitWindow("^New Bookmark$", 20);
    ASSERT_FALSE(dialog.empty());
    Keys("ctrl+a", dialog);
    TypeText("Journey view");
    CommandOutput("timeout 20 xdotool key Return");
    EXPECT_TRUE(WaitForGone(dialog, 20));
    const std::string marked = SteadyShot("bookmarked");
    const auto away = [&](const std::string& shot) { return Difference(marked, shot, SCENE) > 2000; };
    const auto back = [&](const std::string& shot) { return Difference(marked, shot, SCENE) <= 50; };
    Click(CORONAL_BOOKMARK);
    EXPECT_TRUE(away(SteadyShot("coronal", away)));
    Click(NEW_BOOKMARK);
    EXPECT_TRUE(back(SteadyShot("restored", back))) << "the bookmark did not bring its view back";

    // A restart keeps the bookmark, also after a TERM; it still restores its view (without the data sets,
    // which are not kept).
    ExpectCleanQuit("demo.out", true);
    const std::string bookmarks = m_dir.File("data/Corvane 2/Settings/Bookmarks.xml");
    ASSERT_TRUE(boost::filesystem::exists(bookmarks));
    EXPECT_NE(std::string::npos, ReadBytes(bookmarks).find("Journey view"));
    // The restart is on another port: the kept atlas and the demo's settings follow it, also when the atlas
    // lives under its name, as a reinstall from Help > Check for Atlases... puts it.
    m_port = FreePort();
    boost::filesystem::rename(m_dir.File("data/Corvane 2/Atlases/310"),
                              m_dir.File("data/Corvane 2/Atlases/Ostrel Adult Mouse"));
    // Its id written as the program's reader takes it too.
    const std::string info = m_dir.File("data/Corvane 2/Atlases/Ostrel Adult Mouse/Info.xml");
    std::string xml = ReadBytes(info);
    xml.replace(xml.find("<atlas-info id=\"310\""), 20, "<atlas-info\n  id = '310'");
    WriteWholeFile(info, xml);
    StartDemo("restart.out");
    ASSERT_FALSE(AwaitWindow(120).empty()) << ReadBytes(m_dir.File("restart.out"));
    EXPECT_EQ(std::string::npos, ReadBytes(m_dir.File("restart.out")).find("generating atlas 310"));
    const std::string fresh = SteadyShot("restart");
    Click(NEW_BOOKMARK);
    const std::string again =
        SteadyShot("restart-restored", [&](const std::string& shot) { return Difference(fresh, shot, SCENE) > 2000; });
    const long freshToMarked = Difference(fresh, marked, SCENE);
    const long againToMarked = Difference(again, marked, SCENE);
    EXPECT_GT(Difference(fresh, again, SCENE), 2000);
    EXPECT_LT(2 * againToMarked, freshToMarked)
        << againToMarked << " pixels from the bookmarked view, " << freshToMarked << " before restoring";

    // Help > Check for Atlases... asks the demo server and lists its catalogue.
    const std::size_t catalogues = Occurrences(LogText(), "/Corvane2/atlases.xml");
    Menu({"Help", "Check for Atlases..."});
    const std::string download = AwaitDownloadWindow();
    ASSERT_FALSE(download.empty());
    EXPECT_TRUE(WaitFor([&] { return Occurrences(LogText(), "/Corvane2/atlases.xml") > catalogues; }, 20));
    ExpectCatalogueRows(download, "catalogue");
    Keys("Escape", download);
    EXPECT_TRUE(WaitForGone(download, 20));

    // A corv URL without an atlas id is a parse error, not an offer to download an atlas.
    EXPECT_EQ(0, Launch("corv://nonsense%%%", "malformed.out"));
    const std::string alert = OtherWindow(20);
    ASSERT_FALSE(alert.empty()) << "no alert";
    Shot("malformed", alert);
    // An alert (a warning sign, one button), not the download question (a question mark, No and Yes).
    const std::string box = m_dir.File("shots/malformed.png");
    EXPECT_GT(Count(box, "80x80+0+0", "r > 0.8 && g > 0.6 && b < 0.3"), 100) << "no warning sign";
    EXPECT_GT(Count(box, "100%x100%+0+0", "max(r,max(g,b)) < 0.3"), 300) << "no text";
    EXPECT_TRUE(AwaitDownloadWindow(0).empty());
    Keys("Return", alert);
    EXPECT_TRUE(WaitForGone(alert, 20));

    // A search after the restart reaches the server on the new port through the kept atlas's templates.
    Search("Cx");
    Keys("ctrl+w");

    // With the server stopped, a search ends in an error line in its tab, and the program goes on.
    const pid_t server = ServerProcess();
    ASSERT_GT(server, 0);
    kill(server, SIGTERM);
    ASSERT_TRUE(WaitFor([&] { return ServerProcess() < 0; }, 20));
    const std::size_t logged = LogText().size();
    Search("Cx", false);
    long status = 0, cells = -1;
    EXPECT_TRUE(WaitFor(
        [&] {
            const std::string shot = Shot("stopped-server");
            status = Count(shot, STATUS_LINE, "min(r,min(g,b)) > 0.6");
            cells = Count(shot, CELLS, std::string(CHROMA) + " > 0.15");
            return status > 30 && cells == 0;
        },
        30))
        << status << " status text pixels, " << cells << " thumbnail pixels";
    EXPECT_EQ(logged, LogText().size());

    ExpectCleanQuit("restart.out");
    // The user's own settings are as they were; the demo's name its server.
    EXPECT_EQ(m_userSettings, ReadBytes(UserSettings()));
    const std::string demoSettings = ReadBytes(m_dir.File("config/corvane-demo/Corvane/Corvane.ini"));
    EXPECT_NE(std::string::npos, demoSettings.find("Host=" + Base())) << demoSettings;
    // Every request of the program carried its user agent (the test's own look-ups are Python's).
    std::istringstream lines(LogText());
    for (std::string line; std::getline(lines, line);)
    {
        if (line.find("Python-urllib") == std::string::npos)
        {
            EXPECT_NE(std::string::npos, line.find("\"user_agent\": \"Corvane/")) << line;
        }
    }
}

// A step that fails with the program up ends the test there: its tear-down leaves no process of the demo
// behind (the script, its data server, corvane). Nor does
// a signal to the demo script alone, as a user's kill sends it.
TEST_F(ProgramEndToEndTest, AFailedStepLeavesNoProcessBehind)
{
    for (const bool scriptOnly : {false, true})
    {
        SCOPED_TRACE(scriptOnly ? "a signal to the script" : "the tear-down");
        StartDemo("demo.out");
        ASSERT_FALSE(AwaitWindow(120).empty()) << ReadBytes(m_dir.File("demo.out"));
        ASSERT_GT(ServerProcess(), 0);
        const pid_t group = m_demo.Group();
        if (scriptOnly)
        {
            // The script itself, not the shell that started it with its output redirected. An id not found
            // is -1, and kill(-1) would signal every process the user may signal.
            const pid_t script = DemoProcess(std::string("/scripts/demo.sh") + '\0');
            ASSERT_GT(script, 0);
            ASSERT_EQ(0, kill(script, SIGTERM));
            EXPECT_GE(m_demo.WaitForExit(60), 0) << "the script went on";
            EXPECT_TRUE(WaitFor([&] { return GroupMembers(group).empty(); }, 30)) << "the script left the viewer";
        }
        m_demo.Stop(); // as the tear-down does
        EXPECT_TRUE(GroupMembers(group).empty());
        // Nor one that left the group: every process of the demo has the test's home in its environment.
        const std::string home = "HOME=" + m_dir.File("home") + '\0';
        DIR* proc = opendir("/proc");
        for (const dirent* entry = proc ? readdir(proc) : nullptr; entry; entry = readdir(proc))
        {
            const pid_t pid = std::atoi(entry->d_name);
            EXPECT_TRUE(pid <= 0 || ProcessFile(pid, "environ").find(home) == std::string::npos)
                << "process " << pid << " is left";
        }
        if (proc)
            closedir(proc);
        EXPECT_TRUE(WaitForGone(m_window, 5));
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
    m_demo.Start(Environment() + Quote((program / "bin" / "corvane").string()) + " > " + Quote(m_dir.File("rat.out")) +
                 " 2> " + Quote(errors));
    const std::string window = ::AwaitWindow("^Ostrel Waxholm Rat$", 120);
    ASSERT_FALSE(window.empty()) << ReadBytes(errors);

    // The scene was set up: its compass corner lays a square of dark grey (about 26 of 255) over the black
    // scene, some 180 pixels a side. A window whose scene could not be set up shows a black view.
    const std::string shot = m_dir.File("rat.png");
    std::string grey;
    WaitFor(
        [&] {
            CaptureWindow(window, shot);
            grey = CommandOutput("convert " + Quote(shot) +
                                 " -alpha off -fx '(abs(r - g) < 0.02 && abs(g - b) < 0.02 && r > 0.06 && r < 0.14)"
                                 " ? 1 : 0' -format '%[fx:round(mean*w*h)]' info: 2>/dev/null");
            return std::atol(grey.c_str()) > 10000;
        },
        30);
    EXPECT_GT(std::atol(grey.c_str()), 10000) << "no scene in " << shot;

    EXPECT_TRUE(PressKeys(window, "ctrl+q"));
    EXPECT_EQ(0, m_demo.WaitForExit(60));
    const std::string log = ReadBytes(errors);
    const std::string library = (fs::canonical(data) / "libItkTransform.so").string();
    std::size_t lines = 0;
    for (std::size_t at = log.find(library); at != std::string::npos; at = log.find(library, at + 1))
        ++lines;
    EXPECT_EQ(1u, lines) << log;
    EXPECT_NE(std::string::npos, log.find("Transform library not available.")) << log;
    EXPECT_EQ(std::string::npos, log.find("Sanitizer")) << log;
}

// The only installed atlas has an ontology cut short: the program names the atlas, the file and the reason
// in a panel that stays until the user has read it, then says that no usable atlas is left, and ends.
TEST_F(ProgramEndToEndTest, ADamagedOnlyAtlasIsNamedBeforeTheProgramEnds)
{
    const std::string atlas = m_dir.File("data/Corvane 2/Atlases/310");
    ASSERT_NO_THROW(GenerateAtlas("micro", 310, atlas));
    const std::string rows = ReadBytes(atlas + "/ontology_v2.csv");
    WriteWholeFile(atlas + "/ontology_v2.csv", rows.substr(0, rows.size() / 2 + 5));
    WriteWholeFile(UserSettings(), "[General]\nHost=http://127.0.0.1:" + std::to_string(m_port) +
                                       "\nAutomaticVersionCheck=false\nLastVersionRun=2000000000\n");
    const std::string errors = m_dir.File("damaged.err");
    const std::string command = Environment() + Quote(std::string(CORVANE_BINARY_DIR) + "/bin/corvane") + " > " +
                                Quote(m_dir.File("damaged.out")) + " 2> " + Quote(errors);
    m_demo.Start(command);
    // Each panel in turn: shown, captured, and answered with Return.
    auto answer = [&](const std::string& title, const std::string& name) {
        std::string panel;
        WaitFor(
            [&] {
                panel = Trimmed(
                    CommandOutput("timeout 20 xdotool search --onlyvisible " + title + " 2>/dev/null | head -1"));
                return !panel.empty();
            },
            60);
        if (panel.empty())
            return false;
        EXPECT_TRUE(CaptureWindow(panel, m_dir.File("shots/" + name + ".png")));
        // A key that comes before the panel has set its own focus is lost: pressed again until it is gone.
        return WaitFor([&] { return PressKeys(panel, "Return") && WaitForGone(panel, 2); }, 30);
    };
    ASSERT_TRUE(answer("--class corvane", "damaged-atlas")) << ReadBytes(errors);
    // Still running while the panel waited: the program did not end behind it.
    EXPECT_TRUE(answer("--name '^Critical Error$'", "no-usable-atlas")) << ReadBytes(errors);
    EXPECT_EQ(0, m_demo.WaitForExit(60));
    EXPECT_EQ(std::string::npos, ReadBytes(errors).find("Sanitizer")) << ReadBytes(errors);
}

// Every command once, in the real program on the demo atlas with the connectivity and the microarray atlases
// installed beside it: the toolbar, the context menus and the menus on the demo atlas with a data set in the
// scene, then with a result tab open, then a new window on each of the other atlases, whose structures find
// projections or whose searches open a web page. Each dialog is cancelled once and answered once, with real input where
// it takes some; a file that is not a data set is named in an alert.
TEST_F(ProgramEndToEndTest, EveryCommandOnceWithoutAFault)
{
    for (const char* id : {"378", "351"})
        ASSERT_NO_THROW(GenerateAtlas("tiny", std::atoi(id), m_dir.File(std::string("data/Corvane 2/Atlases/") + id)));
    boost::filesystem::create_directories(m_dir.File("config/corvane-demo/Corvane"));
    WriteWholeFile(m_dir.File("config/corvane-demo/Corvane/Corvane.ini"),
                   "[General]\nAutomaticVersionCheck=false\nLastVersionRun=2000000000\nAutoRotateView=false\n");
    const std::string genes = m_dir.Write("genes.csv", "symbol,seriesId\nBad6,3100044\n");
    const std::string relations = m_dir.Write("relations.csv", "3100044,Bad6,3100045,Cx3,0.5\n");
    const std::string damaged = m_dir.Write("damaged.xpz", "not a data set");
    StartDemo("sweep.out", "QT_MESSAGE_PATTERN='[qt %{type}] %{message}' ");
    CommandSweep sweep(m_menus, m_dir.File("sweep.out"), m_dir.File("shots"),
                       [&] { return DemoProcess("/bin/corvane") > 0; });
    std::map<std::string, Answer> answers = {
        {"Open...", {"^Open$", damaged, true}},
        {"Import Gene List...", {"^Open$", genes}},
        {"Import Gene Relations...", {"^Open$", relations}},
        {"Preferences...", {"^Preferences$", "", false, "Escape"}},
        {"Anatomic Search...", {"^Search by Anatomy$", "", false, "Return", "Tab Down"}},
        {"Similar Data Set Search...", {"^Find Similar Data Sets$"}},
        {"Choose Color...", {"^Select Color$"}},
        {"Add Bookmark...", {"^New Bookmark$", "Sweep view"}},
        {"Check for Atlases...", {"^Download Atlases$", "", false, "Escape"}},
        {"Show Data Set Info", {"", "", true}},
        {"Corvane Help", {"", "", true}}};
    // One file read, one alert.
    answers.at("Open...").repeated = true;
    sweep.SetAnswers(std::move(answers));
    // The atlas chooser, answered by typing the start of the atlas's name.
    const auto open = [&](const std::string& name) {
        const std::string chooser = ::AwaitWindow("^Choose Atlas$", 120);
        if (chooser.empty() || !Focus(chooser))
            return false;
        TypeText(name);
        EXPECT_TRUE(PressKeys(chooser, "Return") && WaitForGone(chooser, 30));
        m_window = ::AwaitWindow("^" + name + "$", 120);
        sweep.SetWindow(m_window);
        return !m_window.empty();
    };
    ASSERT_TRUE(open("Ostrel Adult Mouse")) << ReadBytes(m_dir.File("sweep.out"));
    sweep.Check({"start"});

    // A data set in the scene, as a web page hands it over, and a result tab.
    const auto addDataSet = [&] {
        const std::size_t from = FileSize(Log());
        EXPECT_EQ(0, Launch("corv://127.0.0.1:" + std::to_string(m_port) +
                                "/demo/data?atlas=310&datasets=3100044(255/0/255)&colormap=constant",
                            "launch.out"));
        EXPECT_TRUE(WaitForText(Log(), "/demo/data/3100044", from, 30)) << LogText();
        // Its row of the data-set table, selected.
        EXPECT_TRUE(WaitFor([&] { return Count(Shot("data-set"), DATA_SET_ROW, "min(r,min(g,b)) < 0.6") > 1000; }, 30));
        Click(DATA_SET_POINT);
    };
    addDataSet();
    sweep.SweepToolbar();
    sweep.SweepContextMenu("Outline", STRUCTURE_ROW.x, STRUCTURE_ROW.y);
    sweep.SweepContextMenu("Data sets", DATA_SET_POINT.x, DATA_SET_POINT.y);
    Click(BOOKMARKS_PANE);
    sweep.SweepContextMenu("Bookmarks", CORONAL_BOOKMARK.x, CORONAL_BOOKMARK.y);
    sweep.SweepContextMenu("Toolbar", TOOLBAR_SPACE.x, TOOLBAR_SPACE.y);
    // The data-set table's menu removed it.
    addDataSet();
    std::vector<std::string> titles;
    for (const MenuMap::Item& item : m_menus.Items())
        if (item.kind == "bar" && item.window == m_window &&
            std::find(titles.begin(), titles.end(), item.text) == titles.end())
            titles.push_back(item.text);
    for (const std::string& title : titles)
        sweep.SweepMenu({title});
    // The tab commands, with a result tab open.
    Search("Bad6");
    sweep.SweepMenu({"View"});

    // File > New, cancelled, then on each of the other atlases the commands that need them.
    Menu({"File", "New"});
    const std::string chooser = ::AwaitWindow("^Choose Atlas$", 60);
    EXPECT_TRUE(PressKeys(chooser, "Escape") && WaitForGone(chooser, 30));
    sweep.Check({"File", "New"});
    for (const std::string name : {"Ostrel Mouse Connectivity", "Ostrel Primate Microarray"})
    {
        Menu({"File", "New"});
        ASSERT_TRUE(open(name)) << ReadBytes(m_dir.File("sweep.out"));
        Click(STRUCTURE_ROW);
        Shot(name);
        sweep.SweepMenu({"Structure"});
    }
    // The microarray atlas is searched on the data server's web pages: a browser that cannot be opened is named.
    Search("Bad6", false);
    std::string alert;
    EXPECT_TRUE(WaitFor([&] { return !(alert = sweep.Alert()).empty(); }, 60)) << "no alert for a search of 351";
    EXPECT_TRUE(alert.empty() || (PressKeys(alert, "Return") && WaitForGone(alert, 30)));
    sweep.Check({"Search"});
    std::cerr << sweep.Chosen() << " commands chosen; disabled when their turn came:" << sweep.Skipped() << "\n";
    EXPECT_GT(sweep.Chosen(), 80);
    Menu({"File", "Quit Corvane"});
    EXPECT_EQ(0, m_demo.WaitForExit(60));
    sweep.Check({"File", "Quit Corvane"}, false);
}

} // namespace
