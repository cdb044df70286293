#include "gl/support/XWindow.h"

#include <QSize>

#include <QRect>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
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

std::vector<std::string> ShownWindows()
{
    std::vector<std::string> shown;
    const Display display;
    if (!display.Open())
        return shown;
    const auto tree = Owned(
        xcb_query_tree_reply(display.connection, xcb_query_tree(display.connection, display.root->root), nullptr));
    const xcb_window_t* children = tree ? xcb_query_tree_children(tree.get()) : nullptr;
    for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i)
        if (Viewable(display, children[i]))
            shown.push_back(std::to_string(children[i]));
    return shown;
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
    WaitFor(
        [&] {
            frame = Viewable(display, id) ? Pixels(display, id, Area(display, id)) : QImage();
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
            xcb_set_input_focus(display.connection, XCB_INPUT_FOCUS_POINTER_ROOT, id, XCB_CURRENT_TIME);
            const auto focus =
                Owned(xcb_get_input_focus_reply(display.connection, xcb_get_input_focus(display.connection), nullptr));
            return focus && focus->focus == id;
        },
        20);
}

QSize ScreenSize()
{
    const Display display;
    return display.Open() ? QSize(display.root->width_in_pixels, display.root->height_in_pixels) : QSize();
}
