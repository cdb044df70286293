#include "gl/TabControlRenderer.h"

#include "core/OSUtils.h"
#include "gl/DevicePixels.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/IconTextures.h"
#include "gl/TabControlListener.h"

#include <GL/glew.h>

#include <algorithm>
#include <climits>

namespace
{

constexpr int kStripHeight = 20;
constexpr int kStripLeft = 6;
constexpr int kMinimumTabWidth = 75;
constexpr std::size_t kLongName = 25;
constexpr std::size_t kShortNameBytes = 21;
const std::string kEllipsis = "...";

// Never cut inside a UTF-8 character: back up to its first byte.
std::size_t CharacterStart(const std::string& text, std::size_t cut)
{
    while (cut > 0 && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

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
    return name.substr(0, CharacterStart(name, kShortNameBytes)) + kEllipsis;
}

void TabControlRenderer::SetName(Tab& tab, const char* name)
{
    tab.m_name = ShortenName(name ? name : "");
    tab.m_shown = tab.m_name;
    tab.m_label->SetText(tab.m_name);
    tab.m_nameWidth = tab.m_label->GetTextWidth();
}

void TabControlRenderer::SetLabel(Tab& tab, const std::string& text)
{
    if (text == tab.m_shown)
        return;
    tab.m_shown = text;
    tab.m_label->SetText(text);
}

void TabControlRenderer::FitLabel(Tab& tab, int room)
{
    if (tab.m_nameWidth <= room)
    {
        SetLabel(tab, tab.m_name);
        return;
    }
    std::string start = tab.m_name;
    if (start.size() >= kEllipsis.size() &&
        start.compare(start.size() - kEllipsis.size(), kEllipsis.size(), kEllipsis) == 0)
        start.resize(start.size() - kEllipsis.size());
    // Text boxes are measured by setting their text: a first guess in proportion to the room saves most of
    // the tries of going back a character at a time.
    const std::size_t guess = start.size() * static_cast<std::size_t>(std::max(room, 0)) /
                              static_cast<std::size_t>(std::max(tab.m_nameWidth, 1));
    for (std::size_t cut = CharacterStart(start, std::min(guess, start.size()));; cut = CharacterStart(start, cut - 1))
    {
        SetLabel(tab, start.substr(0, cut) + kEllipsis);
        if (cut == 0 || tab.m_label->GetTextWidth() <= room)
            return;
    }
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
        CalculateTabSizes();
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
    TabControlListener* const listener = m_listener;
    if (listener)
        listener->TabWillSwitch(m_activeTab, closedData);
    if (m_activeTab >= index)
        --m_activeTab;
    if (m_activeTab < 0)
        m_activeTab = 0;
    if (m_activeTab >= GetNumTabs())
        m_activeTab = GetNumTabs() - 1;
    CalculateTabSizes();
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

int TabControlRenderer::Padding(const Tab& tab) const
{
    return tab.m_closable ? m_closeIcon.GetDrawWidth() + 16 : 32;
}

std::vector<int> TabControlRenderer::FitWidths(int first, int count, int room) const
{
    std::vector<int> widths;
    for (int index = first; index < first + count; ++index)
        widths.push_back(std::max(kMinimumTabWidth, m_tabs[index]->m_nameWidth + Padding(*m_tabs[index])));
    if (m_width <= 0)
        return widths;
    // The largest width that, given to every tab wider than it, lets them all fit.
    std::vector<int> ascending = widths;
    std::sort(ascending.begin(), ascending.end());
    int cap = INT_MAX;
    int left = room;
    for (std::size_t k = 0; k < ascending.size(); ++k)
    {
        const int rest = static_cast<int>(ascending.size() - k);
        if (ascending[k] * rest > left)
        {
            cap = std::max(kMinimumTabWidth, left / rest);
            break;
        }
        left -= ascending[k];
    }
    for (int& width : widths)
        width = std::min(width, cap);
    return widths;
}

void TabControlRenderer::CalculateTabSizes()
{
    const int count = GetNumTabs();
    const int formerFirst = m_firstShown;
    m_firstShown = 0;
    m_numShown = count;
    int x = kStripLeft;
    int room = m_width - kStripLeft;
    if (m_width > 0 && count * kMinimumTabWidth > room)
    {
        // A run of whole tabs that holds the active one, between the arrows; the others are nowhere.
        room = m_width - 2 * kArrowWidth;
        m_numShown = std::clamp(room / kMinimumTabWidth, 1, count);
        const int active = std::clamp(m_activeTab, 0, count - 1);
        m_firstShown = std::clamp(std::clamp(formerFirst, active - m_numShown + 1, active), 0, count - m_numShown);
        x = kArrowWidth;
    }
    const std::vector<int> widths = FitWidths(m_firstShown, m_numShown, room);
    for (int index = 0; index < count; ++index)
    {
        Tab& tab = *m_tabs[index];
        const int shown = index - m_firstShown;
        if (shown < 0 || shown >= m_numShown)
        {
            tab.m_left = tab.m_right = -1;
            continue;
        }
        tab.m_left = x;
        x += widths[shown];
        tab.m_right = x;
        FitLabel(tab, widths[shown] - Padding(tab));
    }
}

int TabControlRenderer::ArrowTarget(int x) const
{
    if (!Scrolls())
        return -1;
    if (x >= 0 && x < kArrowWidth)
        return m_firstShown - 1;
    const int next = m_firstShown + m_numShown;
    if (x >= m_width - kArrowWidth && x < m_width && next < GetNumTabs())
        return next;
    return -1;
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

void TabControlRenderer::DrawArrows(int viewHeight) const
{
    if (!Scrolls())
        return;
    const float middle = static_cast<float>(viewHeight - 11);
    const auto arrow = [&](float tip, float base, bool enabled) {
        const float grey = enabled ? 0.85f : 0.45f;
        glColor4f(grey, grey, grey, 1.0f);
        GLBegin triangle(GL_TRIANGLES);
        glVertex2f(tip, middle);
        glVertex2f(base, middle + 5.0f);
        glVertex2f(base, middle - 5.0f);
    };
    arrow(4.0f, 10.0f, m_firstShown > 0);
    const float right = static_cast<float>(m_width);
    arrow(right - 4.0f, right - 10.0f, m_firstShown + m_numShown < GetNumTabs());
}

void TabControlRenderer::Display(int width)
{
    if (width != m_width)
    {
        m_width = width;
        CalculateTabSizes();
    }
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
        for (int index = m_firstShown; index < m_firstShown + m_numShown; ++index)
            DrawTab(index, viewHeight, labelY);
    }
    DrawArrows(viewHeight);
    glPopAttrib();
}

bool TabControlRenderer::OnButtonDown(int button, int x, int y, int, unsigned int)
{
    if (button != kLeftButton || !IsVisible() || y >= m_height)
        return false;
    const int target = ArrowTarget(x);
    if (target >= 0)
    {
        m_pressedTab = -1;
        SwitchTab(target);
        return false;
    }
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
