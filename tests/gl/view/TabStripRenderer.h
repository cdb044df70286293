#pragma once

#include "gl/GLRenderer.h"
#include "gl/MouseListener.h"
#include "gl/TabControlListener.h"
#include "gl/TabControlRenderer.h"

#include <vector>

class GLDisplay;

// The tab bar over a black view, drawn and offered the mouse as the scene does, for window tests; kept
// free of Qt's GL headers (it draws with GLEW's). Two tabs, "Detail View" and the closable, active
// "Results"; the indices of closed tabs are kept.
class TabStripRenderer : public GLRenderer, public MouseListener, public TabControlListener
{
public:
    explicit TabStripRenderer(GLDisplay* display);

    void Initialize() override {}
    void Display() override;
    void Reshape(int width, int height) override;
    void SetActive(bool) override {}
    void ResetCursorRects() override {}
    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;
    void TabWillSwitch(int, void*) override {}
    void TabSwitched(int, void*) override {}
    void TabClosed(int index, void*) override { closed.push_back(index); }

    // The first x of a tab's close box, -1 when it has none; needs a frame drawn.
    int CloseBoxLeft(int tab);

    int reshapes = 0;
    // Before the bar, which reports its tabs closed as it goes.
    std::vector<int> closed;
    TabControlRenderer tabs;

private:
    GLDisplay* m_display;
    int m_width = 0;
    int m_height = 0;
};
