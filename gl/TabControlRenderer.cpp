#include "gl/TabControlRenderer.h"

#include "core/OSUtils.h"
#include "gl/DevicePixels.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/IconTextures.h"
#include "gl/TabControlListener.h"

#include <GL/glew.h>

#include <algorithm>

namespace
{

constexpr int kStripHeight = 20;
constexpr int kMinimumTabWidth = 75;
constexpr std::size_t kLongName = 25;
constexpr std::size_t kShortNameBytes = 21;

void FillRect(int x0, int y0, int x1, int y1)
{
    glRecti(x0, y0, x1, y1);
}

// Lines through pixel centres, so that each lands on the row or column it names.
void HorizontalLine(int width, int y)
{
    GLBegin lines(GL_LINES);
    glVertex2f(0.0f, y + 0.5f);
    glVertex2f(static_cast<float>(width), y + 0.5f);
}

void VerticalLine(int x, int y0, int y1)
{
    GLBegin lines(GL_LINES);
    glVertex2f(x + 0.5f, static_cast<float>(y0));
    glVertex2f(x + 0.5f, static_cast<float>(y1));
}

} // namespace

TabControlRenderer::TabControlRenderer(GLDisplay* display, TabControlListener* listener)
    : m_display(display)
    , m_listener(listener)
{
    MakeDisplayIcon(m_closeIcon, m_display, MakeCloseTabIcon);
    MakeDisplayIcon(m_activeCloseIcon, m_display, MakeActiveCloseTabIcon);
    CalculateTabSizes();
}

TabControlRenderer::~TabControlRenderer()
{
    for (int index = GetNumTabs() - 1; index >= 0; --index)
    {
        if (m_listener)
            m_listener->TabClosed(index, m_tabs[index]->m_data);
        m_tabs.pop_back();
    }
}

std::string TabControlRenderer::ShortenName(const std::string& name)
{
    if (name.size() < kLongName)
        return name;
    // Never cut inside a UTF-8 character: back up to its first byte.
    std::size_t cut = kShortNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut) + "...";
}

void TabControlRenderer::SetName(Tab& tab, const char* name)
{
    tab.m_label->SetText(ShortenName(name ? name : ""));
}

int TabControlRenderer::AddTab(const char* name, bool closable, void* data)
{
    auto tab = std::make_unique<Tab>();
    tab->m_label.reset(m_display->CreateTextBox(200, 1, false, GLTextBox::kAlignLeft));
    tab->m_closable = closable;
    tab->m_data = data;
    SetName(*tab, name);
    m_tabs.push_back(std::move(tab));
    CalculateTabSizes();
    m_display->Invalidate();
    return GetNumTabs() - 1;
}

void TabControlRenderer::SetTabName(int index, const char* name)
{
    if (!Valid(index))
        return;
    SetName(*m_tabs[index], name);
    CalculateTabSizes();
    m_display->Invalidate();
}

void* TabControlRenderer::GetTabData(int index)
{
    return Valid(index) ? m_tabs[index]->m_data : nullptr;
}

void TabControlRenderer::SwitchTab(int index)
{
    if (m_listener && Valid(m_activeTab))
        m_listener->TabWillSwitch(m_activeTab, m_tabs[m_activeTab]->m_data);
    if (Valid(index))
    {
        m_activeTab = index;
        if (m_listener)
            m_listener->TabSwitched(index, m_tabs[index]->m_data);
    }
    else
    {
        m_activeTab = -1;
        if (m_listener)
            m_listener->TabSwitched(index, nullptr);
    }
}

void TabControlRenderer::CloseTab(int index)
{
    if (!Valid(index))
        return;
    void* const closedData = m_tabs[index]->m_data;
    m_tabs.erase(m_tabs.begin() + index);
    CalculateTabSizes();
    TabControlListener* const listener = m_listener;
    if (listener)
        listener->TabWillSwitch(m_activeTab, closedData);
    if (m_activeTab >= index)
        --m_activeTab;
    if (m_activeTab < 0)
        m_activeTab = 0;
    if (m_activeTab >= GetNumTabs())
        m_activeTab = GetNumTabs() - 1;
    const int active = m_activeTab;
    if (listener)
    {
        listener->TabSwitched(active, Valid(active) ? m_tabs[active]->m_data : nullptr);
        listener->TabClosed(index, closedData);
    }
}

void TabControlRenderer::FlashTab(int index)
{
    if (index == m_activeTab)
        return;
    m_flashingTab = index;
    m_display->Display();
    OSUtils::OSSleep(250);
    m_flashingTab = -1;
    m_display->Invalidate();
}

void TabControlRenderer::CalculateTabSizes()
{
    const int closeWidth = m_closeIcon.GetDrawWidth();
    int x = 6;
    for (auto& tab : m_tabs)
    {
        const int width = tab->m_label->GetTextWidth() + (tab->m_closable ? closeWidth + 16 : 32);
        tab->m_left = x;
        x += std::max(width, kMinimumTabWidth);
        tab->m_right = x;
    }
}

int TabControlRenderer::GetTab(int x, int y, bool* onCloseBox)
{
    for (int index = 0; index < GetNumTabs(); ++index)
    {
        const Tab& tab = *m_tabs[index];
        if (x < tab.m_left || x >= tab.m_right)
            continue;
        if (onCloseBox)
        {
            const int dx = x - tab.m_left;
            *onCloseBox = tab.m_closable && dx >= 4 && dx < m_closeIcon.GetDrawWidth() + 5 &&
                          y >= m_viewHeight - kStripHeight && y < m_viewHeight - 2;
        }
        return index;
    }
    if (onCloseBox)
        *onCloseBox = false;
    return -1;
}

void TabControlRenderer::DrawBackground(int width, int viewHeight) const
{
    glColor4f(0.3f, 0.3f, 0.3f, 1.0f);
    FillRect(0, viewHeight, width, viewHeight - kStripHeight);
    glColor4f(0.45f, 0.45f, 0.45f, 1.0f);
    HorizontalLine(width, viewHeight - 20);
    HorizontalLine(width, viewHeight - 21);
    glColor4f(0.1f, 0.1f, 0.1f, 1.0f);
    HorizontalLine(width, viewHeight - 22);
}

void TabControlRenderer::DrawTab(int index, int viewHeight, int labelY)
{
    Tab& tab = *m_tabs[index];
    if (index == m_activeTab || index == m_flashingTab)
    {
        const float grey = index == m_activeTab ? 0.45f : 0.75f;
        glColor4f(grey, grey, grey, 1.0f);
        FillRect(tab.m_left, viewHeight - 2, tab.m_right, viewHeight - kStripHeight);
    }
    else
    {
        glColor4f(0.1f, 0.1f, 0.1f, 1.0f);
        if (index - 1 != m_activeTab)
            VerticalLine(tab.m_left, viewHeight - 2, viewHeight - 19);
        if (index + 1 != m_activeTab)
            VerticalLine(tab.m_right, viewHeight - 2, viewHeight - 19);
    }
    int labelX = tab.m_left + 16;
    if (tab.m_closable)
    {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        GLTexture& icon = index == m_pressedTab && m_closePressed ? m_activeCloseIcon : m_closeIcon;
        icon.Draw(tab.m_left + 4, (22 - icon.GetDrawHeight()) / 2 + (viewHeight - 22));
        labelX = tab.m_left + 8 + m_closeIcon.GetDrawWidth();
    }
    // Text boxes hold premultiplied colour.
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    tab.m_label->Draw(labelX, labelY);
}

void TabControlRenderer::Display(int width)
{
    int viewport[4] = {0, 0, 0, 0};
    DevicePixels(m_display).GetViewport(viewport);
    const int viewHeight = viewport[3];
    m_viewHeight = viewHeight;

    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    DrawBackground(width, viewHeight);
    if (!m_tabs.empty())
    {
        const int labelY = (viewHeight - kStripHeight) + (kStripHeight - m_tabs[0]->m_label->GetLineHeight()) / 2;
        for (int index = 0; index < GetNumTabs(); ++index)
            DrawTab(index, viewHeight, labelY);
    }
    glPopAttrib();
}

bool TabControlRenderer::OnButtonDown(int button, int x, int y, int, unsigned int)
{
    if (button != kLeftButton || !IsVisible() || y >= m_height)
        return false;
    bool onClose = false;
    const int index = GetTab(x, m_viewHeight - 1 - y, &onClose);
    if (index >= 0 && onClose)
    {
        m_pressedTab = index;
        m_closePressed = true;
        return true;
    }
    m_pressedTab = -1;
    if (index >= 0)
        SwitchTab(index);
    return false;
}

bool TabControlRenderer::OnMouseMove(int x, int y, int, unsigned int)
{
    if (m_pressedTab >= 0 && IsVisible() && y < m_height)
    {
        bool onClose = false;
        const int index = GetTab(x, m_viewHeight - 1 - y, &onClose);
        if (index == m_pressedTab)
            m_closePressed = onClose;
    }
    else
    {
        m_closePressed = false;
    }
    return true;
}

bool TabControlRenderer::OnButtonUp(int, int x, int y, int, unsigned int)
{
    const int pressed = m_pressedTab;
    m_pressedTab = -1;
    m_closePressed = false;
    if (pressed >= 0 && IsVisible() && y < m_height)
    {
        bool onClose = false;
        if (GetTab(x, m_viewHeight - 1 - y, &onClose) == pressed && onClose)
            CloseTab(pressed);
    }
    return true;
}
