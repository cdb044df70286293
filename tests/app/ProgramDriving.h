#pragma once

// Helpers of the tests that run the real corvane executable (or the demo script that runs it) as a separate
// process and drive it from outside, as a user would, on the test's own X display. Every step waits on a state
// that the next step needs, never for a fixed time:
//
//   ProgramProcess program;              a shell command in a process group of its own; Stop() and the
//   program.Start(command);              destructor end the whole group (the demo script, its data server and
//   program.WaitForExit(seconds);        corvane), so that a failed assertion leaves no process behind.
//   GroupMembers(program.Group())        the live processes of the group.
//
//   AwaitWindow("^Title$", seconds)      the X id of a shown window whose name matches, else empty.
//   ShownWindows()                       the shown windows, menus and other pop-ups among them (XWindow.h).
//   WindowShown(id), WaitForGone(id, s)  a window mapped, or gone (destroyed or unmapped); see XWindow.h.
//   CaptureWindow(id, path)              the window's own pixels as a PNG file, taken once it is shown; false
//                                        when it never was (XWindow.h).
//   Focus(id), PressKeys(id, "ctrl+f")   keys go to the window once the X server says that it has the focus.
//   TypeText(text), ClickAt(id, x, y)    typing into the focused window; a click at a point of a window.
//   WaitFor(condition, s)                polls a condition; WaitForText(file, text, from) waits for a line of a
//                                        log (the demo server's request log, the program's output).
//
//   MenuMap menus(path);                 the program run with CORVANE_MENU_MAP=path writes where the items of
//                                        its menus are as they open.
//   menus.Choose(id, {"Structure", "Deselect Structures"})
//                                        clicks the menu bar's title and the items by their texts, waits for
//                                        each menu to show and for the last to close; a missing or disabled
//                                        item is a failure with its reason.
//   from = menus.Size(); <right-click>;  a context menu: Pick waits for a menu shown after `from` and clicks
//   menus.Pick(from, {"Copy"})           the items of the path in it.

#include "gl/support/XWindow.h"

#include <cstddef>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>

// A text as one word of a shell command line.
inline std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The exit status of a child process once it ends within the seconds (128 + the signal's number when a signal
// ended it), else -1. A child that ended is reaped, so its id is no longer to be waited for or signalled.
inline int WaitForExit(pid_t child, int seconds)
{
    int status = -1;
    WaitFor(
        [&] {
            int raw = 0;
            if (waitpid(child, &raw, WNOHANG) != child)
                return false;
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return true;
        },
        seconds);
    return status;
}

// A file of a process's folder in /proc ("stat", "cmdline", "environ"); empty once the process has ended.
std::string ProcessFile(pid_t pid, const std::string& name);

// The processes of a process group that have not ended (zombies left to their new parent are not counted).
std::vector<pid_t> GroupMembers(pid_t group);

class ProgramProcess
{
public:
    ProgramProcess() = default;
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;
    ~ProgramProcess() { Stop(); }

    // Runs the command with /bin/sh in a new process group, which ends with the test even when the test is
    // killed outright.
    void Start(const std::string& command);
    // The leader's exit status once it ends within the seconds (see ::WaitForExit), else -1.
    int WaitForExit(int seconds);
    // Ends every process of the group: SIGTERM, then SIGKILL to what is left after 20 seconds.
    void Stop();
    pid_t Group() const { return m_group; }

private:
    pid_t m_group = -1;
    bool m_leaderReaped = false;
};

// The X id of a shown window whose name matches, once one shows; empty when none did within the seconds.
std::string AwaitWindow(const std::string& namePattern, int seconds);
// Keys as xdotool names them, to the window once it has the focus.
bool PressKeys(const std::string& window, const std::string& keys);
void TypeText(const std::string& text);
// A click at a point of the window (its pixels from the top left), after which the pointer leaves every
// window so that no tooltip covers the next capture.
void ClickAt(const std::string& window, int x, int y, int button = 1);
// The pointer to the screen's corner, off every window, so that no tooltip covers the next capture.
void PointerAway();

// The size of a file, 0 when it is missing; and whether its text after the offset holds a text, waited for.
std::size_t FileSize(const std::string& path);
bool WaitForText(const std::string& path, const std::string& text, std::size_t from, int seconds);

// A port of 127.0.0.1 that is taken while this listens on it (0 when none could be had).
class TakenPort
{
public:
    TakenPort();
    ~TakenPort();
    TakenPort(const TakenPort&) = delete;
    TakenPort& operator=(const TakenPort&) = delete;

    int Port() const { return m_port; }

private:
    const int m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int m_port = 0;
};
// A port of 127.0.0.1 that was free a moment ago.
inline int FreePort()
{
    return TakenPort().Port();
}

class MenuMap
{
public:
    struct Item
    {
        std::string kind;   // "bar", "menu" or "tool" (an item of a toolbar)
        std::string window; // the window of the menu bar or toolbar, or the open menu's own
        std::string menu;   // the title of the open menu (empty for a context menu and the bar)
        std::string text;
        bool enabled = false, checked = false;
        int x = 0, y = 0, width = 0, height = 0; // in the screen's pixels
    };

    explicit MenuMap(std::string path)
        : m_path(std::move(path))
    {
    }
    const std::string& Path() const { return m_path; }
    std::size_t Size() const { return FileSize(m_path); }
    // The items written after the offset, in order.
    std::vector<Item> Items(std::size_t from = 0) const;
    // The items of the menu titled so, as it last opened.
    std::vector<Item> LastMenu(const std::string& title) const;

    // See the file's comment. The reason of a failure goes to *why.
    // Open leaves the last menu of the path open (a menu bar's title, then submenus) and returns its items.
    std::vector<Item> Open(const std::string& window, const std::vector<std::string>& path, std::string* why = nullptr);
    bool Choose(const std::string& window, const std::vector<std::string>& path, std::string* why = nullptr);
    bool Pick(std::size_t from, const std::vector<std::string>& path, std::string* why = nullptr);

private:
    std::string m_path;
};

// The last menu shown after the offset, waited for; empty when none showed.
std::vector<MenuMap::Item> ShownMenu(const MenuMap& map, std::size_t from);
// A click at the centre of an item of a menu or a toolbar.
void ClickCentre(const MenuMap::Item& item);
