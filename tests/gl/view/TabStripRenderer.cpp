#include "TabStripRenderer.h"

#include "gl/DevicePixels.h"

#include <GL/glew.h>

TabStripRenderer::TabStripRenderer(GLDisplay* display)
    : tabs(display, this)
    , m_display(display)
{
    tabs.AddTab("Detail View", false, nullptr);
    tabs.AddTab("Results", true, nullptr);
    tabs.SwitchTab(1);
}

void TabStripRenderer::Reshape(int width, int height)
{
    m_width = width;
    m_height = height;
    ++reshapes;
}

void TabStripRenderer::Display()
{
    DevicePixels(m_display).Viewport(0, 0, m_width, m_height);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, m_width, 0, m_height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    tabs.Display(m_width);
}

bool TabStripRenderer::OnButtonDown(int button, int x, int y, int flags, unsigned int time)
{
    return tabs.OnButtonDown(button, x, y, flags, time);
}

bool TabStripRenderer::OnButtonUp(int button, int x, int y, int flags, unsigned int time)
{
    return tabs.OnButtonUp(button, x, y, flags, time);
}

bool TabStripRenderer::OnMouseMove(int x, int y, int flags, unsigned int time)
{
    return tabs.OnMouseMove(x, y, flags, time);
}

int TabStripRenderer::CloseBoxLeft(int tab)
{
    // A row in the middle of the bar, in the bar's upward rows.
    const int row = m_height - 1 - tabs.GetHeight() / 2;
    for (int x = 0; x < m_width; ++x)
    {
        bool onCloseBox = false;
        if (tabs.GetTab(x, row, &onCloseBox) == tab && onCloseBox)
            return x;
    }
    return -1;
}
