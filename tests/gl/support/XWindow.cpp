#include "gl/support/XWindow.h"

#include <QSize>

#include <QRect>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

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

auto Attributes(const Display& display, xcb_window_t window)
{
    return Owned(xcb_get_window_attributes_reply(display.connection,
                                                 xcb_get_window_attributes(display.connection, window), nullptr));
}

bool Viewable(const Display& display, xcb_window_t window)
{
    const auto attributes = Attributes(display, window);
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

} // namespace

bool WindowShown(const std::string& window)
{
    const Display display;
    return display.Open() && Viewable(display, Id(window));
}

bool PopUp(const std::string& window)
{
    const Display display;
    if (!display.Open())
        return false;
    const auto attributes = Attributes(display, Id(window));
    return attributes && attributes->override_redirect;
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
    // Parts of a window that another covers read as undefined pixels (the X server keeps no backing store), and
    // parts that it uncovers read so until their owner has drawn them again. A covered window is raised and
    // read once it has stayed uncovered for a while; a window read while another came over it is read again.
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> uncovered;
    bool wasCovered = false;
    WaitFor(
        [&] {
            if (!Viewable(display, id))
                return false;
            if (Covered(display, id))
            {
                Raise(display, id);
                wasCovered = true;
                uncovered.reset();
                return false;
            }
            if (!uncovered)
                uncovered = Clock::now();
            if (wasCovered && Clock::now() - *uncovered < std::chrono::milliseconds(300))
                return false;
            frame = Pixels(display, id, Area(display, id));
            if (Covered(display, id))
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

void RaiseWindow(const std::string& window)
{
    const Display display;
    if (display.Open())
        Raise(display, Id(window));
}

QSize ScreenSize()
{
    const Display display;
    return display.Open() ? QSize(display.root->width_in_pixels, display.root->height_in_pixels) : QSize();
}
