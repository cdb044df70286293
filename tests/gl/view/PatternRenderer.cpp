#include "PatternRenderer.h"

#include "gl/DevicePixels.h"
#include "gl/GLDisplay.h"

#include <GL/glew.h>

#include <stdexcept>

namespace
{

void FillRows(const DevicePixels& pixels, int x, int y, int width, int height, float r, float g, float b, float a)
{
    pixels.Scissor(x, y, width, height);
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
}

std::string Position(int x, int y)
{
    return std::to_string(x) + "," + std::to_string(y);
}

} // namespace

void PatternRenderer::Log(const std::string& entry, unsigned int time)
{
    log.push_back(entry + " t" + std::to_string(time));
}

void PatternRenderer::MouseThrow() const
{
    if (throwFromMouse)
        throw std::runtime_error("mouse handler failed");
}

void PatternRenderer::Initialize()
{
    log.push_back("Initialize");
    if (onInitialize)
        onInitialize();
}

void PatternRenderer::Display()
{
    log.push_back("Display");
    if (throwFromDisplay)
        throw std::runtime_error("drawing failed");
    const DevicePixels pixels(display);
    pixels.Viewport(0, 0, width, height);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 1.0f, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    FillRows(pixels, 0, height - 1, width, 1, 1, 0, 0, 1);
    FillRows(pixels, 0, 0, width, 1, 0, 1, 0, 1);
    FillRows(pixels, 0, height - 10, 10, 10, 1, 1, 0, 1);
    glDisable(GL_SCISSOR_TEST);
}

void PatternRenderer::Reshape(int newWidth, int newHeight)
{
    width = newWidth;
    height = newHeight;
    log.push_back("Reshape " + std::to_string(width) + "x" + std::to_string(height));
}

void PatternRenderer::SetActive(bool active)
{
    log.push_back(active ? "Active" : "Inactive");
}

void PatternRenderer::ResetCursorRects()
{
    log.push_back("ResetCursorRects");
    if (throwFromCursorRects)
        throw std::runtime_error("cursor rectangles failed");
    for (const Rect& rect : cursorRects)
        display->AddCursorRect(rect.x, rect.y, rect.width, rect.height, static_cast<Cursors::Cursor>(rect.cursor));
}

bool PatternRenderer::OnButtonDown(int button, int x, int y, int flags, unsigned int time)
{
    Log("Down " + std::to_string(button) + " " + Position(x, y) + " f" + std::to_string(flags), time);
    MouseThrow();
    return true;
}

bool PatternRenderer::OnButtonUp(int button, int x, int y, int flags, unsigned int time)
{
    Log("Up " + std::to_string(button) + " " + Position(x, y) + " f" + std::to_string(flags), time);
    return true;
}

bool PatternRenderer::OnDoubleClick(int button, int x, int y, int flags, unsigned int time)
{
    Log("DoubleClick " + std::to_string(button) + " " + Position(x, y) + " f" + std::to_string(flags), time);
    return true;
}

bool PatternRenderer::OnMouseMove(int x, int y, int flags, unsigned int time)
{
    Log("Move " + Position(x, y) + " f" + std::to_string(flags), time);
    return true;
}

bool PatternRenderer::OnMouseLeave(unsigned int time)
{
    Log("Leave", time);
    return true;
}

bool PatternRenderer::OnMouseWheel(int x, int y, int flags, int delta, unsigned int time)
{
    Log("Wheel " + Position(x, y) + " f" + std::to_string(flags) + " d" + std::to_string(delta), time);
    return true;
}

bool PatternRenderer::OnKeyDown(unsigned int key, int flags, unsigned int time)
{
    Log("Key " + std::to_string(key) + " f" + std::to_string(flags), time);
    if (throwOtherFromKeys)
        throw 7; // not a std::exception
    return true;
}

bool PatternRenderer::OnSpecialKeyDown(int code, int flags, unsigned int time)
{
    Log("Special " + std::to_string(code) + " f" + std::to_string(flags), time);
    return true;
}

std::vector<std::string> PatternRenderer::Entries(const std::string& prefix) const
{
    std::vector<std::string> entries;
    for (const std::string& entry : log)
        if (entry.compare(0, prefix.size(), prefix) == 0)
            entries.push_back(entry.substr(0, entry.rfind(" t")));
    return entries;
}

std::vector<unsigned int> PatternRenderer::Times(const std::string& prefix) const
{
    std::vector<unsigned int> times;
    for (const std::string& entry : log)
        if (entry.compare(0, prefix.size(), prefix) == 0)
            times.push_back(static_cast<unsigned int>(std::stoul(entry.substr(entry.rfind(" t") + 2))));
    return times;
}
