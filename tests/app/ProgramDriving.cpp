#include "ProgramDriving.h"

#include "TestSupport.h"

#include <QRect>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

std::vector<pid_t> GroupMembers(pid_t group)
{
    std::vector<pid_t> members;
    DIR* proc = opendir("/proc");
    for (const dirent* entry = proc ? readdir(proc) : nullptr; entry; entry = readdir(proc))
    {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        std::ifstream file("/proc/" + std::string(entry->d_name) + "/stat");
        std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
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

void ProgramProcess::Start(const std::string& command)
{
    Stop();
    const pid_t child = fork();
    if (child == 0)
    {
        setpgid(0, 0);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
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

namespace
{

// A connection to the display of $DISPLAY for the time of one question.
struct Display
{
    Display()
        : connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(connection))
            return;
        root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    }
    ~Display() { xcb_disconnect(connection); }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    bool Open() const { return root != nullptr; }

    xcb_connection_t* connection;
    const xcb_screen_t* root = nullptr;
};

template <typename Reply>
std::unique_ptr<Reply, decltype(&std::free)> Owned(Reply* reply)
{
    return {reply, &std::free};
}

xcb_window_t Id(const std::string& window)
{
    return static_cast<xcb_window_t>(std::strtoul(window.c_str(), nullptr, 10));
}

// The window's rectangle on the screen, its border included; empty when it is gone.
QRect Area(const Display& display, xcb_window_t window)
{
    const auto geometry =
        Owned(xcb_get_geometry_reply(display.connection, xcb_get_geometry(display.connection, window), nullptr));
    const auto place = Owned(xcb_translate_coordinates_reply(
        display.connection, xcb_translate_coordinates(display.connection, window, display.root->root, 0, 0), nullptr));
    if (!geometry || !place)
        return QRect();
    const int border = geometry->border_width;
    return QRect(place->dst_x - border, place->dst_y - border, geometry->width + 2 * border,
                 geometry->height + 2 * border);
}

bool Viewable(const Display& display, xcb_window_t window)
{
    const auto attributes = Owned(xcb_get_window_attributes_reply(
        display.connection, xcb_get_window_attributes(display.connection, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

// The children of the root window from the bottom of the stack to the top.
std::vector<xcb_window_t> Stack(const Display& display, xcb_window_t parent)
{
    const auto tree =
        Owned(xcb_query_tree_reply(display.connection, xcb_query_tree(display.connection, parent), nullptr));
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return std::vector<xcb_window_t>(children, children + xcb_query_tree_children_length(tree.get()));
}

// The child of the root window that holds the window (itself, with no window manager).
xcb_window_t TopLevel(const Display& display, xcb_window_t window)
{
    for (;;)
    {
        const auto tree =
            Owned(xcb_query_tree_reply(display.connection, xcb_query_tree(display.connection, window), nullptr));
        if (!tree || tree->parent == display.root->root || tree->parent == XCB_NONE)
            return window;
        window = tree->parent;
    }
}

// Whether a shown window above the window's top level overlaps the window.
bool Covered(const Display& display, xcb_window_t window)
{
    const QRect area = Area(display, window);
    const std::vector<xcb_window_t> stack = Stack(display, display.root->root);
    const auto own = std::find(stack.begin(), stack.end(), TopLevel(display, window));
    if (area.isEmpty() || own == stack.end())
        return true;
    for (auto above = own + 1; above != stack.end(); ++above)
        if (Viewable(display, *above) && Area(display, *above).intersects(area))
            return true;
    return false;
}

void Raise(const Display& display, xcb_window_t window)
{
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(display.connection, TopLevel(display, window), XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(display.connection);
}

QImage Pixels(const Display& display, xcb_window_t window, const QRect& area)
{
    const auto image = Owned(xcb_get_image_reply(
        display.connection,
        xcb_get_image(display.connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, area.width(), area.height(), ~0u),
        nullptr));
    // Depth 24 and 32 windows come as 32 bits a pixel, blue first, rows unpadded.
    const std::size_t row = 4 * static_cast<std::size_t>(area.width());
    if (!image || static_cast<std::size_t>(xcb_get_image_data_length(image.get())) != row * area.height())
        return QImage();
    QImage frame(area.size(), QImage::Format_RGB32);
    for (int y = 0; y < area.height(); ++y)
        std::memcpy(frame.scanLine(y), xcb_get_image_data(image.get()) + y * row, row);
    return frame;
}

void PointerAway()
{
    const Display display;
    if (display.Open())
        CommandOutput("timeout 20 xdotool mousemove " + std::to_string(display.root->width_in_pixels - 2) + " " +
                      std::to_string(display.root->height_in_pixels - 2));
}

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

bool WindowShown(const std::string& window)
{
    const Display display;
    return display.Open() && Viewable(display, Id(window));
}

bool WaitForGone(const std::string& window, int seconds)
{
    return WaitFor([&] { return !WindowShown(window); }, seconds);
}

QImage CaptureWindow(const std::string& window, int seconds)
{
    const Display display;
    QImage frame;
    if (!display.Open())
        return frame;
    const xcb_window_t id = Id(window);
    // Parts of a window that another covers read as undefined pixels: it is raised, read, and read again
    // should another window have come over it meanwhile.
    WaitFor(
        [&] {
            Raise(display, id);
            const QRect area = Area(display, id);
            if (!Viewable(display, id) || Covered(display, id))
                return false;
            frame = Pixels(display, id, area);
            if (frame.isNull() || Covered(display, id))
                frame = QImage();
            return !frame.isNull();
        },
        seconds);
    return frame;
}

bool CaptureWindow(const std::string& window, const std::string& path, int seconds)
{
    const QImage frame = CaptureWindow(window, seconds);
    return !frame.isNull() && frame.save(QString::fromStdString(path), "PNG");
}

bool Focus(const std::string& window)
{
    const Display display;
    if (!display.Open())
        return false;
    const xcb_window_t id = Id(window);
    return WaitFor(
        [&] {
            Raise(display, id);
            xcb_set_input_focus(display.connection, XCB_INPUT_FOCUS_POINTER_ROOT, id, XCB_CURRENT_TIME);
            const auto focus =
                Owned(xcb_get_input_focus_reply(display.connection, xcb_get_input_focus(display.connection), nullptr));
            return focus && focus->focus == id;
        },
        20);
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
    {
        const Display display;
        if (display.Open())
            Raise(display, Id(window));
    }
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
    std::vector<Item> items;
    for (std::string line; std::getline(file, line);)
    {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');)
            fields.push_back(field);
        Item item;
        const bool bar = fields.size() == 5 && fields[0] == "bar";
        if (!bar && !(fields.size() == 7 && fields[0] == "menu"))
            continue; // a line still being written
        item.kind = fields[0];
        item.window = fields[1];
        item.menu = bar ? std::string() : fields[2];
        item.text = fields[bar ? 2 : 3];
        item.enabled = fields[bar ? 3 : 4] == "1";
        item.checked = !bar && fields[5] == "1";
        std::istringstream(fields.back()) >> item.x >> item.y >> item.width >> item.height;
        items.push_back(item);
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

void ClickCentre(const MenuMap::Item& item)
{
    CommandOutput("timeout 20 xdotool mousemove " + std::to_string(item.x + item.width / 2) + " " +
                  std::to_string(item.y + item.height / 2) + " click 1");
}

// The last menu shown after the offset, waited for.
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

} // namespace

bool MenuMap::Choose(const std::string& window, const std::vector<std::string>& path, std::string* why)
{
    if (path.empty() || !Focus(window))
    {
        Fail(why, "the window " + window + " did not take the focus");
        return false;
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
        return false;
    }
    const std::size_t from = Size();
    ClickCentre(title);
    if (path.size() > 1)
        return Pick(from, {path.begin() + 1, path.end()}, why);
    const bool shown = !ShownMenu(*this, from).empty();
    if (!shown)
        Fail(why, "the menu " + path.front() + " did not show");
    return shown;
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
