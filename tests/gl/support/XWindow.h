#pragma once

// Windows on the X server (the test's own Xvfb) by their X ids, as xdotool prints them (decimal), for the tests
// that look at a window as the screen shows it:
//   CaptureWindow(id)        the window's own pixels once it is shown; null when it was not within the seconds. A
//                            test that owns the window in its own process asks with 0 seconds and lets its events
//                            run between the asks.
//   WindowShown(id)          mapped and viewable; WaitForGone(id, seconds) waits until it is not.
//   ShownWindows()           every shown top-level window, from the bottom of the stack to the top.
//   PopUp(id)                a window that no window manager would handle: a menu, a completion list, a tooltip.
//   Focus(id)                gives the window the input focus and waits until the server says so.

#include <QImage>
#include <QSize>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Polls a condition every 100 ms until it holds or the seconds have passed; the last poll comes at the end.
inline bool WaitFor(const std::function<bool()>& condition, int seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end)
    {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return condition();
}

bool WindowShown(const std::string& window);
bool WaitForGone(const std::string& window, int seconds);
std::vector<std::string> ShownWindows();
bool PopUp(const std::string& window);
QImage CaptureWindow(const std::string& window, int seconds = 20);
// As a PNG file.
bool CaptureWindow(const std::string& window, const std::string& path, int seconds = 20);
bool Focus(const std::string& window);
// The screen's size in its pixels; empty without a display.
QSize ScreenSize();
