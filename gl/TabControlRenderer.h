#pragma once

#include "gl/GLTexture.h"
#include "gl/MouseListener.h"

#include <memory>
#include <string>
#include <vector>

class GLDisplay;
class GLTextBox;
class TabControlListener;

// The strip of tabs across the top of a document view, drawn in GL by its owner (the scene renderer) and
// offered presses first. A press on a tab body switches at once; a close box acts as a button (press,
// drag off and back, release on it to close). Main thread only; FlashTab blocks it for 250 ms.
//
// The active tab is always shown whole, whatever the view's width: where the tabs do not fit, the widest
// give way first, their labels shortened with "...", down to the least tab width; where even that is too
// wide, the strip shows a run of whole tabs that holds the active one, between two arrows that switch to
// the nearest tab hidden on their side.
class TabControlRenderer : public MouseListener
{
public:
    // Neither pointer is owned; the display must outlive the bar, the listener may be null.
    TabControlRenderer(GLDisplay* display, TabControlListener* listener);
    // Tells the listener TabClosed for every tab, from the last to the first.
    ~TabControlRenderer() override;
    TabControlRenderer(const TabControlRenderer&) = delete;
    TabControlRenderer& operator=(const TabControlRenderer&) = delete;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;

    // Appends a tab (name in UTF-8) without switching to it; returns its index.
    virtual int AddTab(const char* name, bool closable, void* data);
    virtual void CloseTab(int index);
    virtual void SwitchTab(int index);
    virtual int GetActiveTab() const { return m_activeTab; }
    virtual void* GetTabData(int index);
    virtual int GetNumTabs() const { return static_cast<int>(m_tabs.size()); }
    // Names of 25 bytes or more are shortened to about 21 bytes and "...".
    virtual void SetTabName(int index, const char* name);
    // Draws the tab light for a quarter second; ignored for the active tab.
    virtual void FlashTab(int index);
    virtual int GetHeight() const { return m_height; }
    // With a single tab the bar is neither drawn nor takes presses.
    virtual bool IsVisible() const { return m_tabs.size() >= 2; }
    // Draws the bar along the top of the current viewport, `width` wide; needs a current context. The tabs
    // are fitted to the width of the last call (before one they are laid out without a limit).
    virtual void Display(int width);
    virtual void CalculateTabSizes();
    // The tab under (x, y) in GL coordinates (y upwards), or -1; onCloseBox (may be null) tells
    // whether the point is on that tab's close box.
    virtual int GetTab(int x, int y, bool* onCloseBox);

    // The shortened name that SetTabName shows (kept whole below 25 bytes).
    static std::string ShortenName(const std::string& name);

    // The arrows at the strip's ends while not every tab fits.
    static constexpr int kArrowWidth = 16;

private:
    struct Tab
    {
        std::unique_ptr<GLTextBox> m_label;
        std::string m_name;  // as ShortenName gives it
        std::string m_shown; // the label's text: the name, or its start and "..." in a narrower tab
        int m_nameWidth = 0;
        int m_left = 0;
        int m_right = 0;
        bool m_closable = false;
        void* m_data = nullptr;
    };

    bool Valid(int index) const { return index >= 0 && index < GetNumTabs(); }
    void SetName(Tab& tab, const char* name);
    int Padding(const Tab& tab) const;
    void SetLabel(Tab& tab, const std::string& text);
    // Shortens the label until it is at most `room` wide.
    void FitLabel(Tab& tab, int room);
    // Widths for `count` tabs from `first` in `room`, none below the least tab width: the widest shrink first.
    std::vector<int> FitWidths(int first, int count, int room) const;
    bool Scrolls() const { return m_numShown < GetNumTabs(); }
    // The tab that the arrow under x switches to, or -1.
    int ArrowTarget(int x) const;
    void DrawArrows(int viewHeight) const;
    void DrawTab(int index, int viewHeight, int labelY);
    void DrawBackground(int width, int viewHeight) const;

    std::vector<std::unique_ptr<Tab>> m_tabs;
    GLDisplay* m_display;
    GLTexture m_closeIcon;
    GLTexture m_activeCloseIcon;
    TabControlListener* m_listener;
    int m_height = 22;
    int m_activeTab = 0;
    int m_pressedTab = -1;
    int m_flashingTab = -1;
    bool m_closePressed = false;
    int m_viewHeight = 0;
    int m_width = 0;
    int m_firstShown = 0;
    int m_numShown = 0;
};
