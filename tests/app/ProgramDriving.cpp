#include "ProgramDriving.h"

#include "TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

TakenPort::TakenPort()
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(m_fd, 1) == 0 &&
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        m_port = ntohs(address.sin_port);
}

TakenPort::~TakenPort()
{
    if (m_fd >= 0)
        close(m_fd);
}

std::string ProcessFile(pid_t pid, const std::string& name)
{
    // Read with plain reads: a process may end while it is read, and a stream would throw on that.
    std::string text;
    const int fd = open(("/proc/" + std::to_string(pid) + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    char buffer[4096];
    for (ssize_t got; fd >= 0 && (got = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    if (fd >= 0)
        close(fd);
    return text;
}

std::vector<pid_t> GroupMembers(pid_t group)
{
    std::vector<pid_t> members;
    DIR* proc = opendir("/proc");
    for (const dirent* entry = proc ? readdir(proc) : nullptr; entry; entry = readdir(proc))
    {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        const std::string stat = ProcessFile(pid, "stat");
        // "pid (name) state ppid pgrp ...": the name may hold spaces and parentheses.
        const std::size_t name = stat.rfind(')');
        if (name == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(name + 1));
        char state = 0;
        pid_t parent = 0, pgrp = 0;
        if (fields >> state >> parent >> pgrp && pgrp == group && state != 'Z')
            members.push_back(pid);
    }
    if (proc)
        closedir(proc);
    return members;
}

namespace
{

// The group's leader runs the command as its child and kills the whole group when it gets a HUP, which is the
// signal of the test's death (see Start). Its exit status is the command's (128 + N for a signal N), as
// WaitForExit reads it either way.
const char* const GROUP_LEADER = R"(
$SIG{HUP} = sub { kill "-KILL", getpgrp() };
defined(my $command = fork) or exit 127;
if (!$command) { $SIG{HUP} = "DEFAULT"; exec "/bin/sh", "-c", $ARGV[0]; exit 127 }
1 while waitpid($command, 0) == -1 && $!{EINTR};
exit($? & 127 ? 128 + ($? & 127) : $? >> 8);
)";

} // namespace

void ProgramProcess::Start(const std::string& command)
{
    Stop();
    const pid_t test = getpid();
    const pid_t child = fork();
    if (child == 0)
    {
        setpgid(0, 0);
        // A test killed outright (a crash, a time limit) runs no destructor, and whoever kills it does not
        // know the group: the test's death itself ends the group. The signal comes when the thread that
        // started the group ends, so groups are started from the test's main thread.
        prctl(PR_SET_PDEATHSIG, SIGHUP);
        if (getppid() != test)
            _exit(127);
        // As from a terminal, whatever the test's launcher ignores.
        signal(SIGINT, SIG_DFL);
        execl("/usr/bin/perl", "perl", "-e", GROUP_LEADER, command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Both sides set the group, so that it exists whichever runs first.
    setpgid(child, child);
    m_group = child;
    m_leaderReaped = false;
}

int ProgramProcess::WaitForExit(int seconds)
{
    if (m_group <= 0 || m_leaderReaped)
        return -1;
    const int status = ::WaitForExit(m_group, seconds);
    m_leaderReaped = status >= 0;
    return status;
}

void ProgramProcess::Stop()
{
    if (m_group <= 0)
        return;
    const auto ended = [this] {
        if (!m_leaderReaped)
            m_leaderReaped = waitpid(m_group, nullptr, WNOHANG) == m_group;
        return m_leaderReaped && GroupMembers(m_group).empty();
    };
    for (int signal : {SIGTERM, SIGKILL})
    {
        kill(-m_group, signal);
        if (WaitFor(ended, signal == SIGTERM ? 20 : 10))
            break;
    }
    m_group = -1;
}

void PointerAway()
{
    const QSize screen = ScreenSize();
    if (!screen.isEmpty())
        CommandOutput("timeout 20 xdotool mousemove " + std::to_string(screen.width() - 2) + " " +
                      std::to_string(screen.height() - 2));
}

namespace
{

std::string Trimmed(std::string text)
{
    text.erase(text.find_last_not_of(" \n") + 1);
    return text;
}

} // namespace

std::string AwaitWindow(const std::string& namePattern, int seconds)
{
    std::string window;
    WaitFor(
        [&] {
            window = Trimmed(CommandOutput("timeout 20 xdotool search --onlyvisible --name " + Quote(namePattern) +
                                           " 2>/dev/null | head -1"));
            return !window.empty();
        },
        seconds);
    return window;
}

bool PressKeys(const std::string& window, const std::string& keys)
{
    if (!Focus(window))
        return false;
    CommandOutput("timeout 20 xdotool key --clearmodifiers " + keys);
    return true;
}

void TypeText(const std::string& text)
{
    CommandOutput("timeout 60 xdotool type --delay 40 " + Quote(text));
}

void ClickAt(const std::string& window, int x, int y, int button)
{
    CommandOutput("timeout 20 xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
                  std::to_string(y) + " click " + std::to_string(button));
    PointerAway();
}

std::size_t FileSize(const std::string& path)
{
    struct stat status = {};
    return stat(path.c_str(), &status) == 0 ? static_cast<std::size_t>(status.st_size) : 0;
}

bool WaitForText(const std::string& path, const std::string& text, std::size_t from, int seconds)
{
    return WaitFor(
        [&] {
            std::ifstream file(path, std::ios::binary);
            file.seekg(static_cast<std::streamoff>(from));
            const std::string tail((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            return tail.find(text) != std::string::npos;
        },
        seconds);
}

std::vector<MenuMap::Item> MenuMap::Items(std::size_t from) const
{
    std::ifstream file(m_path, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(from));
    // Only whole writes: the lines that an "end" closes.
    std::vector<Item> items, written;
    for (std::string line; std::getline(file, line);)
    {
        if (line == "end")
        {
            items.insert(items.end(), written.begin(), written.end());
            written.clear();
            continue;
        }
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');)
            fields.push_back(field);
        Item item;
        const bool bar = fields.size() == 5 && (fields[0] == "bar" || fields[0] == "tool");
        if (!bar && !(fields.size() == 7 && fields[0] == "menu"))
            continue;
        item.kind = fields[0];
        item.window = fields[1];
        item.menu = bar ? std::string() : fields[2];
        item.text = fields[bar ? 2 : 3];
        item.enabled = fields[bar ? 3 : 4] == "1";
        item.checked = !bar && fields[5] == "1";
        std::istringstream(fields.back()) >> item.x >> item.y >> item.width >> item.height;
        written.push_back(item);
    }
    return items;
}

std::vector<MenuMap::Item> MenuMap::LastMenu(const std::string& title) const
{
    std::vector<Item> menu;
    for (const Item& item : Items())
    {
        if (item.kind != "menu" || item.menu != title)
            continue;
        if (!menu.empty() && menu.back().window != item.window)
            menu.clear();
        // A menu opened again starts with its first item again.
        if (!menu.empty() && menu.front().text == item.text)
            menu.clear();
        menu.push_back(item);
    }
    return menu;
}

namespace
{

void Fail(std::string* why, const std::string& reason)
{
    if (why)
        *why = reason;
}

} // namespace

void ClickCentre(const MenuMap::Item& item)
{
    CommandOutput("timeout 20 xdotool mousemove " + std::to_string(item.x + item.width / 2) + " " +
                  std::to_string(item.y + item.height / 2) + " click 1");
}

std::vector<MenuMap::Item> ShownMenu(const MenuMap& map, std::size_t from)
{
    std::vector<MenuMap::Item> menu;
    WaitFor(
        [&] {
            menu.clear();
            for (const MenuMap::Item& item : map.Items(from))
                if (item.kind == "menu")
                {
                    if (!menu.empty() && menu.back().window != item.window)
                        menu.clear();
                    menu.push_back(item);
                }
            return !menu.empty();
        },
        30);
    return menu;
}

std::vector<MenuMap::Item> MenuMap::Open(const std::string& window, const std::vector<std::string>& path,
                                         std::string* why)
{
    if (path.empty() || !Focus(window))
    {
        Fail(why, "the window " + window + " did not take the focus");
        return {};
    }
    Item title;
    const bool found = WaitFor(
        [&] {
            for (const Item& item : Items())
                if (item.kind == "bar" && item.window == window && item.text == path.front())
                    title = item;
            return !title.text.empty();
        },
        30);
    if (!found)
    {
        Fail(why, "no menu " + path.front() + " in the menu bar of " + window);
        return {};
    }
    std::size_t from = Size();
    ClickCentre(title);
    std::vector<Item> menu = ShownMenu(*this, from);
    for (auto sub = path.begin() + 1; sub != path.end() && !menu.empty(); ++sub)
    {
        const auto item = std::find_if(menu.begin(), menu.end(), [&](const Item& i) { return i.text == *sub; });
        if (item == menu.end())
            break;
        from = Size();
        ClickCentre(*item);
        menu = ShownMenu(*this, from);
    }
    if (menu.empty() || (path.size() > 1 && menu.front().menu != path.back()))
    {
        Fail(why, "the menu " + path.back() + " did not show");
        return {};
    }
    return menu;
}

bool MenuMap::Choose(const std::string& window, const std::vector<std::string>& path, std::string* why)
{
    if (path.size() < 2)
        return !Open(window, path, why).empty();
    const std::size_t from = Size();
    return !Open(window, {path.front()}, why).empty() && Pick(from, {path.begin() + 1, path.end()}, why);
}

bool MenuMap::Pick(std::size_t from, const std::vector<std::string>& path, std::string* why)
{
    std::vector<std::string> opened;
    for (const std::string& text : path)
    {
        const std::vector<Item> menu = ShownMenu(*this, from);
        if (menu.empty())
        {
            Fail(why, "no menu showed for " + text);
            return false;
        }
        const auto item = std::find_if(menu.rbegin(), menu.rend(), [&](const Item& i) { return i.text == text; });
        if (item == menu.rend())
        {
            std::string texts;
            for (const Item& i : menu)
                texts += " \"" + i.text + "\"";
            Fail(why, "no item " + text + " in the menu " + menu.front().menu + ":" + texts);
            return false;
        }
        if (!item->enabled)
        {
            Fail(why, "the item " + text + " is disabled");
            return false;
        }
        opened.push_back(item->window);
        from = Size();
        ClickCentre(*item);
    }
    PointerAway();
    for (const std::string& menu : opened)
        if (!WaitForGone(menu, 20))
        {
            Fail(why, "the menu of " + path.back() + " stayed open");
            return false;
        }
    return true;
}
